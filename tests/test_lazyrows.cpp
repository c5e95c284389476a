// The plant list's and the event list's rows read lazily (for the rows shown, the rest in the
// background or when a sort needs them) against the same rows read all at once: every cell
// of every row, unsorted and after each sort, ascending and descending.
#include "archive/archive.h"
#include "support/testapp.h"
#include "ui/lists/eventrows.h"
#include "ui/lists/plantrows.h"
#include "ui/lists/reportlistmodel.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <random>

namespace {

// Plants with ties on the newest date, events without a date or with a date that is no
// date, kinds empty or NULL, and rowids with gaps.
void fill(TestApp &app, quint32 seed, int plants) {
    std::mt19937 rng(seed);
    auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<quint32>(n)); };
    const QVariantList kinds = {"Annaffiatura", "Concimazione", "Fioritura", "Rinvaso", "",
                                QVariant(QMetaType(QMetaType::QString)), "Potatura"};
    const QVariantList dates = {"2020-01-01", "2020-01-02", "2019-12-31", "2021-06-30",
                                "", QVariant(QMetaType(QMetaType::QString)), "2020-02-30",
                                "01/02/2020"};
    const QVariantList texts = {"Ficus", "ficus", " ", QVariant(QMetaType(QMetaType::QString)),
                                "Èchium", "Aloe vera", "aloe 10", "aloe 9"};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(app.path("dbpiante.mdb"));
        QVERIFY(db.open());
        db.transaction(); // thousands of rows
        QSqlQuery q(db);
        auto run = [&](const QString &sql, const QVariantList &binds) {
            q.prepare(sql);
            for (const QVariant &b : binds)
                q.addBindValue(b);
            QVERIFY(q.exec());
        };
        for (int i = 0; i < plants; ++i)
            run("INSERT INTO piante (id, specie, identificazione, vaso) VALUES (?, ?, ?, ?)",
                // Seed 3: keys that fall as the rows are stored.
                {100 + (seed == 3 ? plants - i : i), texts.at(below(texts.size())),
                 texts.at(below(texts.size())),
                 texts.at(below(texts.size()))});
        for (int e = 0; e < plants * 3; ++e)
            run("INSERT INTO coltivazione (idtrat, id, intervento, datatratt) VALUES (?, ?, ?, ?)",
                {e + 1, 100 + below(plants), kinds.at(below(kinds.size())),
                 dates.at(below(dates.size()))});
        run("DELETE FROM piante WHERE id % 11 = 3", {});
        q.finish();
        QVERIFY(db.commit());
        db.close();
    }
    QSqlDatabase::removeDatabase("fill");
}

QList<QStringList> cells(const ReportListModel &m) {
    QList<QStringList> out;
    for (int r = 0; r < m.rowCount(); ++r)
        out << m.row(r);
    return out;
}

} // namespace

class TestLazyRows : public QObject {
    Q_OBJECT
private slots:
    void lazyRowsMatchEagerOnes_data();
    void lazyRowsMatchEagerOnes();
    void lazyEventRowsMatchOnesReadAtOnce();
};

void TestLazyRows::lazyRowsMatchEagerOnes_data() {
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("search");
    QTest::addColumn<int>("idleRounds"); // background reads let run before the first sort
    QTest::addColumn<int>("firstSort");  // the column sorted first
    for (quint32 seed : {1u, 2u, 3u}) {
        QTest::addRow("list, seed %u, sorted at once", seed) << seed << false << 0 << 1;
        QTest::addRow("list, seed %u, sorted midway", seed) << seed << false << 2 << 1;
        QTest::addRow("search, seed %u, sorted at once", seed) << seed << true << 0 << 1;
    }
    QTest::addRow("list, seed 1, derived column sorted at once") << 1u << false << 0 << 3;
}

void TestLazyRows::lazyRowsMatchEagerOnes() {
    QFETCH(quint32, seed);
    QFETCH(bool, search);
    QFETCH(int, idleRounds);
    QFETCH(int, firstSort);
    TestApp app;
    fill(app, seed, 12000);
    if (QTest::currentTestFailed())
        return;
    Archive archive(app.path("dbpiante.mdb"));
    const auto eager = search ? archive.searchPlants(SearchField::Specie, "f")
                              : archive.plantList();
    const auto keys = search ? archive.searchPlantKeys(SearchField::Specie, "f")
                             : archive.plantKeys();
    QVERIFY(eager && keys);
    QVERIFY(keys->size() > PlantRows::smallList); // smaller lists are read whole at once
    int reads = 0;
    ReportListModel all, lazy;
    all.setRows(std::make_unique<PlantRows>(*eager));
    lazy.setRows(std::make_unique<PlantRows>(
        *keys,
        [&](const QList<qint64> &rowids, bool rest) {
            ++reads;
            return archive.plantRowsOf(rowids, rest);
        },
        [&] { return archive.plantTexts(); })); // a sort on "Specie" reads only the texts
    QVERIFY(!lazy.complete());
    // A row shown reads its neighbours too, not the whole list.
    QCOMPARE(lazy.row(3), all.row(3));
    QCOMPARE(reads, 1);
    for (int i = 0; i < idleRounds; ++i)
        QCoreApplication::processEvents();
    // A sort on a text of the plant's own reads the texts, not every row; one on a derived
    // column reads every row, in parts with the event loop running between them.
    int ticks = 0;
    QTimer tick;
    tick.setInterval(0);
    connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start();
    QList<int> columns = {1, 2, 3, 4, 5, 6, 7, 0};
    columns.move(columns.indexOf(firstSort), 0);
    for (int column : columns)
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            ticks = 0;
            for (ReportListModel *m : {&all, &lazy}) {
                m->setSortKey(column);
                m->setSortOrder(order);
                m->setSorted(true);
            }
            if (column == firstSort && order == Qt::AscendingOrder) {
                QCOMPARE(lazy.complete(), firstSort == 3);
                if (firstSort == 3)
                    QVERIFY(ticks > 0);
            }
            QCOMPARE(cells(lazy), cells(all));
        }
    QVERIFY(lazy.complete());
}

void TestLazyRows::lazyEventRowsMatchOnesReadAtOnce() {
    TestApp app;
    const qint64 plant = 100;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "events");
        db.setDatabaseName(app.path("dbpiante.mdb"));
        QVERIFY(db.open());
        db.transaction();
        QSqlQuery q(db);
        q.prepare("INSERT INTO coltivazione (idtrat, id, intervento, datatratt, temperatura, "
                  "descrizione) VALUES (?, ?, ?, ?, ?, ?)");
        std::mt19937 rng(7);
        const QVariantList dates = {"2020-01-01", "2020-01-02", "", "01/02/2020",
                                    QVariant(QMetaType(QMetaType::QString))};
        for (int e = 0; e < 3 * EventRows::smallList; ++e) {
            // Another plant's events between this one's: its rowids have gaps.
            q.addBindValue(e + 1);
            q.addBindValue(e % 3 == 2 ? plant + 1 : plant);
            q.addBindValue(e % 2 ? "Potatura" : "Annaffiatura");
            q.addBindValue(dates.at(static_cast<int>(rng() % dates.size())));
            q.addBindValue(static_cast<int>(rng() % 30));
            q.addBindValue(QString("riga %1").arg(e));
            QVERIFY(q.exec());
        }
        QVERIFY(db.commit());
        db.close();
    }
    QSqlDatabase::removeDatabase("events");
    Archive archive(app.path("dbpiante.mdb"));
    const auto rowids = archive.eventRowids(plant);
    QVERIFY(rowids);
    QCOMPARE(rowids->size(), 2 * EventRows::smallList);
    auto read = [&](const QList<qint64> &wanted) { return archive.eventListRows(plant, wanted); };
    ReportListModel all, lazy;
    all.setRows(std::make_unique<EventRows>(*rowids, read));
    all.setSortKey(1);
    all.setSorted(true); // every row read, in one statement
    QVERIFY(all.complete());
    lazy.setRows(std::make_unique<EventRows>(*rowids, read));
    QVERIFY(!lazy.complete());
    QCOMPARE(lazy.text(5, 5), QString("riga %1").arg(lazy.text(5, 7).toLongLong() - 1));
    QCoreApplication::processEvents(); // one block in the background
    // From the order `all` has: ties keep the order they had.
    for (int column = 1; column < 8; ++column)
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            for (ReportListModel *m : {&all, &lazy}) {
                m->setSortKey(column);
                m->setSortOrder(order);
                m->setSorted(true);
            }
            QCOMPARE(cells(lazy), cells(all));
        }
}

QTEST_MAIN(TestLazyRows)
#include "test_lazyrows.moc"
