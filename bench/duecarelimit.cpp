#include "duecarelimit.h"

#include "archive/records.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>

DueCareLimit::DueCareLimit(const QString &path)
    : m_connection(QStringLiteral("silvaro-bench-due-limit")), m_path(path) {}

DueCareLimit::~DueCareLimit() {
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool DueCareLimit::open(QString *error) {
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(m_path);
    if (!m_db.open()) {
        *error = m_db.lastError().text();
        return false;
    }
    return true;
}

// Distinct ISO days of each plant and kind (read in the order of coltivazione_tipo); the
// intervals between them, each in the season of the day that ends it; the last six of each
// season and of all, their medians (a half rounded up); the season of today's, the other's
// with fewer than three, all with neither (which needs two intervals: three days).
// Fertilising outside r1..r2 (month names, three letters or numbers) is out of season.
// Bound: :today, and :warm for its season (1 April-September, else 0). The first plant
// stored under a key is the one its events belong to (min(rowid) gives that row's columns).
QString DueCareLimit::statement() {
    return QStringLiteral(
        "WITH mo(name, n) AS (VALUES ('gennaio',1),('febbraio',2),('marzo',3),('aprile',4),"
        "  ('maggio',5),('giugno',6),('luglio',7),('agosto',8),('settembre',9),('ottobre',10),"
        "  ('novembre',11),('dicembre',12)),"
        "p AS MATERIALIZED (SELECT id, r1, r2, min(rowid) FROM piante"
        "  WHERE typeof(id) = 'integer' GROUP BY id),"
        "g AS MATERIALIZED (SELECT id, intervento AS k, datatratt AS day,"
        "  unixepoch(datatratt) / 86400 - lag(unixepoch(datatratt) / 86400) OVER w AS gap,"
        "  CAST(substr(datatratt, 6, 2) AS INTEGER) BETWEEN 4 AND 9 AS warm"
        "  FROM coltivazione WHERE typeof(id) = 'integer' AND trim(intervento) <> ''"
        "   AND datatratt GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]'"
        "   AND datatratt <> '1900-01-01'"
        "  GROUP BY id, intervento, datatratt"
        "  WINDOW w AS (PARTITION BY id, intervento ORDER BY datatratt)),"
        "r AS MATERIALIZED (SELECT *,"
        "  row_number() OVER (PARTITION BY id, k, warm ORDER BY day DESC) AS ns,"
        "  row_number() OVER (PARTITION BY id, k ORDER BY day DESC) AS na"
        "  FROM g WHERE gap IS NOT NULL AND id IN (SELECT id FROM p)),"
        "s AS (SELECT id, k, NULL AS last, warm AS season, gap,"
        "   row_number() OVER (PARTITION BY id, k, warm ORDER BY gap) AS pos,"
        "   count(*) OVER (PARTITION BY id, k, warm) AS n FROM r WHERE ns <= 6"
        "  UNION ALL SELECT id, k, CASE WHEN na = 1 THEN day END, 2, gap,"
        "   row_number() OVER (PARTITION BY id, k ORDER BY gap),"
        "   count(*) OVER (PARTITION BY id, k) FROM r WHERE na <= 6),"
        "m AS (SELECT id, k, season, max(last) AS last, max(n) AS n,"
        "  (sum(gap) FILTER (WHERE pos = (n + 1) / 2) + sum(gap) FILTER (WHERE pos = n / 2 + 1)"
        "   + 1) / 2 AS med FROM s GROUP BY id, k, season),"
        "e AS (SELECT id, k, max(last) AS last, coalesce("
        "   max(CASE WHEN season = :warm AND n >= 3 THEN med END),"
        "   max(CASE WHEN season = 1 - :warm AND n >= 3 THEN med END),"
        "   max(CASE WHEN season = 2 AND n >= 2 THEN med END)) AS rhythm"
        "  FROM m GROUP BY id, k HAVING rhythm IS NOT NULL),"
        "f AS (SELECT e.*, date(last, '+' || rhythm || ' days') AS next,"
        "  (SELECT n FROM mo WHERE lower(trim(p.r1)) IN (name, substr(name, 1, 3))"
        "    OR (trim(p.r1) NOT GLOB '*[^0-9]*' AND CAST(trim(p.r1) AS INTEGER) = n)) AS m1,"
        "  (SELECT n FROM mo WHERE lower(trim(p.r2)) IN (name, substr(name, 1, 3))"
        "    OR (trim(p.r2) NOT GLOB '*[^0-9]*' AND CAST(trim(p.r2) AS INTEGER) = n)) AS m2"
        "  FROM e JOIN p ON p.id = e.id) "
        "SELECT id, k, rhythm, next,"
        " k = 'Concimazione' AND m1 IS NOT NULL AND m2 IS NOT NULL AND NOT (CASE"
        "  WHEN m1 <= m2 THEN mon BETWEEN m1 AND m2 ELSE mon >= m1 OR mon <= m2 END) "
        "FROM (SELECT f.*, CAST(substr(max(next, :today), 6, 2) AS INTEGER) AS mon FROM f)");
}

bool DueCareLimit::run(const QDate &today, Table *rows, QString *error) {
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(statement())) {
        *error = q.lastError().text();
        return false;
    }
    q.bindValue(QStringLiteral(":today"), today.toString(Qt::ISODate));
    q.bindValue(QStringLiteral(":warm"), today.month() >= 4 && today.month() <= 9 ? 1 : 0);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    rows->clear();
    while (q.next())
        rows->insert({q.value(0).toLongLong(), q.value(1).toString()},
                     {q.value(2).toInt(), QDate::fromString(q.value(3).toString(), Qt::ISODate),
                      q.value(4).toInt() != 0});
    if (q.lastError().isValid()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

int DueCareLimit::compare(const QList<DueRow> &rows, const Table &expected) {
    int failures = 0, learned = 0;
    auto report = [&](const QString &what) {
        if (++failures <= 5)
            std::fprintf(stderr, "due: %s\n", qPrintable(what));
    };
    for (const DueRow &r : rows) {
        if (r.byHand)
            continue;
        ++learned;
        const auto it = expected.constFind({r.plantId, r.intervento});
        if (it == expected.cend()) {
            report(QStringLiteral("plant %1, %2: not in the statement's rows")
                       .arg(r.plantId)
                       .arg(r.intervento));
            continue;
        }
        if (it->every != r.every || it->next != r.next || it->outOfSeason != r.outOfSeason)
            report(QStringLiteral("plant %1, %2: every %3, next %4, out %5; expected %6, %7, %8")
                       .arg(r.plantId)
                       .arg(r.intervento)
                       .arg(r.every)
                       .arg(r.next.toString(Qt::ISODate))
                       .arg(r.outOfSeason)
                       .arg(it->every)
                       .arg(it->next.toString(Qt::ISODate))
                       .arg(it->outOfSeason));
    }
    if (learned != expected.size())
        report(QStringLiteral("%1 learned rows, the statement has %2")
                   .arg(learned)
                   .arg(expected.size()));
    return failures;
}
