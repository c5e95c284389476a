#include "archive/archive.h"
#include "archive/backupstore.h"
#include "archive/csvexport.h"
#include "archive/fieldtable.h"
#include "archive/schemaupgrade.h"
#include "archive/sqlitefile.h"
#include "duecare/duecaredialog.h"
#include "duecare/duecaremodel.h"
#include "duecare/rhythmdialog.h"
#include "mainwindow/archivestartup.h"
#include "mainwindow/backupcommands.h"
#include "mainwindow/mainwindow.h"
#include "support/testapp.h"
#include "ui/lists/reportlist.h"
#include "ui/lists/reportlistmodel.h"

#include <QDateEdit>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// What an archive of the first layout looks like: the two tables only.
void makeLayoutZero(TestApp &app) {
    app.sql("DROP TABLE promemoria");
    app.sql("DROP TABLE IF EXISTS foto");
    app.sql("PRAGMA user_version = 0");
}

// Days from a start, one event of `kind` each.
void log(TestApp &app, qint64 plant, const QString &kind, const QStringList &days) {
    static qint64 key = 1000;
    for (const QString &d : days)
        app.addEvent(++key, plant, kind, d);
}

QStringList every(const QDate &from, const QList<int> &gaps) {
    QStringList days{from.toString(Qt::ISODate)};
    QDate d = from;
    for (int g : gaps)
        days << (d = d.addDays(g)).toString(Qt::ISODate);
    return days;
}

// Every row of a table, in stored order.
QString content(TestApp &app, const QString &table) {
    return app
        .sqlValue(QString("SELECT group_concat(x, '|') FROM (SELECT json_array(%1) AS x "
                          "FROM %2 ORDER BY rowid)")
                      .arg(FieldTable::columns(table).join(','), table))
        .toString();
}
} // namespace

class TestDueCare : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { closeAllWindows(); }
    void rhythmIsThePlantsOwn_data();
    void rhythmIsThePlantsOwn();
    void aLargeArchiveReadInTwoHalvesReadsAsOne();
    void aRoundIsRecordedWholeOrNotAtAll();
    void deletingAPlantTakesItsRhythms();
    void anArchiveWithoutTheTableIsReadRestoredAndExported();
    void upgradeKeepsEveryRowAndAKillLeavesOneLayout();
    void theWindowRecordsSilencesAndShowsThePlant();
};

void TestDueCare::rhythmIsThePlantsOwn_data() {
    QTest::addColumn<QStringList>("days");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("period"); // "r1|r2"
    QTest::addColumn<int>("byHand");     // -1: none
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("rhythm"); // -1: no row; 0: silenced
    QTest::addColumn<QString>("lateText");
    const QDate jan(2026, 1, 5), jul(2026, 7, 6);
    const QString water = "Annaffiatura", feed = "Concimazione";
    // 2025-06-02 on, weekly through the summer: last day 2025-07-07.
    const QStringList summer = every({2025, 6, 2}, {7, 7, 7, 7, 7});
    QTest::newRow("weekly") << summer << water << "|" << -1 << QDate(2025, 7, 16) << 7
                            << "2 giorni";
    QTest::newRow("same-day twins count once")
        << QStringList{"2025-06-01", "2025-06-03", "2025-06-03", "2025-06-03", "2025-06-05"}
        << water << "|" << -1 << QDate(2025, 6, 6) << 2 << "tra 1 giorno";
    QTest::newRow("twins are no third day") << QStringList{"2025-06-01", "2025-06-01", "2025-06-09"}
                                            << water << "|" << -1 << jul << -1 << "";
    QTest::newRow("a long gap does not move the median")
        << every({2025, 5, 1}, {7, 7, 60, 7, 7}) << water << "|" << -1 << QDate(2025, 7, 30) << 7
        << "tra 5 giorni";
    QTest::newRow("only the last six intervals")
        << every({2025, 4, 1}, {20, 20, 20, 20, 20, 20, 5, 5, 5, 5, 5, 5}) << water << "|" << -1
        << jul << 5 << "";
    QTest::newRow("an even count rounds the half up")
        << every({2025, 6, 1}, {4, 5}) << water << "|" << -1 << jul << 5 << "";
    QTest::newRow("winter uses the winter intervals")
        << every({2025, 8, 1}, {7, 7, 7, 7, 70, 20, 20, 20}) << water << "|" << -1 << jan << 20
        << "";
    QTest::newRow("summer uses the summer intervals")
        << every({2025, 8, 1}, {7, 7, 7, 7, 70, 20, 20, 20}) << water << "|" << -1 << jul << 7
        << "";
    QTest::newRow("an empty season falls back to the other")
        << summer << water << "|" << -1 << jan << 7 << "";
    QTest::newRow("unsorted dates of another tool")
        << QStringList{"2025-06-15", "2025-06-01", "2025-06-08"} << water << "|" << -1
        << QDate(2025, 6, 22) << 7 << "oggi";
    QTest::newRow("fewer than three days")
        << every({2025, 6, 1}, {7}) << water << "|" << -1 << jul << -1 << "";
    QTest::newRow("set by hand with two events")
        << every({2025, 6, 1}, {7}) << "Rinvaso"
        << "|" << 10 << QDate(2025, 6, 20) << 10 << "2 giorni";
    QTest::newRow("set by hand overrides the log")
        << summer << water << "|" << 3 << QDate(2025, 7, 10) << 3 << "oggi";
    QTest::newRow("non ricordare") << summer << water << "|" << 0 << jul << 0 << "";
    QTest::newRow("fertilising in its period")
        << summer << feed << "Marzo|Settembre" << -1 << QDate(2025, 7, 16) << 7 << "2 giorni";
    QTest::newRow("fertilising outside its period")
        << summer << feed << "marzo|SETTEMBRE" << -1 << jan << 7 << "fuori stagione";
    QTest::newRow("a period across the new year, inside")
        << summer << feed << "ott|feb" << -1 << jan << 7 << "";
    QTest::newRow("a period across the new year, outside")
        << summer << feed << "Ottobre|2" << -1 << jul << 7 << "fuori stagione";
    QTest::newRow("the next day falls outside the period")
        << every({2025, 7, 6}, {7, 7, 7}) << feed << "3|Luglio" << -1 << QDate(2025, 7, 28) << 7
        << "fuori stagione";
    QTest::newRow("unreadable period means all year")
        << summer << feed << "primavera|9" << -1 << jan << 7 << "";
    QTest::newRow("blank period means all year") << summer << feed << " | " << -1 << jan << 7 << "";
    QTest::newRow("days that are no dates are passed over")
        << QStringList{"2024-02-23", "2024-02-26", "2024-02-29", "2024-02-30", "2023-02-29",
                       "2024-13-01", "2024-00-10", "24-03-01"}
        << water << "|" << -1 << QDate(2024, 3, 5) << 3 << "2 giorni";
    QTest::newRow("month thirteen is unreadable")
        << summer << feed << "13|1" << -1 << jul << 7 << "";
}

void TestDueCare::rhythmIsThePlantsOwn() {
    QFETCH(QStringList, days);
    QFETCH(QString, kind);
    QFETCH(QString, period);
    QFETCH(int, byHand);
    QFETCH(QDate, today);
    QFETCH(int, rhythm);
    QFETCH(QString, lateText);
    TestApp app;
    app.addPlant(
        1,
        {{"specie", "Ficus"}, {"r1", period.section('|', 0, 0)}, {"r2", period.section('|', 1)}});
    log(app, 1, kind, days);
    log(app, 1, "Potatura", days.mid(0, 2)); // too few: no row of its own
    Archive archive(app.path("dbpiante.mdb"));
    if (byHand >= 0)
        QVERIFY(archive.setRhythm(1, kind, byHand));
    const auto rows = archive.dueCare(today);
    QVERIFY2(rows, qPrintable(archive.lastError()));
    QCOMPARE(rows->size(), rhythm < 0 ? 0 : 1);
    if (rhythm < 0)
        return;
    const DueRow &r = rows->first();
    QCOMPARE(r.intervento, kind);
    QCOMPARE(r.silenced, rhythm == 0);
    QCOMPARE(r.byHand, byHand >= 0);
    QCOMPARE(r.every, rhythm);
    if (!lateText.isEmpty())
        QCOMPARE(DueCareModel::lateText(r), lateText);
}

// A large archive is read in two halves at once, split at a plant key; in WAL mode in one
// walk. Both must give the same rows: plants and kinds on either side of the split, a plant
// gone with its events left, rhythms set by hand with and without events.
void TestDueCare::aLargeArchiveReadInTwoHalvesReadsAsOne() {
    TestApp app;
    const int plants = 6000;
    app.sql(QString("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                    "INSERT INTO piante (id, specie, identificazione, r1, r2) SELECT i, "
                    "CASE i % 3 WHEN 0 THEN 'Ficus' WHEN 1 THEN 'ficus' ELSE 'Aloe' END, "
                    "'pianta ' || i, CASE WHEN i % 4 = 0 THEN 'marzo' END, "
                    "CASE WHEN i % 4 = 0 THEN 'giugno' END FROM n")
                .arg(plants));
    app.sql(QString("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                    "INSERT INTO coltivazione (idtrat, id, intervento, datatratt) "
                    "SELECT i, 1 + i % %2, CASE i % 5 WHEN 0 THEN 'Concimazione' "
                    "WHEN 1 THEN 'Potatura' ELSE 'Annaffiatura' END, "
                    "date('2025-01-01', '+' || (i * 7 % 300) || ' days') FROM n")
                .arg(plants * 12)
                .arg(plants + 3)); // events of three keys no plant has
    app.sql("DELETE FROM piante WHERE id = 3751");    // gone, about where the split falls
    const QDate today(2025, 11, 20);
    const auto read = [&] {
        Archive archive(app.path("dbpiante.mdb"));
        auto rows = archive.dueCare(today);
        if (!rows)
            qWarning() << archive.lastError();
        return rows.value_or(QList<DueRow>());
    };
    {
        Archive archive(app.path("dbpiante.mdb"));
        for (qint64 id : {2, 3749, 3750, 3752, 3753, 5999})
            QVERIFY(archive.setRhythm(id, id % 2 ? "Annaffiatura" : "Rinvaso", int(id % 9)));
        QVERIFY(archive.setRhythm(3751, "Annaffiatura", 4)); // of the plant that is gone
    }
    const auto text = [](QList<DueRow> rows) {
        DueCareModel::sortFirst(rows);
        QStringList lines;
        for (const DueRow &r : rows)
            lines << QString("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11 %12")
                         .arg(r.plantId)
                         .arg(r.plantRowid)
                         .arg(r.specie, r.identificazione, r.intervento,
                              r.last.toString(Qt::ISODate))
                         .arg(r.every)
                         .arg(r.byHand)
                         .arg(r.silenced)
                         .arg(r.next.toString(Qt::ISODate))
                         .arg(r.late)
                         .arg(r.outOfSeason);
        return lines;
    };
    const QList<DueRow> halves = read();
    app.sql("PRAGMA journal_mode=WAL");
    QCOMPARE(app.sqlValue("PRAGMA journal_mode").toString(), QString("wal"));
    const QList<DueRow> one = read();
    QVERIFY(halves.size() > plants);
    QCOMPARE(text(halves), text(one));
}

void TestDueCare::aRoundIsRecordedWholeOrNotAtAll() {
    TestApp app;
    for (qint64 id : {1, 2, 3})
        app.addPlant(id);
    app.addEvent(500, 1, "Annaffiatura", "2026-01-01"); // holds the first key of the round
    const QString path = app.path("dbpiante.mdb");
    const QByteArray before = TestApp::fileHash(path);
    Archive archive(path);
    const QList<CareToRecord> broken = {{1, "Annaffiatura"}, {9, "Annaffiatura"}, {2, "X"}};
    QVERIFY(!archive.recordCare(broken, QDate(2026, 12, 7), 500));
    QVERIFY(archive.lastError().contains("9"));
    QCOMPARE(TestApp::fileHash(path), before);

    QList<CareToRecord> round;
    for (int i = 0; i < 200; ++i)
        round.append({1 + i % 3, i % 2 ? "Annaffiatura" : "Concimazione"});
    QVERIFY(archive.recordCare(round, QDate(2026, 12, 7), 500));
    QCOMPARE(app.count("coltivazione"), 201);
    QCOMPARE(app.sqlValue("SELECT count(DISTINCT idtrat) FROM coltivazione").toInt(), 201);
    QCOMPARE(app.sqlValue("SELECT count(*) FROM coltivazione WHERE datatratt = '2026-12-07' "
                          "AND descrizione = ' ' AND temperatura = 0 AND umidita = 0")
                 .toInt(),
             200);
}

void TestDueCare::deletingAPlantTakesItsRhythms() {
    TestApp app;
    app.addPlant(1);
    app.addPlant(2);
    Archive archive(app.path("dbpiante.mdb"));
    QVERIFY(archive.setRhythm(1, "Annaffiatura", 4));
    QVERIFY(archive.setRhythm(1, "Annaffiatura", 5)); // replaces, never a second row
    QVERIFY(archive.setRhythm(1, "Concimazione", 0));
    QVERIFY(archive.setRhythm(2, "Annaffiatura", 9));
    QCOMPARE(app.count("promemoria"), 3);
    QVERIFY(archive.deletePlantWithEvents(1));
    QCOMPARE(content(app, "promemoria"), QString("[2,\"Annaffiatura\",9]"));
    QVERIFY(archive.setRhythm(2, "Annaffiatura", std::nullopt));
    QCOMPARE(app.count("promemoria"), 0);
}

void TestDueCare::anArchiveWithoutTheTableIsReadRestoredAndExported() {
    TestApp app;
    app.addPlant(1);
    log(app, 1, "Annaffiatura", every({2026, 11, 1}, {7, 7}));
    makeLayoutZero(app);
    const QString path = app.path("dbpiante.mdb");
    {
        Archive archive(path);
        QCOMPARE(archive.dueCare(QDate(2026, 12, 7))->size(), 1);
        QVERIFY(!archive.setRhythm(1, "Annaffiatura", 3));
        QVERIFY(archive.lastError().contains("promemoria"));
        QVERIFY(archive.deletePlantWithEvents(1));
    }
    BackupStore store(app.ctx().folder);
    QVERIFY2(store.checkCandidate(path), qPrintable(store.error()));
    app.sql("CREATE TABLE promemoria (id, intervento)"); // a table that is not whole
    QVERIFY(!store.checkCandidate(path));
    QVERIFY(store.error().contains("giorni"));
    app.sql("DROP TABLE promemoria");
    QTemporaryDir out;
    CsvExport csv(path);
    QVERIFY2(csv.write(out.path()), qPrintable(csv.error()));
    QFile f(out.filePath("promemoria.csv"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("\xEF\xBB\xBFid;intervento;giorni\r\n"));
}

// On an archive of the first layout, as an older program left it: the day's copy first, then
// the table, every old row kept. A child killed while it upgrades leaves one layout or the
// other, never half of one.
void TestDueCare::upgradeKeepsEveryRowAndAKillLeavesOneLayout() {
    TestApp app;
    for (int i = 1; i <= 300; ++i) {
        app.addPlant(i, {{"specie", QString("Specie %1").arg(i)}});
        log(app, i, "Annaffiatura", {"2026-01-02", "2026-02-03"});
    }
    makeLayoutZero(app);
    const QString path = app.path("dbpiante.mdb"), old = app.path("old.mdb");
    const QString plants = content(app, "piante"), events = content(app, "coltivazione");
    QVERIFY(QFile::copy(path, old));
    BackupCommands::dailyCopy(app.ctx());
    QVERIFY(ArchiveStartup(app.ctx()).upgradeLayout());
    QCOMPARE(app.sqlValue("PRAGMA user_version").toInt(),
             SchemaUpgrade::latest(SchemaUpgrade::steps()));
    QCOMPARE(content(app, "piante"), plants);
    QCOMPARE(content(app, "coltivazione"), events);
    {
        // The copy was made first, of the old layout.
        SqliteFile copy;
        QVERIFY(copy.open(BackupStore(app.ctx().folder).dailyPath(app.clock.today())));
        QCOMPARE(copy.value("PRAGMA user_version").toInt(), 0);
        QCOMPARE(copy.value("SELECT count(*) FROM piante").toInt(), 300);
        QCOMPARE(copy.value("SELECT count(*) FROM sqlite_master WHERE name = 'promemoria'"), 0);
    }
    // The upgraded table is the one a new archive gets.
    const QString upgraded = app.sqlValue("SELECT sql FROM sqlite_master WHERE name = 'promemoria'")
                                 .toString()
                                 .simplified();
    TestApp fresh;
    QCOMPARE(fresh.sqlValue("SELECT sql FROM sqlite_master WHERE name = 'promemoria'")
                 .toString()
                 .simplified(),
             upgraded);
    QCOMPARE(fresh.sqlValue("PRAGMA user_version").toInt(), SchemaUpgrade::latest(SchemaUpgrade::steps()));

    for (int round = 0; round < 20; ++round) {
        QFile::remove(path);
        QVERIFY(QFile::copy(old, path));
        const pid_t pid = ::fork();
        if (pid == 0) {
            QString error;
            ::_exit(SchemaUpgrade::run(path, SchemaUpgrade::steps(), &error) ? 0 : 1);
        }
        ::usleep(round * 150);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        Archive archive(path);
        QCOMPARE(archive.integrityCheck().value_or("none"), QString("ok"));
        const int layout = app.sqlValue("PRAGMA user_version").toInt();
        const int tables =
            app.sqlValue("SELECT count(*) FROM sqlite_master WHERE name = 'promemoria'").toInt();
        QCOMPARE(tables, layout == 0 ? 0 : 1);
        QVERIFY(layout == 0 || layout == SchemaUpgrade::latest(SchemaUpgrade::steps()));
        QCOMPARE(content(app, "piante"), plants);
    }
}

void TestDueCare::theWindowRecordsSilencesAndShowsThePlant() {
    TestApp app;
    app.clock.current = QDateTime(QDate(2026, 7, 20), QTime(9, 0));
    app.addPlant(1, {{"specie", "Ficus benjamina"}, {"identificazione", "Soggiorno"}});
    app.addPlant(2, {{"specie", "Aloe vera"},
                     {"identificazione", "Balcone"},
                     {"r1", "nov"},
                     {"r2", "febbraio"}});
    app.addPlant(3, {{"specie", "Crassula ovata"}, {"identificazione", "Cucina"}});
    log(app, 1, "Annaffiatura", every({2026, 6, 1}, {7, 7, 7, 7, 7})); // late since 13 July
    log(app, 2, "Concimazione", every({2026, 5, 1}, {10, 10, 10}));    // out of its period
    log(app, 3, "Annaffiatura", every({2026, 7, 1}, {5, 5, 5}));       // due in 1 day
    MainWindow &main = app.main();
    main.show();
    QVERIFY(triggerAction(&main, "dueCareAction"));
    auto *w = main.findChild<DueCareDialog *>();
    QVERIFY(w);
    QTRY_VERIFY(!w->isLoading());
    QCOMPARE(w->model->rowCount(), 1);
    QCOMPARE(w->model->at(0).specie, QString("Ficus benjamina"));
    w->weekButton->click();
    QCOMPARE(w->model->rowCount(), 2);
    w->allButton->click();
    QCOMPARE(w->model->rowCount(), 3);
    QCOMPARE(w->model->index(2, DueCareModel::Late).data().toString(), QString("fuori stagione"));
    saveShot(w, "due-care");

    // Two rows recorded on a date changed first.
    w->dueList->selectRow(0);
    w->dueList->selectionModel()->select(w->model->index(1, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w->dayEdit->setDate(QDate(2026, 7, 19));
    app.messages.answerNext(true);
    w->recordButton->click();
    QCOMPARE(app.messages.texts().last(), QString("Registrati 2 interventi in data 19/07/2026."));
    QCOMPARE(
        app.sqlValue("SELECT count(*) FROM coltivazione WHERE datatratt = '2026-07-19'").toInt(),
        2);
    QTRY_VERIFY(!w->isLoading());
    QCOMPARE(w->model->index(0, DueCareModel::Late).data().toString(), QString("tra 4 giorni"));

    // "Non ricordare" for the Aloe's fertilising.
    QCOMPARE(w->model->at(2).plantId, 2);
    w->dueList->setCurrentIndex(w->model->index(2, 0));
    w->rhythmButton->click();
    auto *rhythm = qobject_cast<RhythmDialog *>(app.modal.last());
    QVERIFY(rhythm);
    QCOMPARE(rhythm->kind(), QString("Concimazione"));
    saveShot(rhythm, "due-rhythm");
    rhythm->silenceButton->setChecked(true);
    rhythm->accept();
    QCOMPARE(app.count("promemoria"), 1);
    QTRY_VERIFY(!w->isLoading());
    QCOMPARE(w->model->index(2, DueCareModel::Rhythm).data().toString(), QString("non ricordare"));

    // Enter on a row: that plant's events in the main window.
    w->dueList->setCurrentIndex(w->model->index(0, 0));
    const qint64 plant = w->model->at(0).plantId;
    QTest::keyClick(w->dueList, Qt::Key_Return);
    QCOMPARE(app.state().idpianta, plant);
    QVERIFY(!app.state().inPlantMode());
    QCOMPARE(main.listView->list()->rowCount(),
             app.sqlValue("SELECT count(*) FROM coltivazione WHERE id = ?", {plant}).toInt());
    QVERIFY(w->isVisible());
}

QTEST_MAIN(TestDueCare)
#include "test_duecare.moc"
