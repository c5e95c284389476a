#include "archive/backupstore.h"
#include "support/testapp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {

// A few plants with long notes, so that the file has pages enough to damage one.
void fill(TestApp &app, int plants = 40) {
    for (int i = 1; i <= plants; ++i) {
        app.addPlant(i, {{"specie", QStringLiteral("Specie %1").arg(i)},
                         {"note", QString(300, QChar(u'a' + i % 26))}});
        app.addEvent(1000 + i, i, "Annaffiatura", "2026-01-02");
    }
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
    QCOMPARE(names(store.dailyCopies()), expected);
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
    QCOMPARE(store.makeDailyCopy(day), BackupStore::Daily::NotSound);
    QCOMPARE(store.dailyCopies().size(), 14);
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
    QCOMPARE(store.dailyCopies().size(), 14);
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
    QCOMPARE(store.dailyCopies().size(), 1);
    QCOMPARE(BackupStore::dayOf(store.keptPath()), QDate(2026, 12, 7));
}

void TestBackupStore::restoreRefusesWhatCannotBeAnArchive_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason");
    QTest::newRow("damaged") << "damaged" << "danneggiato";
    QTest::newRow("text file") << "text" << "non è un archivio";
    QTest::newRow("no events table") << "table" << "manca la tabella coltivazione";
    QTest::newRow("field missing") << "field" << "nella tabella piante mancano i campi img";
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
    } else {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "alter");
        db.setDatabaseName(candidate);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(how == "table" ? "DROP TABLE coltivazione"
                                      : "ALTER TABLE piante DROP COLUMN img"));
        q.finish();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("alter");
    }
    const QByteArray before = TestApp::fileHash(archive);
    BackupStore store(app.ctx().folder);
    QVERIFY(!store.restore(candidate, QDateTime(QDate(2026, 12, 7), QTime(10, 0))));
    QVERIFY2(store.error().contains(reason), qPrintable(store.error()));
    QCOMPARE(TestApp::fileHash(archive), before);
    QVERIFY(QDir(store.dir()).isEmpty());
}

QTEST_MAIN(TestBackupStore)
#include "test_backupstore.moc"
