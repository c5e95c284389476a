#include "derivedcolumns.h"

#include "ui/reportlistmodel.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>

namespace {
// Sub-items of a plant row (column n is sub-item n-1).
constexpr int waterOrFeedItem = 3;
constexpr int floweringItem = 4;
constexpr int otherItem = 6;
constexpr int keyItem = 7;
} // namespace

DerivedColumns::DerivedColumns(const QString &path)
    : m_connection(QStringLiteral("silvaro-bench-limit")), m_path(path) {}

DerivedColumns::~DerivedColumns() {
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool DerivedColumns::open(QString *error) {
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(m_path);
    if (!m_db.open()) {
        *error = m_db.lastError().text();
        return false;
    }
    return true;
}

// The fastest single statement found for the three columns (see README.md): one index seek
// for the newest watering, fertilising and flowering date of each plant, and one pass over the
// plant's entries of coltivazione_tipo for the newest other event. That pass keeps the row
// with the greatest unixepoch(datatratt) * 10^9 - rowid, which orders by date and then by
// stored order, and reads its kind as a bare column (SQLite takes bare columns from the row of
// the max). This needs ISO dates and rowids below 10^9: true of the made-up archive, not of
// any file, so the program cannot use it; the list is checked against this statement anyway.
// The plants are read in key order so the look-ups walk the index from one end to the other.
QString DerivedColumns::statement() {
    return QStringLiteral(
        "WITH x AS MATERIALIZED ("
        " SELECT p.id,"
        "  (SELECT max(datatratt) FROM coltivazione"
        "    WHERE id = p.id AND intervento = 'Annaffiatura') AS da,"
        "  (SELECT max(datatratt) FROM coltivazione"
        "    WHERE id = p.id AND intervento = 'Concimazione') AS dc,"
        "  (SELECT max(datatratt) FROM coltivazione"
        "    WHERE id = p.id AND intervento = 'Fioritura') AS df,"
        "  (SELECT CASE WHEN max(unixepoch(datatratt) * 1000000000 - rowid) IS NOT NULL"
        "               THEN intervento || ' ' || replace(datatratt, '-', '/') END"
        "     FROM coltivazione INDEXED BY coltivazione_tipo"
        "    WHERE id = p.id AND intervento <> 'Annaffiatura'"
        "      AND intervento <> 'Concimazione' AND intervento <> 'Fioritura') AS o"
        " FROM piante p) "
        "SELECT id,"
        " CASE WHEN dc IS NULL OR da > dc THEN replace(da, '-', '/') || ' A'"
        "      WHEN da IS NULL OR dc > da THEN replace(dc, '-', '/') || ' C'"
        "      WHEN (SELECT min(rowid) FROM coltivazione"
        "             WHERE id = x.id AND intervento = 'Annaffiatura' AND datatratt = da)"
        "         < (SELECT min(rowid) FROM coltivazione"
        "             WHERE id = x.id AND intervento = 'Concimazione' AND datatratt = dc)"
        "           THEN replace(da, '-', '/') || ' A'"
        "      ELSE replace(dc, '-', '/') || ' C' END,"
        " replace(df, '-', '/'),"
        " o "
        "FROM x");
}

bool DerivedColumns::run(Table *rows, QString *error) {
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(statement())) {
        *error = q.lastError().text();
        return false;
    }
    rows->clear();
    while (q.next())
        rows->append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
                      q.value(3).toString()});
    if (q.lastError().isValid()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

int DerivedColumns::countStartingWith(const QString &prefix) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT count(*) FROM piante WHERE specie LIKE ? ESCAPE '\\'"));
    QString escaped = prefix;
    escaped.replace('\\', "\\\\").replace('%', "\\%").replace('_', "\\_");
    q.addBindValue(escaped + '%');
    return q.exec() && q.next() ? q.value(0).toInt() : -1;
}

QString DerivedColumns::commonestInitial() {
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("SELECT lower(substr(specie, 1, 1)) AS c FROM piante"
                          " WHERE trim(specie) <> '' GROUP BY c ORDER BY count(*) DESC, c"
                          " LIMIT 1"));
    return q.next() ? q.value(0).toString() : QStringLiteral("a");
}

int DerivedColumns::compare(const ReportListModel &list, const Table &expected, const char *what,
                            int rows) {
    int failures = 0;
    auto report = [&](const QString &text) {
        if (++failures <= 10)
            std::fprintf(stderr, "%s: %s\n", what, qPrintable(text));
    };
    if (rows >= 0 && list.rowCount() != rows)
        report(QStringLiteral("%1 rows listed, %2 expected").arg(list.rowCount()).arg(rows));
    QHash<qint64, const Row *> byId;
    byId.reserve(expected.size());
    for (const Row &r : expected)
        byId.insert(r.id, &r);
    QHash<qint64, int> seen;
    for (int i = 0; i < list.rowCount(); ++i) {
        bool ok = false;
        const qint64 id = list.text(i, keyItem).toLongLong(&ok);
        const Row *want = ok ? byId.value(id) : nullptr;
        if (!want) {
            report(QStringLiteral("row %1 holds key \"%2\", which no plant has")
                       .arg(i + 1)
                       .arg(list.text(i, keyItem)));
            continue;
        }
        if (seen[id]++)
            report(QStringLiteral("plant %1 is listed twice").arg(id));
        const struct {
            int item;
            const QString &value;
        } cells[] = {{waterOrFeedItem, want->waterOrFeed},
                     {floweringItem, want->flowering},
                     {otherItem, want->other}};
        for (const auto &c : cells)
            if (list.text(i, c.item) != c.value)
                report(QStringLiteral("plant %1, column %2: list \"%3\", archive \"%4\"")
                           .arg(id)
                           .arg(c.item + 1)
                           .arg(list.text(i, c.item), c.value));
    }
    if (failures > 10)
        std::fprintf(stderr, "%s: %d differences in all\n", what, failures);
    return failures;
}
