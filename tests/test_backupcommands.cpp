#include "archive/archive.h"
#include "archive/backupstore.h"
#include "mainwindow/backupcommands.h"
#include "mainwindow/mainwindow.h"
#include "support/asnobody.h"
#include "support/testapp.h"
#include "ui/lists/reportlist.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QtTest>

#include <grp.h>
#include <unistd.h>

namespace {

QStringList fileItems(MainWindow &w) {
    QStringList items;
    for (QAction *a : w.fileMenu->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->objectName() + "=" + a->text());
    return items;
}

} // namespace

class TestBackupCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { closeAllWindows(); }
    void fileMenuOffersRestoreAndExportByKeyboard();
    void dailyCopyIsMadeOnceAndAFailureToldOnce_data();
    void dailyCopyIsMadeOnceAndAFailureToldOnce();
    void restoreAsksThenReplacesTheArchiveAndListsThePlants();
    void exportTellsWhatItWroteAndAsksBeforeReplacing();
};

void TestBackupCommands::fileMenuOffersRestoreAndExportByKeyboard() {
    TestApp app;
    MainWindow &w = app.main();
    QCOMPARE(
        fileItems(w),
        QStringList({"printAction=&Stampa", "labelsAction=Stampa e&tichette...", "-", "restoreAction=&Ripristina copia di sicurezza...",
                     "exportAction=Esporta in &CSV...", "importAction=&Importa da CSV...", "-", "quitAction=&Esci"}));
    QCOMPARE(QKeySequence::mnemonic(w.restoreAction->text()), QKeySequence(Qt::ALT | Qt::Key_R));
    QCOMPARE(QKeySequence::mnemonic(w.exportAction->text()), QKeySequence(Qt::ALT | Qt::Key_C));
    // What a screen reader says for each item of the menu.
    QAccessibleInterface *menu = QAccessible::queryAccessibleInterface(w.fileMenu);
    QVERIFY(menu);
    QStringList spoken;
    for (int i = 0; i < menu->childCount(); ++i)
        spoken << menu->child(i)->text(QAccessible::Name);
    QVERIFY2(spoken.contains("Ripristina copia di sicurezza..."), qPrintable(spoken.join('|')));
    QVERIFY2(spoken.contains("Esporta in CSV..."), qPrintable(spoken.join('|')));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.fileMenu->popup(w.mapToGlobal(QPoint(0, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(w.fileMenu));
    saveShot(w.fileMenu, "menu-file");
    w.fileMenu->close();
}

void TestBackupCommands::dailyCopyIsMadeOnceAndAFailureToldOnce_data() {
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("none") << "";
    QTest::newRow("backup is a file") << "file";
    QTest::newRow("read-only folder") << "read-only";
}

void TestBackupCommands::dailyCopyIsMadeOnceAndAFailureToldOnce() {
    QFETCH(QString, obstacle);
    if (obstacle == "read-only" && ::geteuid() == 0) {
        QString output;
        if (!runAsNobody("dailyCopyIsMadeOnceAndAFailureToldOnce:read-only folder", &output))
            QSKIP(qPrintable(output));
        QVERIFY2(output.contains("PASS   : TestBackupCommands::dailyCopyIsMadeOnceAndAFailure") &&
                     !output.contains("FAIL!"),
                 qPrintable(output));
        return;
    }
    TestApp app;
    app.addPlant(1);
    app.clock.current = QDateTime(QDate(2026, 12, 7), QTime(8, 30));
    const BackupStore store(app.ctx().folder);
    if (obstacle == "file") {
        QFile f(store.dir());
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (obstacle == "read-only") {
        QVERIFY(QFile::setPermissions(app.dir(), QFile::ReadOwner | QFile::ExeOwner));
    }
    app.main();
    BackupCommands::dailyCopy(app.ctx());
    BackupCommands::dailyCopy(app.ctx()); // a second start on the same day
    QFile::setPermissions(app.dir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (obstacle.isEmpty()) {
        QVERIFY(app.messages.said.isEmpty());
        QCOMPARE(store.dailyCopies(QDate(2026, 12, 7)),
                 QStringList{store.dailyPath(QDate(2026, 12, 7))});
        return;
    }
    // Told at each start that could not make it, with the reason, never as success.
    QCOMPARE(app.messages.said.size(), 2);
    const auto &said = app.messages.said.first();
    QVERIFY2(said.text.startsWith("Impossibile creare la copia di sicurezza: ") &&
                 said.text.endsWith(".") && said.text.size() > 44,
             qPrintable(said.text));
    QCOMPARE(said.icon, Messages::Icon::Exclamation);
    QVERIFY(store.dailyCopies(QDate(2026, 12, 7)).isEmpty());
}

void TestBackupCommands::restoreAsksThenReplacesTheArchiveAndListsThePlants() {
    TestApp app;
    for (int i = 1; i <= 3; ++i)
        app.addPlant(i, {{"specie", QStringLiteral("Specie %1").arg(i)}});
    app.addEvent(10, 1, "Annaffiatura", "2026-12-01");
    BackupStore store(app.ctx().folder);
    QCOMPARE(store.makeDailyCopy(QDate(2026, 12, 5)), BackupStore::Daily::Made);
    app.sql("DELETE FROM piante WHERE id > 1");
    MainWindow &w = app.main();
    app.state().idpianta = 1;
    w.showAllPlants(); // the plant's row highlighted, as a click leaves it
    QVERIFY(triggerAction(&w, "popupShowEventsAction"));
    QCOMPARE(app.state().listMode, ListMode::Events);
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));

    app.files.next = store.dailyPath(QDate(2026, 12, 5));
    app.messages.answerNext(false);
    QVERIFY(triggerAction(&w, "restoreAction"));
    QCOMPARE(app.files.lastDir, store.dir());
    QVERIFY(app.files.lastFilter.startsWith("Archivi (*.mdb)"));
    QCOMPARE(app.messages.texts(),
             QStringList{"Sostituire l'archivio attuale con la copia del 05/12/2026?\n"
                         "L'archivio attuale sarà conservato tra le copie di sicurezza."});
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);

    app.messages.answerNext(true);
    QVERIFY(triggerAction(&w, "restoreAction"));
    QCOMPARE(app.count("piante"), 3);
    QCOMPARE(app.state().listMode, ListMode::Plants);
    QCOMPARE(w.listView->list()->rowCount(), 3);
    QCOMPARE(w.headingLabel->text(), QString("Piante in archivio: 3"));
    // The archive as it was is among the copies.
    const QStringList kept = QDir(store.dir()).entryList({"dbpiante-2026-12-07-*.mdb"});
    QCOMPARE(kept.size(), 1);
    Archive old(QDir(store.dir()).filePath(kept.first()));
    QCOMPARE(old.plantList().value_or(QList<PlantListRow>()).size(), 1);
    QCOMPARE(app.messages.said.size(), 2); // the two questions, nothing else
}

void TestBackupCommands::exportTellsWhatItWroteAndAsksBeforeReplacing() {
    TestApp app;
    app.addPlant(1, {{"specie", "Rosa"}});
    app.addPlant(2, {{"specie", "Ficus"}});
    for (int i = 1; i <= 3; ++i)
        app.addEvent(10 + i, 1, "Annaffiatura", "2026-12-01");
    MainWindow &w = app.main();
    QTemporaryDir out;
    app.files.nextFolder = out.path();
    QVERIFY(triggerAction(&w, "exportAction"));
    QCOMPARE(app.messages.texts(),
             QStringList{QStringLiteral("Esportate 2 piante e 3 trattamenti in %1.")
                             .arg(QDir::toNativeSeparators(out.path()))});
    QCOMPARE(app.messages.said.first().icon, Messages::Icon::None);
    const QString plants = QDir(out.path()).filePath("piante.csv");
    QVERIFY(QFileInfo::exists(QDir(out.path()).filePath("trattamenti.csv")));

    // A second export into the same folder asks first; No leaves the files alone.
    app.addPlant(3);
    const QByteArray first = TestApp::fileHash(plants);
    app.messages.clear();
    app.messages.answerNext(false);
    QVERIFY(triggerAction(&w, "exportAction"));
    QCOMPARE(app.messages.texts(),
             QStringList{QStringLiteral("Sostituire i file già presenti in %1?\n"
                                        "piante.csv\ntrattamenti.csv\npromemoria.csv\nfoto.csv")
                             .arg(QDir::toNativeSeparators(out.path()))});
    QCOMPARE(TestApp::fileHash(plants), first);
    app.messages.clear();
    app.messages.answerNext(true);
    QVERIFY(triggerAction(&w, "exportAction"));
    QVERIFY(app.messages.texts().last().startsWith("Esportate 3 piante e 3 trattamenti"));
    QVERIFY(TestApp::fileHash(plants) != first);
}

QTEST_MAIN(TestBackupCommands)
#include "test_backupcommands.moc"
