#include "derivedcolumns.h"

#include "ui/lists/reportlistmodel.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>

namespace {
// Sub-items of a plant row (column n is sub-item n-1).
constexpr int specieItem = 1;
constexpr int identificazioneItem = 2;
constexpr int vasoItem = 5;
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

// The fastest single statement found for the three columns (see docs/benchmark.md): one index seek
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
        " SELECT p.id, p.rowid AS r, p.specie AS s, p.identificazione AS i, p.vaso AS v,"
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
        " o, r, s, i, v "
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
    // A blank or NULL text shows as an empty cell.
    auto shown = [](const QVariant &v) {
        const QString s = v.toString();
        return s.trimmed().isEmpty() ? QString() : s;
    };
    while (q.next())
        rows->append({q.value(0).toLongLong(), q.value(4).toLongLong(), shown(q.value(5)),
                      shown(q.value(6)), shown(q.value(7)), q.value(1).toString(),
                      q.value(2).toString(), q.value(3).toString()});
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
                            int rows, bool storedOrder) {
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
    qint64 above = -1; // rowid of the row above
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
        if (list.text(i, keyItem) != QString::number(id))
            report(QStringLiteral("row %1: key written \"%2\"").arg(i + 1).arg(list.text(i, keyItem)));
        if (storedOrder && above >= 0 && want->rowid >= above)
            report(QStringLiteral("row %1 (plant %2) is out of the reverse stored order")
                       .arg(i + 1)
                       .arg(id));
        above = want->rowid;
        if (!list.text(i, 0).isEmpty())
            report(QStringLiteral("row %1 has a text of its own").arg(i + 1));
        const struct {
            int item;
            const QString &value;
        } cells[] = {{specieItem, want->specie},
                     {identificazioneItem, want->identificazione},
                     {vasoItem, want->vaso},
                     {waterOrFeedItem, want->waterOrFeed},
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

// The event list of one plant as plain SQL writes it: newest first, ties in the reverse of the
// stored order; zero temperatures and humidities blank; whole numbers without decimals (the
// made-up archive has no others), dates yyyy/mm/dd.
bool DerivedColumns::eventCells(qint64 plantId, QList<QStringList> *rows, QString *error) {
    auto number = [](const char *f) {
        return QStringLiteral("CASE WHEN %1 IS NULL OR %1 = 0 THEN '' WHEN %1 = CAST(%1 AS INTEGER)"
                              " THEN CAST(CAST(%1 AS INTEGER) AS TEXT)"
                              " ELSE replace(CAST(%1 AS TEXT), '.', ',') END")
            .arg(QLatin1String(f));
    };
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT '', %1, %2, coalesce(intervento, ''),"
                             " coalesce(replace(datatratt, '-', '/'), ''), coalesce(descrizione, ''),"
                             " coalesce(CAST(idtrat AS TEXT), '') FROM coltivazione WHERE id = ?"
                             " ORDER BY datatratt DESC, rowid DESC")
                  .arg(number("temperatura"), number("umidita")));
    q.addBindValue(plantId);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    rows->clear();
    while (q.next()) {
        QStringList r;
        for (int i = 0; i < 7; ++i)
            r << q.value(i).toString();
        rows->append(r);
    }
    return true;
}

DerivedColumns::Collection DerivedColumns::collection() {
    Collection c;
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("SELECT id, count(*) FROM coltivazione GROUP BY id ORDER BY 2 DESC, id LIMIT 1"));
    if (q.next()) {
        c.bigPlantId = q.value(0).toLongLong();
        c.eventsOfBigPlant = q.value(1).toInt();
    }
    q.exec(QStringLiteral("SELECT (SELECT count(*) FROM piante), (SELECT count(*) FROM coltivazione),"
                          " (SELECT count(*) FROM piante p WHERE NOT EXISTS"
                          "  (SELECT 1 FROM coltivazione c WHERE c.id = p.id))"));
    if (q.next()) {
        c.plants = q.value(0).toInt();
        c.events = q.value(1).toInt();
        c.plantsWithoutEvents = q.value(2).toInt();
    }
    return c;
}
