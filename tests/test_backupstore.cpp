#include "archive/backupstore.h"
#include "archive/csvexport.h"
#include "support/testapp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A few plants with long notes, so that the file has pages enough to damage one.
void fill(TestApp &app, int plants = 40) {
    const QString n = "WITH RECURSIVE n(i) AS (SELECT 1 UNION SELECT i + 1 FROM n WHERE i < ?) ";
    app.sql(n + "INSERT INTO piante (id, specie, note) SELECT i, 'Specie ' || i, replace(hex("
                "zeroblob(150)), '0', char(97 + i % 26)) FROM n",
            {plants});
    app.sql(n + "INSERT INTO coltivazione SELECT 1000 + i, i, 'Annaffiatura', '2026-01-02', "
                "NULL, NULL, NULL FROM n",
            {plants});
}

// Overwrites the header of one b-tree page with bytes that are no page type.
void damage(const QString &path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const QByteArray header = f.read(100);
    const int pageSize = (quint8(header.at(16)) << 8) | quint8(header.at(17));
    QVERIFY(f.size() > 3 * pageSize);
    f.seek(2 * pageSize);
    f.write(QByteArray(12, '\xEE'));
}

int rowsIn(const QString &path, const QString &table) {
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "count");
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec("SELECT count(*) FROM " + table) && q.next())
                n = q.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase("count");
    return n;
}

QStringList entries(const QString &dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

// Runs `work` in a child killed at random moments of the time it takes whole; after each
// kill `next` plays the next start and checks what it finds.
void killAtRandom(int rounds, const std::function<void()> &reset, const std::function<void()> &work,
                  const std::function<void()> &next) {
    QElapsedTimer t;
    reset();
    t.start();
    work();
    const quint32 took = quint32(std::max<qint64>(t.nsecsElapsed() / 1000, 1000));
    QRandomGenerator random(qEnvironmentVariableIntValue("SILVARO_CRASH_SEED") + 7);
    for (int round = 0; round < rounds && !QTest::currentTestFailed(); ++round) {
        reset();
        const pid_t pid = ::fork();
        if (pid == 0) {
            work();
            ::_exit(0);
        }
        ::usleep(random.bounded(took * 12 / 10));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        next();
    }
}

QStringList names(const QStringList &paths) {
    QStringList n;
    for (const QString &p : paths)
        n << QFileInfo(p).fileName();
    return n;
}

} // namespace

class TestBackupStore : public QObject {
    Q_OBJECT
private slots:
    void oneCopyADayAndTheNewestFourteenKept();
    void noCopyOfAnArchiveThatFailsItsCheck_data();
    void noCopyOfAnArchiveThatFailsItsCheck();
    void aCopyThatCannotBeWrittenRemovesNothing();
    void restorePutsTheCopyInPlaceAndKeepsTheArchive();
    void restoreRefusesWhatCannotBeAnArchive_data();
    void restoreRefusesWhatCannotBeAnArchive();
    void rotationCountsOnlyCopiesOfPastDays_data();
    void rotationCountsOnlyCopiesOfPastDays();
    void aLinkInTheWayIsReplacedNeverWrittenThrough_data();
    void aLinkInTheWayIsReplacedNeverWrittenThrough();
    void killedRestoreLeavesOneWholeState();
    void killedExportLeavesTheOldPairOrTheNew();
    void failuresAreToldInItalian_data();
    void failuresAreToldInItalian();
};

void TestBackupStore::oneCopyADayAndTheNewestFourteenKept() {
    TestApp app;
    fill(app, 3);
    BackupStore store(app.ctx().folder);
    // Something of the user's own in the folder is not a daily copy and stays.
    QDir().mkpath(store.dir());
    QFile own(QDir(store.dir()).filePath("dbpiante-2026-11-01-101500.mdb"));
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.close();

    const QDate first(2026, 11, 20);
    QCOMPARE(store.makeDailyCopy(first), BackupStore::Daily::Made);
    QCOMPARE(rowsIn(store.dailyPath(first), "piante"), 3);
    const QByteArray copied = TestApp::fileHash(store.dailyPath(first));
    // Later the same day the copy stays as it was, even though the archive changed.
    app.addPlant(4);
    QCOMPARE(store.makeDailyCopy(first), BackupStore::Daily::AlreadyThere);
    QCOMPARE(TestApp::fileHash(store.dailyPath(first)), copied);

    for (int day = 1; day < 20; ++day)
        QCOMPARE(store.makeDailyCopy(first.addDays(day)), BackupStore::Daily::Made);
    QStringList expected;
    for (int day = 19; day >= 6; --day)
        expected << QFileInfo(store.dailyPath(first.addDays(day))).fileName();
    QCOMPARE(names(store.dailyCopies(first.addDays(19))), expected);
    QCOMPARE(rowsIn(store.dailyPath(first.addDays(19)), "piante"), 4);
    QVERIFY(own.exists());
    QVERIFY(QDir(store.dir()).entryList({"*.tmp"}, QDir::Files).isEmpty());
}

void TestBackupStore::noCopyOfAnArchiveThatFailsItsCheck_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("damaged page") << "damaged";
    QTest::newRow("missing") << "missing";
    QTest::newRow("not SQLite") << "random";
}

void TestBackupStore::noCopyOfAnArchiveThatFailsItsCheck() {
    QFETCH(QString, how);
    TestApp app;
    fill(app);
    BackupStore store(app.ctx().folder);
    const QDate day(2026, 12, 1);
    for (int i = 1; i <= 14; ++i)
        QCOMPARE(store.makeDailyCopy(day.addDays(-i)), BackupStore::Daily::Made);
    const QString archive = app.path("dbpiante.mdb");
    if (how == "damaged") {
        damage(archive);
    } else {
        QFile::remove(archive);
        if (how == "random") {
            QFile f(archive);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(8192, '\x5a'));
        }
    }
    const QByteArray before = TestApp::fileHash(archive);
    QCOMPARE(store.makeDailyCopy(day),
             how == "damaged" ? BackupStore::Daily::FailsCheck : BackupStore::Daily::NotSound);
    QCOMPARE(store.dailyCopies(day).size(), 14);
    QVERIFY(!QFileInfo::exists(store.dailyPath(day)));
    QCOMPARE(TestApp::fileHash(archive), before);
}

void TestBackupStore::aCopyThatCannotBeWrittenRemovesNothing() {
    TestApp app;
    fill(app, 2);
    BackupStore store(app.ctx().folder);
    const QDate day(2026, 12, 1);
    for (int i = 1; i <= 14; ++i)
        QCOMPARE(store.makeDailyCopy(day.addDays(-i)), BackupStore::Daily::Made);
    // The day's name is taken by a folder: the copy cannot be renamed into place.
    QVERIFY(QDir().mkpath(store.dailyPath(day) + ".tmp"));
    QCOMPARE(store.makeDailyCopy(day), BackupStore::Daily::Failed);
    QVERIFY(!store.error().isEmpty());
    QCOMPARE(store.dailyCopies(day).size(), 14);
    QVERIFY(!QFileInfo::exists(store.dailyPath(day)));
}

void TestBackupStore::restorePutsTheCopyInPlaceAndKeepsTheArchive() {
    TestApp app;
    fill(app, 5);
    BackupStore store(app.ctx().folder);
    QCOMPARE(store.makeDailyCopy(QDate(2026, 12, 6)), BackupStore::Daily::Made);
    app.sql("DELETE FROM piante WHERE id > 1");
    const QString archive = app.path("dbpiante.mdb");
    const QByteArray current = TestApp::fileHash(archive);
    // A journal left beside the archive goes with it, never deleted.
    QFile journal(archive + "-journal");
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write("left over");
    journal.close();

    QVERIFY2(store.restore(store.dailyPath(QDate(2026, 12, 6)),
                           QDateTime(QDate(2026, 12, 7), QTime(10, 15, 30))),
             qPrintable(store.error()));
    QCOMPARE(rowsIn(archive, "piante"), 5);
    QCOMPARE(rowsIn(archive, "coltivazione"), 5);
    QCOMPARE(QFileInfo(store.keptPath()).fileName(), QString("dbpiante-2026-12-07-101530.mdb"));
    QCOMPARE(TestApp::fileHash(store.keptPath()), current);
    QVERIFY(!QFileInfo::exists(archive + "-journal"));
    QFile moved(store.keptPath() + "-journal");
    QVERIFY(moved.open(QIODevice::ReadOnly));
    QCOMPARE(moved.readAll(), QByteArray("left over"));
    QVERIFY(!QFileInfo::exists(archive + ".tmp"));
    // The kept archive is no daily copy: it never goes in a rotation.
    QCOMPARE(store.dailyCopies(QDate(2026, 12, 7)).size(), 1);
    QCOMPARE(BackupStore::dayOf(store.keptPath()), QDate(2026, 12, 7));
}

void TestBackupStore::restoreRefusesWhatCannotBeAnArchive_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason");
    QTest::newRow("damaged") << "damaged" << "danneggiato";
    QTest::newRow("text file") << "text" << "non è un archivio";
    QTest::newRow("no events table") << "table" << "manca la tabella coltivazione";
    QTest::newRow("field missing") << "field" << "nella tabella piante mancano i campi img";
    QTest::newRow("views") << "views"
                           << "piante è una vista, non una tabella";
    QTest::newRow("newer layout") << "newer" << "versione più recente";
    QTest::newRow("check stopped by the user") << "stopped" << "";
}

void TestBackupStore::restoreRefusesWhatCannotBeAnArchive() {
    QFETCH(QString, how);
    QFETCH(QString, reason);
    TestApp app;
    fill(app);
    const QString archive = app.path("dbpiante.mdb");
    const QString candidate = app.path("candidate.mdb");
    QVERIFY(QFile::copy(archive, candidate));
    if (how == "damaged") {
        damage(candidate);
    } else if (how == "text") {
        QFile::remove(candidate);
        QFile f(candidate);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("specie;identificazione\r\nRosa;la mia\r\n");
    } else if (how != "stopped") {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "alter");
        db.setDatabaseName(candidate);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(how == "table"   ? "DROP TABLE coltivazione"
                       : how == "field" ? "ALTER TABLE piante DROP COLUMN img"
                       : how == "newer" ? "PRAGMA user_version = 9"
                                        : "ALTER TABLE piante RENAME TO p"));
        QVERIFY(how != "views" || q.exec("CREATE VIEW piante AS SELECT * FROM p"));
        q.finish();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("alter");
    }
    const QByteArray before = TestApp::fileHash(archive);
    BackupStore store(app.ctx().folder);
    if (how == "stopped")
        store.setProgress([] { return false; });
    QVERIFY(!store.restore(candidate, QDateTime(QDate(2026, 12, 7), QTime(10, 0))));
    QVERIFY2(store.error().contains(reason), qPrintable(store.error()));
    QCOMPARE(TestApp::fileHash(archive), before);
    QVERIFY(QDir(store.dir()).isEmpty());
}

void TestBackupStore::rotationCountsOnlyCopiesOfPastDays_data() {
    QTest::addColumn<int>("past");
    QTest::addColumn<int>("later");
    QTest::newRow("5 copies beside 14 dated later") << 5 << 14;
    QTest::newRow("20 copies beside 3 dated later") << 20 << 3;
}

void TestBackupStore::rotationCountsOnlyCopiesOfPastDays() {
    QFETCH(int, past);
    QFETCH(int, later);
    TestApp app;
    BackupStore store(app.ctx().folder);
    const QDate today(2026, 12, 7);
    // Copies dated later than today, and a date that is none, are no daily copies.
    QStringList others{QDir(store.dir()).filePath("dbpiante-2026-02-30.mdb")}, copies;
    for (int i = 0; i < later; ++i)
        others << store.dailyPath(QDate(2030, 1, 1).addDays(i));
    for (int i = 1; i <= past; ++i)
        copies << store.dailyPath(today.addDays(-i));
    QDir().mkpath(store.dir());
    for (const QString &path : others + copies)
        QVERIFY(QFile::copy(app.path("dbpiante.mdb"), path));
    QCOMPARE(store.makeDailyCopy(today), BackupStore::Daily::Made);
    const QStringList kept =
        QStringList{store.dailyPath(today)} + copies.mid(0, BackupStore::kept - 1);
    QCOMPARE(store.dailyCopies(today), kept);
    for (const QString &path : others + copies)
        QCOMPARE(QFileInfo::exists(path), others.contains(path) || kept.contains(path));
}

void TestBackupStore::aLinkInTheWayIsReplacedNeverWrittenThrough_data() {
    QTest::addColumn<bool>("copy");
    QTest::newRow("daily copy over a dangling link") << true;
    QTest::newRow("export over a link to a file") << false;
}

void TestBackupStore::aLinkInTheWayIsReplacedNeverWrittenThrough() {
    QFETCH(bool, copy);
    TestApp app;
    BackupStore store(app.ctx().folder);
    QTemporaryDir elsewhere, out;
    const QString theirs = elsewhere.filePath("altro.txt");
    QVERIFY(copy || QFile::copy(app.path("trattamenti.txt"), theirs));
    const QByteArray before = TestApp::fileHash(theirs);
    const QString link = copy ? store.dailyPath(QDate(2026, 12, 7)) : out.filePath("piante.csv");
    QVERIFY(QDir().mkpath(store.dir()) && QFile::link(theirs, link));
    QVERIFY(copy ? store.makeDailyCopy(QDate(2026, 12, 7)) == BackupStore::Daily::Made
                 : CsvExport(app.path("dbpiante.mdb")).write(out.path()));
    QVERIFY(!QFileInfo(link).isSymLink() &&
            (copy ? store.checkCandidate(link) : QFileInfo(link).size() > 3));
    QCOMPARE(entries(elsewhere.path()), copy ? QStringList() : QStringList{"altro.txt"});
    QCOMPARE(TestApp::fileHash(theirs), before);
}

// After a kill and the next start: the old archive or the copy, whole files alone (the old
// archive kept in backup/ whenever the copy took its place).
void TestBackupStore::killedRestoreLeavesOneWholeState() {
    TestApp app;
    fill(app, 4000);
    const QString archive = app.path("dbpiante.mdb"), saved = app.path("saved.mdb");
    QVERIFY(QFile::copy(archive, app.path("candidate.mdb")));
    app.sql("DELETE FROM piante WHERE id > 10");
    QVERIFY(QFile::copy(archive, saved));
    BackupStore store(app.ctx().folder);
    const QString kept = "dbpiante-2026-12-07-100000.mdb", keptPath = store.dir() + "/" + kept;
    killAtRandom(
        qEnvironmentVariable("SILVARO_RESTORE_KILLS", "30").toInt(),
        [&] {
            QDir(store.dir()).removeRecursively();
            QVERIFY(QFile::remove(archive) && QFile::copy(saved, archive));
        },
        [&] {
            store.restore(app.path("candidate.mdb"), QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
        },
        [&] {
            store.settle();
            const bool isNew = rowsIn(archive, "piante") == 4000 && store.checkCandidate(archive);
            QVERIFY(isNew || TestApp::fileHash(archive) == TestApp::fileHash(saved));
            QCOMPARE(entries(app.dir()).filter(".mdb"),
                     (QStringList{"candidate.mdb", "dbpiante.mdb", "saved.mdb"}));
            const QStringList left = entries(store.dir());
            QCOMPARE(left, isNew || !left.isEmpty() ? QStringList{kept} : QStringList());
            QVERIFY(left.isEmpty() ||
                    (store.checkCandidate(keptPath) && rowsIn(keptPath, "piante") == 10));
        });
}

// After a kill and the next start: the old pair or the new, and nothing else.
void TestBackupStore::killedExportLeavesTheOldPairOrTheNew() {
    TestApp app;
    fill(app, 1500);
    const QString archive = app.path("dbpiante.mdb");
    QTemporaryDir out, old, fresh;
    QVERIFY(CsvExport(archive).write(old.path()));
    app.sql("UPDATE piante SET specie = 'nuova'"); // in both files
    QVERIFY(CsvExport(archive).write(fresh.path()));
    auto pair = [](const QTemporaryDir &d) {
        return TestApp::fileHash(d.filePath("piante.csv")) +
               TestApp::fileHash(d.filePath("trattamenti.csv"));
    };
    killAtRandom(
        qEnvironmentVariable("SILVARO_EXPORT_KILLS", "30").toInt(),
        [&] {
            for (const QString &name : CsvExport::fileNames()) {
                QFile::remove(out.filePath(name));
                QVERIFY(QFile::copy(old.filePath(name), out.filePath(name)));
            }
        },
        [&] { CsvExport(archive).write(out.path()); },
        [&] {
            CsvExport::settleInterrupted(archive);
            QCOMPARE(entries(out.path()),
                     (QStringList{"foto.csv", "piante.csv", "promemoria.csv", "trattamenti.csv"}));
            QCOMPARE(entries(app.dir()), (QStringList{"dbpiante.mdb", "img", "trattamenti.txt"}));
            QVERIFY(pair(out) == pair(old) || pair(out) == pair(fresh));
        });
}

void TestBackupStore::failuresAreToldInItalian_data() {
    // "<command> <obstacle> => <said>", "|" for ", non si è potuto ", %1 and %2 the folders.
    QTest::addColumn<QString>("told");
    QTest::newRow("disk full, copy")
        << "copy full => il disco è pieno|scrivere %1/backup/dbpiante-2026-12-07.mdb";
    QTest::newRow("disk full, export") << "export full => il disco è pieno|scrivere %2/piante.csv";
    QTest::newRow("read-only disk, restore")
        << "restore read-only => il disco è di sola lettura|scrivere "
           "%1/backup/dbpiante-2026-12-07-100000.mdb";
    QTest::newRow("permission denied, export")
        << "export nobody => permesso negato|scrivere nella cartella %2";
    QTest::newRow("input/output error, restore") << "restore /proc/self/mem => errore di lettura o "
                                                    "scrittura del disco|leggere /proc/self/mem";
}

// In a child: where the command writes, a small or read-only file system; or it runs as nobody.
void TestBackupStore::failuresAreToldInItalian() {
    QFETCH(QString, told);
    const QString command = told.section(" => ", 0, 0), obstacle = command.section(' ', 1);
    TestApp app;
    fill(app, 400);
    QTemporaryDir out;
    BackupStore store(app.ctx().folder);
    const QString where = command.startsWith("export") ? out.path() : store.dir();
    QVERIFY(QFile::copy(app.path("dbpiante.mdb"), app.path("copia.mdb")) && QDir().mkpath(where) &&
            QFile::setPermissions(app.dir(), QFileDevice::Permissions(0x7755)) &&
            QFile::setPermissions(where, QFileDevice::Permissions(0x7555)));
    int channel[2];
    QVERIFY(::pipe(channel) == 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        bool ready = obstacle != "nobody" || (!::setgid(65534) && !::setuid(65534));
        if (obstacle == "full" || obstacle == "read-only")
            ready = !::unshare(CLONE_NEWNS) &&
                    !::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) &&
                    !::mount("tmpfs", QFile::encodeName(where), "tmpfs",
                             obstacle == "full" ? 0 : MS_RDONLY, "size=64k");
        CsvExport csv(app.path("dbpiante.mdb"));
        if (ready && command.startsWith("export"))
            csv.write(out.path());
        else if (ready && command.startsWith("copy"))
            store.makeDailyCopy(QDate(2026, 12, 7));
        else if (ready)
            store.restore(obstacle.contains('/') ? QString(obstacle).replace("%1", app.dir())
                                                 : app.path("copia.mdb"),
                          QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
        const QByteArray answer = ready ? (csv.error() + store.error()).toUtf8() : "SKIP";
        ::_exit(::write(channel[1], answer.constData(), size_t(answer.size())) < 0);
    }
    ::close(channel[1]);
    QFile answer;
    QVERIFY(pid > 0 && answer.open(channel[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    const QString said = QString::fromUtf8(answer.readAll());
    ::waitpid(pid, nullptr, 0);
    if (said == "SKIP")
        QSKIP("cannot become nobody or mount a file system here");
    told = told.section(" => ", 1).replace("|", ", non si è potuto ");
    QCOMPARE(said, told.replace("%1", app.dir()).replace("%2", out.path()));
}

QTEST_MAIN(TestBackupStore)
#include "test_backupstore.moc"
