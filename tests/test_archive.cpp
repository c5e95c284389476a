#include "archive/archive.h"
#include "archive/backupstore.h"
#include "archive/conversions.h"
#include "archive/timestampkey.h"
#include "mainwindow/archivestartup.h"
#include "support/testapp.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestArchive : public QObject {
    Q_OBJECT
private slots:
    void numbersFollowTheTypingRules_data();
    void numbersFollowTheTypingRules();
    void datesMustBeRealCalendarDays_data();
    void datesMustBeRealCalendarDays();
    void valuesAreShownItalianStyle();
    void keysAreMadeFromTheClock_data();
    void keysAreMadeFromTheClock();
    void collidingKeysTakeTheNextFreeNumber();
    void openingRefusesWhatIsNotAnArchive_data();
    void openingRefusesWhatIsNotAnArchive();
    void writesConvertTextsAndStoreNothingOnRefusal();
    void deletingAPlantIsAllOrNothing();
    void readsToleratesRowsOfOtherTools();
    void aReadOnlyArchiveIsReadButNeverWritten();
    void layoutIsUpgradedOnlyAfterTheDaysCopy_data();
    void layoutIsUpgradedOnlyAfterTheDaysCopy();
};

void TestArchive::numbersFollowTheTypingRules_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("whole") << "12" << true << 12.0;
    QTest::newRow("comma") << "12,5" << true << 12.5;
    QTest::newRow("point") << "12.5" << true << 12.5;
    QTest::newRow("signs and blanks") << "  -3,25 " << true << -3.25;
    QTest::newRow("plus") << "+7" << true << 7.0;
    QTest::newRow("leading separator") << ",5" << true << 0.5;
    QTest::newRow("trailing separator") << "5." << true << 5.0;
    QTest::newRow("13-digit key") << "1112026863999" << true << 1112026863999.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("Italian thousands") << "1.500" << true << 1500.0;
    QTest::newRow("Italian thousand") << "1.000" << true << 1000.0;
    QTest::newRow("Italian grouping and decimals") << "1.234,56" << true << 1234.56;
    QTest::newRow("Italian millions") << "-2.000.000" << true << -2000000.0;
    QTest::newRow("grouping and decimals") << "1.000,5" << true << 1000.5;
    QTest::newRow("point, no grouping") << "1.5" << true << 1.5;
    QTest::newRow("point, four decimals") << "1.2345" << true << 1.2345;
    QTest::newRow("point after a zero") << "0.500" << true << 0.5;
    QTest::newRow("English grouping") << "1,234.5" << false << 0.0;
    QTest::newRow("short group") << "1.50,5" << false << 0.0;
    QTest::newRow("sign alone") << "-" << false << 0.0;
    QTest::newRow("exponent") << "1e308" << false << 0.0;
    QTest::newRow("nan") << "NaN" << false << 0.0;
    QTest::newRow("inner blank") << "1 2" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank") << " " << false << 0.0;
    QTest::newRow("two signs") << "--1" << false << 0.0;
}

void TestArchive::numbersFollowTheTypingRules() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    QString error;
    const auto n = Conversions::parseNumber(text, &error);
    QCOMPARE(n.has_value(), ok);
    if (ok)
        QCOMPARE(*n, value);
    else
        QVERIFY(error.contains(text));
}

void TestArchive::datesMustBeRealCalendarDays_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("two digits") << "07/03/2026" << QDate(2026, 3, 7);
    QTest::newRow("one digit") << "7/3/2026" << QDate(2026, 3, 7);
    QTest::newRow("leap day") << "29/02/2024" << QDate(2024, 2, 29);
    QTest::newRow("placeholder") << "01/01/1900" << QDate(1900, 1, 1);
    QTest::newRow("31 february") << "31/02/2026" << QDate();
    QTest::newRow("no leap day") << "29/02/2025" << QDate();
    QTest::newRow("letters") << "abc" << QDate();
    QTest::newRow("zeros") << "00/00/0000" << QDate();
    QTest::newRow("day zero") << "0/1/2026" << QDate();
    QTest::newRow("month 13") << "1/13/2026" << QDate();
    QTest::newRow("two-digit year") << "1/1/26" << QDate();
    QTest::newRow("iso") << "2026-03-07" << QDate();
}

void TestArchive::datesMustBeRealCalendarDays() {
    QFETCH(QString, text);
    QFETCH(QDate, date);
    const auto d = Conversions::parseDate(text);
    QCOMPARE(d.has_value(), date.isValid());
    if (d)
        QCOMPARE(*d, date);
}

void TestArchive::valuesAreShownItalianStyle() {
    QCOMPARE(Conversions::number(12), QString("12"));
    QCOMPARE(Conversions::number(12.5), QString("12,5"));
    QCOMPARE(Conversions::number(-0.25), QString("-0,25"));
    QCOMPARE(Conversions::number(1234567), QString("1234567"));
    QCOMPARE(Conversions::number(0.1), QString("0,1"));
    QCOMPARE(Conversions::editorDate(QDate(2026, 3, 5)), QString("05/03/2026"));
    QCOMPARE(Conversions::listDate(QDate(2026, 3, 5)), QString("2026/03/05"));
    QCOMPARE(Conversions::pickedDate(QDate(2027, 1, 5)), QString("5/1/2027"));
    QCOMPARE(Conversions::keyText(1112026863999.0), QString("1112026863999"));
    // A key read back from its text is the same double.
    QCOMPARE(Conversions::keyText(QString("3112202686399").toDouble()), QString("3112202686399"));
}

void TestArchive::keysAreMadeFromTheClock_data() {
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<qint64>("key");
    QTest::newRow("example") << QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)) << 712202636000LL;
    QTest::newRow("afternoon") << QDateTime(QDate(2026, 3, 7), QTime(14, 5, 30)) << 73202650730LL;
    QTest::newRow("night") << QDateTime(QDate(2026, 12, 7), QTime(2, 30, 15)) << 71220269015LL;
    QTest::newRow("half to even, down")
        << QDateTime(QDate(2026, 1, 1), QTime(0, 0, 2, 500)) << 1120262LL;
    QTest::newRow("half to even, up")
        << QDateTime(QDate(2026, 1, 1), QTime(0, 0, 3, 500)) << 1120264LL;
    QTest::newRow("below half") << QDateTime(QDate(2026, 1, 1), QTime(0, 0, 3, 499)) << 1120263LL;
    QTest::newRow("end of day") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999))
                                << 3112202686400LL;
}

void TestArchive::keysAreMadeFromTheClock() {
    QFETCH(QDateTime, when);
    QFETCH(qint64, key);
    QCOMPARE(TimestampKey::make(when), key);
}

void TestArchive::collidingKeysTakeTheNextFreeNumber() {
    TestApp app;
    // 1 November and 11 January at the same second give the same digits.
    const QTime t(10, 0, 0);
    const qint64 nov = TimestampKey::make(QDateTime(QDate(2026, 11, 1), t));
    QCOMPARE(TimestampKey::make(QDateTime(QDate(2026, 1, 11), t)), nov);
    app.addPlant(nov);
    Archive a(app.path("dbpiante.mdb"));
    QCOMPARE(a.freePlantKey(nov).value(), nov + 1);
    // A picture folder of that name also takes the key.
    QCOMPARE(a.freePlantKey(nov, [&](qint64 k) { return k == nov + 1; }).value(), nov + 2);
    app.addEvent(nov, nov, "Annaffiatura", "2026-11-01");
    app.addEvent(nov + 1, nov, "Annaffiatura", "2026-11-01");
    QCOMPARE(a.freeEventKey(nov).value(), nov + 2);
    QCOMPARE(a.freeEventKey(5).value(), 5);
}

void TestArchive::openingRefusesWhatIsNotAnArchive_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("random bytes") << QByteArray("\x13\x99\x01zz random bytes here, not sqlite", 36)
                                  << true;
    QByteArray jet(2048, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    QTest::newRow("jet header") << jet << true;
    QTest::newRow("almost sqlite") << QByteArray("SQLite format 2\0xxxxxxxx", 24) << true;
}

void TestArchive::openingRefusesWhatIsNotAnArchive() {
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    TestApp app(TestApp::Install::NoArchive);
    const QString path = app.path("dbpiante.mdb");
    if (exists) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const QByteArray before = TestApp::fileHash(path);
    {
        Archive a(path);
        QVERIFY(!a.open());
        QVERIFY(!a.lastError().isEmpty());
        QVERIFY(!a.plantList().has_value());
        QVERIFY(!a.insertPlant(1, {{"specie", "x"}}));
    }
    QCOMPARE(QFile::exists(path), exists);
    QCOMPARE(TestApp::fileHash(path), before);
    QVERIFY(!QFile::exists(path + "-journal"));
    // A folder of that name is refused too.
    if (!exists) {
        QVERIFY(QDir().mkdir(path));
        Archive a(path);
        QVERIFY(!a.open());
    }
}

void TestArchive::writesConvertTextsAndStoreNothingOnRefusal() {
    TestApp app;
    Archive a(app.path("dbpiante.mdb"));
    QVERIFY(a.insertPlant(
        42,
        {{"specie", "Ficus"}, {"prezzo", "12,5"}, {"dataacquisto", "7/3/2026"}, {"note", " "}}));
    auto p = a.plant(42);
    QVERIFY(p);
    QCOMPARE(p->value("specie").toString(), QString("Ficus"));
    QCOMPARE(p->value("prezzo").toDouble(), 12.5);
    QCOMPARE(p->value("dataacquisto").toDate(), QDate(2026, 3, 7));
    QCOMPARE(app.sqlValue("SELECT dataacquisto FROM piante").toString(), QString("2026-03-07"));
    QCOMPARE(p->value("note").toString(), QString(" "));
    QVERIFY(p->value("genere").isNull());

    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    QVERIFY(!a.updatePlant(42, {{"specie", "Other"}, {"prezzo", "abc"}}));
    QVERIFY(a.lastError().contains("abc"));
    QVERIFY(!a.insertPlant(43, {{"dataacquisto", "31/02/2026"}}));
    QVERIFY(!a.updatePlant(99, {{"specie", "nobody"}}));
    QVERIFY(!a.insertPlant(42, {{"specie", "duplicate key"}}));
    QVERIFY(!a.updateEvent(7, {{"intervento", "x"}}));
    QVERIFY(!a.deleteEvent(7));
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    // Quotes and SQL fragments are values, nothing else.
    const QString hostile = "x'); DROP TABLE piante; --";
    QVERIFY(a.updatePlant(42, {{"specie", hostile}}));
    QCOMPARE(a.plant(42)->value("specie").toString(), hostile);
}

void TestArchive::deletingAPlantIsAllOrNothing() {
    TestApp app;
    app.addPlant(1);
    app.addPlant(2);
    for (int i = 0; i < 3; ++i)
        app.addEvent(10 + i, 1, "Rinvaso", "2026-01-01");
    app.addEvent(20, 2, "Rinvaso", "2026-01-01");
    // Make the second half of the deletion fail: nothing at all may go.
    app.sql(
        "CREATE TRIGGER stop BEFORE DELETE ON coltivazione BEGIN SELECT RAISE(ABORT, 'no'); END");
    {
        Archive a(app.path("dbpiante.mdb"));
        QVERIFY(!a.deletePlantWithEvents(1));
    }
    QCOMPARE(app.count("piante"), 2);
    QCOMPARE(app.count("coltivazione"), 4);
    app.sql("DROP TRIGGER stop");
    Archive a(app.path("dbpiante.mdb"));
    QVERIFY(a.deletePlantWithEvents(1));
    QCOMPARE(app.count("piante"), 1);
    QCOMPARE(app.count("coltivazione"), 1);
    QVERIFY(!a.deletePlantWithEvents(1));
}

void TestArchive::readsToleratesRowsOfOtherTools() {
    TestApp app;
    app.addPlant(1, {{"specie", QVariant()}, {"vaso", QVariant()}, {"dataacquisto", "not a date"}});
    app.addEvent(5, 1, "Fioritura", QString());
    Archive a(app.path("dbpiante.mdb"));
    const auto p = a.plant(1);
    QVERIFY(p);
    QVERIFY(p->value("specie").isNull());
    QCOMPARE(p->value("dataacquisto").toString(), QString("not a date"));
    const auto list = a.plantList();
    QVERIFY(list);
    QCOMPARE(list->size(), 1);
    QVERIFY(list->first().flowering);
    QVERIFY(list->first().flowering->datatratt.isNull());
}

void TestArchive::aReadOnlyArchiveIsReadButNeverWritten() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}});
    const QString path = app.path("dbpiante.mdb");
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray before = TestApp::fileHash(path);
    {
        Archive a(path);
        QVERIFY(a.open());
        QCOMPARE(a.plantList()->size(), 1);
        QVERIFY(!a.insertPlant(2, {{"specie", "Acer"}}));
        QVERIFY(!a.lastError().isEmpty());
        QVERIFY(!a.deletePlantWithEvents(1));
    }
    QCOMPARE(TestApp::fileHash(path), before);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

void TestArchive::layoutIsUpgradedOnlyAfterTheDaysCopy_data() {
    QTest::addColumn<int>("stored");         // the archive's layout number before
    QTest::addColumn<bool>("dayCopy");       // today's safety copy exists
    QTest::addColumn<QStringList>("second"); // the statements of the step to layout 2
    QTest::addColumn<int>("after");          // the layout number after; -1: the file unchanged
    QTest::addColumn<QString>("told");       // part of the message; empty: none
    const QStringList good = {"CREATE TABLE prova (x)"};
    QTest::newRow("older, copy made") << 0 << true << good << 2 << "";
    QTest::newRow("one step done already") << 1 << true << good << 2 << "";
    QTest::newRow("current") << 2 << true << good << -1 << "";
    QTest::newRow("older, no copy") << 0 << false << good << -1 << "manca la copia";
    QTest::newRow("a step fails") << 0 << true
                                  << QStringList{"CREATE TABLE prova (x)",
                                                 "CREATE TABLE piante (x)"}
                                  << -1 << "Impossibile aggiornare";
    QTest::newRow("newer") << 7 << true << good << -1 << "più recente";
}

void TestArchive::layoutIsUpgradedOnlyAfterTheDaysCopy() {
    QFETCH(int, stored);
    QFETCH(bool, dayCopy);
    QFETCH(QStringList, second);
    QFETCH(int, after);
    QFETCH(QString, told);
    TestApp app;
    app.addPlant(1, {{"identificazione", "ficus"}});
    app.sql(QString("PRAGMA user_version = %1").arg(stored));
    if (dayCopy)
        QCOMPARE(BackupStore(app.ctx().folder).makeDailyCopy(app.clock.current.date()),
                 BackupStore::Daily::Made);
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    const QList<SchemaUpgrade::Step> steps = {{1, {"CREATE TABLE primo (y)"}}, {2, second}};

    const bool changed = ArchiveStartup(app.ctx()).upgradeLayout(steps);

    QCOMPARE(changed, after >= 0);
    QCOMPARE(app.messages.texts().join(' ').contains(told), true);
    QCOMPARE(app.messages.said.isEmpty(), told.isEmpty());
    QCOMPARE(app.state().archiveReadOnly, !told.isEmpty());
    if (after < 0) {
        QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    } else {
        QCOMPARE(app.sqlValue("PRAGMA user_version").toInt(), after);
        QCOMPARE(app.sqlValue("SELECT count(*) FROM sqlite_master WHERE name = 'prova'").toInt(),
                 1);
        QCOMPARE(app.count("piante"), 1);
    }
}

QTEST_MAIN(TestArchive)
#include "test_archive.moc"
