// The plant list's derived columns against the plain rule they follow: for each plant and
// kind, the event that comes first when its events are ordered by datatratt DESC, rowid,
// looked up one plant at a time. Archives full of ties, missing dates and odd texts.
#include "archive/archive.h"
#include "archive/conversions.h"
#include "support/testapp.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <random>

namespace {

// One derived column as a comparable text: "-" when absent, else "[kind] " and the date
// with its type.
QString shown(const std::optional<LastEvent> &e) {
    if (!e)
        return QStringLiteral("-");
    const QVariant &d = e->datatratt;
    const QString date = d.isNull() ? QStringLiteral("NULL")
                         : d.typeId() == QMetaType::QDate
                             ? QStringLiteral("date ") + d.toDate().toString(Qt::ISODate)
                             : QStringLiteral("text ") + d.toString();
    return '[' + e->intervento + "] " + date;
}

QString text(const QVariant &v) {
    return v.isNull() ? QStringLiteral("NULL") : v.toString();
}

QVariant expectedDate(const QVariant &v) {
    if (v.isNull())
        return QVariant();
    const QDate d = Conversions::storedDate(v);
    return d.isValid() ? QVariant(d) : QVariant(v.toString());
}

class Reference {
public:
    explicit Reference(const QString &path) : m_name(QStringLiteral("reference")) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(path);
        m_db.open();
    }
    ~Reference() {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase &db() { return m_db; }

    std::optional<LastEvent> newest(const QVariant &plantId, const QString &condition) {
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("SELECT intervento, datatratt FROM coltivazione WHERE id = ? "
                                 "AND %1 ORDER BY datatratt DESC, rowid LIMIT 1")
                      .arg(condition));
        q.addBindValue(plantId);
        if (!q.exec())
            qFatal("%s", qPrintable(q.lastError().text()));
        if (!q.next())
            return std::nullopt;
        return LastEvent{q.value(0).toString(), expectedDate(q.value(1))};
    }

    // Every plant (that `pick` accepts, given specie and identificazione) in stored order, as
    // "key specie/identificazione/vaso: watering or fertilising; flowering; other".
    QStringList rows(const std::function<bool(const QVariant &, const QVariant &)> &pick = {}) {
        QSqlQuery q(m_db);
        q.exec(
            QStringLiteral("SELECT id, specie, identificazione, vaso FROM piante ORDER BY rowid"));
        QStringList out;
        while (q.next()) {
            if (pick && !pick(q.value(1), q.value(2)))
                continue;
            const QVariant id = q.value(0);
            out << QStringLiteral("%1 %2/%3/%4: %5; %6; %7")
                       .arg(id.toLongLong())
                       .arg(text(q.value(1)), text(q.value(2)), text(q.value(3)),
                            shown(newest(id, "intervento IN ('Annaffiatura', 'Concimazione')")),
                            shown(newest(id, "intervento = 'Fioritura'")),
                            shown(newest(id, "intervento NOT IN ('Annaffiatura', "
                                             "'Concimazione', 'Fioritura')")));
        }
        return out;
    }

private:
    QString m_name;
    QSqlDatabase m_db;
};

QStringList listed(const QList<PlantListRow> &rows) {
    QStringList out;
    for (const PlantListRow &r : rows)
        out << QStringLiteral("%1 %2/%3/%4: %5; %6; %7")
                   .arg(r.id)
                   .arg(text(r.specie), text(r.identificazione), text(r.vaso), shown(r.waterOrFeed),
                        shown(r.flowering), shown(r.other));
    return out;
}

// A small archive where nearly everything collides: few dates, kinds that differ only in
// case or blanks, missing and malformed dates, a date stored as bytes, events stored in no
// particular order, plants removed so that rowids have gaps.
void fillTangled(QSqlDatabase &db, quint32 seed) {
    std::mt19937 rng(seed);
    auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<quint32>(n)); };
    const QVariantList kinds = {"Annaffiatura",
                                "Concimazione",
                                "Fioritura",
                                "Rinvaso",
                                "Potatura",
                                "",
                                QVariant(QMetaType(QMetaType::QString)),
                                "annaffiatura",
                                "Fioritura ",
                                "Concimazione"};
    const QVariantList dates = {
        "2020-01-01",       "2020-01-02", "2020-01-02",
        "2019-12-31",       "2020-02-30", "01/02/2020",
        "2020-01-02T10:00", "",           QVariant(QMetaType(QMetaType::QString)),
        "0000-01-01",       "9999-12-31", QByteArray("2021-01-01"),
        "-001-01-01",       "2020/01/03", "2020-1-05",
        "2020-01-3x"};
    QSqlQuery q(db);
    db.transaction();
    const int plants = 40;
    for (int i = 0; i < plants; ++i) {
        q.prepare("INSERT INTO piante (id, specie, identificazione, vaso) VALUES (?, ?, ?, ?)");
        q.addBindValue(1000 + i);
        q.addBindValue(
            i % 7 == 0
                ? QVariant(QMetaType(QMetaType::QString))
                : QVariant(QStringLiteral("%1specie %2").arg(QChar(i % 2 ? 'a' : 'B')).arg(i)));
        q.addBindValue(QStringLiteral("pianta %1").arg(i));
        q.addBindValue(i % 5 == 0 ? QVariant(" ") : QVariant("Terracotta"));
        if (!q.exec())
            qFatal("%s", qPrintable(q.lastError().text()));
    }
    for (int e = 0; e < 500; ++e) {
        q.prepare("INSERT INTO coltivazione (idtrat, id, intervento, datatratt) "
                  "VALUES (?, ?, ?, ?)");
        q.addBindValue(e + 1);
        q.addBindValue(1000 + below(plants + 3)); // a few events of no plant
        q.addBindValue(kinds.at(below(kinds.size())));
        q.addBindValue(dates.at(below(dates.size())));
        if (!q.exec())
            qFatal("%s", qPrintable(q.lastError().text()));
    }
    q.exec("DELETE FROM piante WHERE id % 9 = 4");
    db.commit();
}

} // namespace

class TestPlantRows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void derivedColumnsFollowDateThenStoredOrder_data();
    void derivedColumnsFollowDateThenStoredOrder();
    void namedCases_data();
    void namedCases();
};

void TestPlantRows::derivedColumnsFollowDateThenStoredOrder_data() {
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u})
        QTest::addRow("seed %u", seed) << seed;
}

void TestPlantRows::derivedColumnsFollowDateThenStoredOrder() {
    QFETCH(quint32, seed);
    TestApp app;
    Reference ref(app.path("dbpiante.mdb"));
    fillTangled(ref.db(), seed);

    // The archive holds what it is meant to.
    auto count = [&](const char *where) {
        QSqlQuery q(ref.db());
        q.exec(QStringLiteral("SELECT count(*) FROM coltivazione WHERE %1").arg(where));
        return q.next() ? q.value(0).toInt() : -1;
    };
    QVERIFY(count("intervento = ''") > 0);
    QVERIFY(count("intervento IS NULL") > 0);
    QVERIFY(count("datatratt IS NULL") > 0);
    QVERIFY(count("typeof(datatratt) = 'blob'") > 0);
    QVERIFY(count("rowid IN (SELECT a.rowid FROM coltivazione a JOIN coltivazione b ON "
                  "a.id = b.id AND a.datatratt = b.datatratt AND a.rowid <> b.rowid)") > 0);

    Archive a(app.path("dbpiante.mdb"));
    const auto all = a.plantList();
    QVERIFY2(all, qPrintable(a.lastError()));
    QCOMPARE(listed(*all), ref.rows());

    // A search lists the same rows for the plants it finds, whether it finds many or few.
    auto startsWith = [](const QVariant &v, const QString &prefix) {
        return !v.isNull() && v.toString().startsWith(prefix, Qt::CaseInsensitive);
    };
    const auto many = a.searchPlants(SearchField::Specie, "A");
    QVERIFY2(many, qPrintable(a.lastError()));
    QCOMPARE(listed(*many), ref.rows([&](const QVariant &specie, const QVariant &) {
        return startsWith(specie, "a");
    }));
    const auto few = a.searchPlants(SearchField::Identificazione, "pianta 3");
    QVERIFY2(few, qPrintable(a.lastError()));
    QVERIFY(!few->isEmpty() && few->size() * 3 < all->size());
    QCOMPARE(listed(*few), ref.rows([&](const QVariant &, const QVariant &ident) {
        return startsWith(ident, "pianta 3");
    }));
}

void TestPlantRows::namedCases_data() {
    QTest::addColumn<QStringList>("events"); // kind|date, in stored order
    QTest::addColumn<QString>("expected");
    QTest::newRow("no events") << QStringList() << "-; -; -";
    QTest::newRow("watering newer than fertilising")
        << QStringList{"Concimazione|2024-01-01", "Annaffiatura|2024-02-01"}
        << "[Annaffiatura] date 2024-02-01; -; -";
    QTest::newRow("same day: the watering was stored first")
        << QStringList{"Annaffiatura|2024-03-01", "Concimazione|2024-03-01"}
        << "[Annaffiatura] date 2024-03-01; -; -";
    QTest::newRow("same day: the fertilising was stored first")
        << QStringList{"Concimazione|2024-03-01", "Annaffiatura|2024-03-01"}
        << "[Concimazione] date 2024-03-01; -; -";
    QTest::newRow("other kinds on one day: stored order, not the alphabet")
        << QStringList{"Rinvaso|2024-05-05", "Potatura|2024-05-05", "Potatura|2024-01-01"}
        << "-; -; [Rinvaso] date 2024-05-05";
    QTest::newRow("a dated event beats one without a date")
        << QStringList{"Annaffiatura|NULL", "Concimazione|2001-01-01"}
        << "[Concimazione] date 2001-01-01; -; -";
    QTest::newRow("only undated events: the first stored")
        << QStringList{"Rinvaso|NULL", "Potatura|NULL", "Fioritura|NULL", "Concimazione|NULL",
                       "Annaffiatura|NULL"}
        << "[Concimazione] NULL; [Fioritura] NULL; [Rinvaso] NULL";
    QTest::newRow("text dates compare as text")
        << QStringList{"Potatura|31/12/2023", "Rinvaso|2024-01-01"}
        << "-; -; [Potatura] text 31/12/2023";
    QTest::newRow("empty kind is another event, no kind is none")
        << QStringList{"|2024-01-01", "NULL|2025-01-01"} << "-; -; [] date 2024-01-01";
    QTest::newRow("kinds match exactly")
        << QStringList{"annaffiatura|2024-01-01", "Fioritura |2024-01-02"}
        << "-; -; [Fioritura ] date 2024-01-02";
}

void TestPlantRows::namedCases() {
    QFETCH(QStringList, events);
    QFETCH(QString, expected);
    TestApp app;
    app.addPlant(7);
    app.addPlant(8); // a neighbour whose events must not leak
    app.addEvent(1, 8, "Annaffiatura", "2030-01-01");
    app.addEvent(2, 8, "Rinvaso", "2030-01-01");
    qint64 key = 100;
    for (const QString &e : events) {
        const QString kind = e.section('|', 0, 0);
        const QString date = e.section('|', 1);
        app.sql("INSERT INTO coltivazione (idtrat, id, intervento, datatratt) VALUES (?, 7, ?, ?)",
                {++key,
                 kind == "NULL" ? QVariant(QMetaType(QMetaType::QString))
                                : QVariant(kind.isEmpty() ? QStringLiteral("") : kind),
                 date == "NULL" ? QVariant(QMetaType(QMetaType::QString)) : QVariant(date)});
    }
    Archive a(app.path("dbpiante.mdb"));
    const auto rows = a.plantList();
    QVERIFY2(rows, qPrintable(a.lastError()));
    QCOMPARE(rows->size(), 2);
    QCOMPARE(listed(*rows).first(), "7 NULL/NULL/NULL: " + expected);
}

QTEST_MAIN(TestPlantRows)
#include "test_plantrows.moc"
