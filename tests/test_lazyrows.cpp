// The plant list's rows read lazily (derived columns for the rows shown, the rest in the
// background or when a sort needs them) against the same rows read all at once: every cell
// of every row, unsorted and after each sort, ascending and descending.
#include "archive/archive.h"
#include "support/testapp.h"
#include "ui/plantrows.h"
#include "ui/reportlistmodel.h"

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
                {100 + i, texts.at(below(texts.size())), texts.at(below(texts.size())),
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
};

void TestLazyRows::lazyRowsMatchEagerOnes_data() {
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("search");
    QTest::addColumn<int>("idleRounds"); // background reads let run before the first sort
    for (quint32 seed : {1u, 2u, 3u}) {
        QTest::addRow("list, seed %u, sorted at once", seed) << seed << false << 0;
        QTest::addRow("list, seed %u, sorted midway", seed) << seed << false << 2;
        QTest::addRow("search, seed %u, sorted at once", seed) << seed << true << 0;
    }
}

void TestLazyRows::lazyRowsMatchEagerOnes() {
    QFETCH(quint32, seed);
    QFETCH(bool, search);
    QFETCH(int, idleRounds);
    TestApp app;
    fill(app, seed, 12000);
    if (QTest::currentTestFailed())
        return;
    Archive archive(app.path("dbpiante.mdb"));
    const auto eager = search ? archive.searchPlants(SearchField::Specie, "f")
                              : archive.plantList();
    const auto own = search ? archive.searchPlantsOwn(SearchField::Specie, "f")
                            : archive.plantListOwn();
    QVERIFY(eager && own);
    QVERIFY(own->size() > PlantRows::smallList); // smaller lists are read whole at once
    int reads = 0;
    ReportListModel all, lazy;
    all.setRows(std::make_unique<PlantRows>(*eager));
    lazy.setRows(std::make_unique<PlantRows>(*own, [&](const QList<qint64> &rowids, bool rest) {
        ++reads;
        return archive.plantDerived(rowids, rest);
    }));
    QVERIFY(!lazy.complete());
    // A row shown reads its neighbours too, not the whole list.
    QCOMPARE(lazy.row(3), all.row(3));
    QCOMPARE(reads, 1);
    for (int i = 0; i < idleRounds; ++i)
        QCoreApplication::processEvents();
    for (int column = 0; column < 8; ++column)
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            for (ReportListModel *m : {&all, &lazy}) {
                m->setSortKey(column);
                m->setSortOrder(order);
                m->setSorted(true);
            }
            QCOMPARE(cells(lazy), cells(all));
        }
    QVERIFY(lazy.complete());
}

QTEST_MAIN(TestLazyRows)
#include "test_lazyrows.moc"
