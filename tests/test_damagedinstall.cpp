// The program started on a damaged installation: the archive missing, empty, foreign,
// read-only or a folder; the picture folder or the placeholder missing; the list of
// treatment types missing, empty or written by an old editor; the application folder
// read-only. Startup, a row click, a save and the card view must not crash, must not create
// or change a file behind the user's back, and must behave as the program does elsewhere.

#include "careevent/careeventdialog.h"
#include "mainwindow/mainwindow.h"
#include "plantcard/plantcarddialog.h"
#include "printing/cardviewdialog.h"
#include "printing/richtextbox.h"
#include "support/asnobody.h"
#include "support/testapp.h"
#include "ui/widgets/picturebox.h"
#include "ui/widgets/picturebutton.h"
#include "ui/lists/reportlist.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

#include <grp.h>
#include <unistd.h>

namespace {

const QString cardSaved = QStringLiteral("Scheda inserita correttamente");
const QString cardError = QStringLiteral("Errore controllare i dati immessi");
const QString eventSaved = QStringLiteral("Trattamento inserito correttamente");
const QString eventError = QStringLiteral("Controllare i dati inseriti");
const QString selectPlant = QStringLiteral("Seleziona una pianta dall'elenco");
const QString selectPlantToView = QStringLiteral("Seleziona una pianta dalla lista");
const qint64 clockKey = 712202636000; // the key the test clock makes
const qint64 plantKey = 1;
const qint64 eventKey = 2;
const QSize plantPicture(60, 40);

// An installation with one plant, its picture and one care event.
void install(TestApp &app) {
    app.addPlant(plantKey, {{"famiglia", "Moraceae"},
                            {"specie", "benjamina"},
                            {"identificazione", "Ficus del salotto"},
                            {"dataacquisto", "2020-05-01"},
                            {"img", "ficus.jpg"}});
    app.makePicture("img/1/ficus.jpg", plantPicture.width(), plantPicture.height());
    app.addEvent(eventKey, plantKey, "Rinvaso", "2026-03-07", {{"descrizione", "vaso nuovo"}});
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// A bitmap header that claims 20,000 x 20,000 pixels, with almost no pixels after it.
QByteArray hugeBmp() {
    const QByteArray info = le32(40) + le32(20000) + le32(20000) +
                            QByteArray("\x01\x00\x18\x00", 4) + le32(0) + le32(0) + le32(2835) +
                            le32(2835) + le32(0) + le32(0);
    return QByteArray("BM") + le32(14 + 40 + 16) + le32(0) + le32(14 + 40) + info +
           QByteArray(16, '\x40');
}

// Types as an old Windows editor writes them: Windows-1252, CR LF.
const QByteArray types1252 =
    "Malattia\r\nRinvaso\r\nTrattamento rameico \x96 caff\xe8\r\nAltro....\r\n";
const QString decoded1252 = QString::fromUtf8("Trattamento rameico – caffè");

// A byte order mark, an empty line, a NUL, a very long line, no line end at the end.
const char oddHead[] = "\xef\xbb\xbfMalattia\r\n\r\ncon\0NUL\n";
const QByteArray oddTypes =
    QByteArray(oddHead, sizeof oddHead - 1) + QByteArray(10000, 'x') + "\nAltro....";
const QString nulType = QStringLiteral("con") + QChar(0) + QStringLiteral("NUL");

void damage(TestApp &app, const QString &how) {
    const QString archive = app.path("dbpiante.mdb");
    if (how == "archive missing") {
        QFile::remove(archive);
    } else if (how == "archive 0 bytes") {
        writeFile(archive, {});
    } else if (how == "archive random bytes") {
        QByteArray bytes(8192, '\0');
        QRandomGenerator random(1726);
        for (char &c : bytes)
            c = static_cast<char>(random.bounded(256));
        writeFile(archive, bytes);
    } else if (how == "archive with a Jet header") {
        QByteArray jet(4096, '\0');
        jet.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20));
        writeFile(archive, jet);
    } else if (how == "archive of another program") {
        app.sql("DROP TABLE coltivazione");
        app.sql("DROP TABLE piante");
        app.sql("CREATE TABLE clienti (codice INTEGER, nome TEXT)");
    } else if (how == "archive cut in half") {
        // Enough plants to fill many pages, then the second half of the file is lost.
        app.sql("WITH RECURSIVE n(i) AS (SELECT 10 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                "INSERT INTO piante (id, specie, note, img) "
                "SELECT i, 'specie ' || i, hex(randomblob(300)), 'nd.jpg' FROM n");
        QFile f(archive);
        if (!f.resize(f.size() / 2))
            qFatal("cannot cut the archive");
    } else if (how == "archive read-only") {
        QFile::setPermissions(archive, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    } else if (how == "archive is a folder") {
        QFile::remove(archive);
        QDir().mkdir(archive);
    } else if (how == "img missing") {
        QDir(app.path("img")).removeRecursively();
    } else if (how == "img is a file") {
        QDir(app.path("img")).removeRecursively();
        writeFile(app.path("img"), "img\n");
    } else if (how == "nd.jpg missing") {
        QFile::remove(app.path("img/nd.jpg"));
    } else if (how == "nd.jpg not a picture") {
        writeFile(app.path("img/nd.jpg"), "nd.jpg\n");
    } else if (how == "nd.jpg 20000x20000") {
        writeFile(app.path("img/nd.jpg"), hugeBmp());
    } else if (how == "trattamenti.txt missing") {
        QFile::remove(app.path("trattamenti.txt"));
    } else if (how == "trattamenti.txt empty") {
        writeFile(app.path("trattamenti.txt"), {});
    } else if (how == "trattamenti.txt in Windows-1252") {
        writeFile(app.path("trattamenti.txt"), types1252);
    } else if (how == "trattamenti.txt with odd lines") {
        writeFile(app.path("trattamenti.txt"), oddTypes);
    } else if (how == "trattamenti.txt is a folder") {
        QFile::remove(app.path("trattamenti.txt"));
        QDir().mkdir(app.path("trattamenti.txt"));
    } else {
        qFatal("no such damage: %s", qPrintable(how));
    }
}

const QStringList archiveUnusable = {"archive missing",      "archive 0 bytes",
                                     "archive random bytes", "archive with a Jet header",
                                     "archive is a folder",  "archive of another program",
                                     "archive cut in half"};

// What the startup tells of each damage.
QStringList startupSays(const QString &how) {
    const QString cannot = QStringLiteral("Impossibile aprire l'archivio dbpiante.mdb: %1.\n"
                                          "Il file non è stato modificato.");
    const QMap<QString, QString> said = {
        {"archive missing", cannot.arg("il file non c'è")},
        {"archive 0 bytes", cannot.arg("il file non è un archivio di Silvaro")},
        {"archive random bytes", cannot.arg("il file non è un archivio di Silvaro")},
        {"archive is a folder", cannot.arg("non è un file")},
        {"archive of another program", cannot.arg("no such table: piante")},
        {"archive cut in half", cannot.arg("database disk image is malformed")},
        {"archive with a Jet header",
         "L'archivio dbpiante.mdb è in formato Access.\nConvertirlo ora nel formato di Silvaro? "
         "Il file originale sarà conservato come dbpiante-access.mdb."}};
    return said.contains(how) ? QStringList{said.value(how)} : QStringList();
}

// Every file and folder under the application folder, with the hash of each file.
using Snapshot = QMap<QString, QByteArray>;

Snapshot snapshot(const QString &root) {
    Snapshot s;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        s.insert(relative, it.fileInfo().isDir() ? QByteArray("folder") : TestApp::fileHash(path));
    }
    return s;
}

// What changed between two snapshots: "+path" created, "-path" removed, "~path" changed.
QStringList changes(const Snapshot &before, const Snapshot &after) {
    QStringList c;
    for (auto it = after.begin(); it != after.end(); ++it) {
        if (!before.contains(it.key()))
            c << "+" + it.key();
        else if (before.value(it.key()) != it.value())
            c << "~" + it.key();
    }
    for (auto it = before.begin(); it != before.end(); ++it)
        if (!after.contains(it.key()))
            c << "-" + it.key();
    c.sort();
    return c;
}

MainWindow &start(TestApp &app) {
    MainWindow &w = app.main();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        qWarning("the main window did not show");
    return w;
}

void clickRow(MainWindow &w, int position) {
    const QModelIndex idx = w.listView->list()->index(position - 1, 1);
    QTest::mouseClick(w.listView->viewport(), Qt::LeftButton, {},
                      w.listView->visualRect(idx).center());
}

// Clicks the first row, or where a row would be when the list is empty.
void clickFirstRow(MainWindow &w) {
    if (w.listView->list()->rowCount() > 0)
        clickRow(w, 1);
    else
        QTest::mouseClick(w.listView->viewport(), Qt::LeftButton, {}, QPoint(40, 30));
}

// What the main window's picture frame shows: "plant", "placeholder" or "blank".
QString frame(MainWindow &w) {
    static const QSize placeholder = QImage(QStringLiteral(SILVARO_RESOURCES "/nd.jpg")).size();
    if (w.pictureFrame->isBlank())
        return QStringLiteral("blank");
    if (w.heldPicture.size() == plantPicture)
        return QStringLiteral("plant");
    if (w.heldPicture.size() == placeholder)
        return QStringLiteral("placeholder");
    return QStringLiteral("a picture of %1x%2")
        .arg(w.heldPicture.width())
        .arg(w.heldPicture.height());
}

QStringList items(const QComboBox *combo) {
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}

bool closeWindow(QDialog *w) {
    QPointer<QDialog> alive(w);
    w->close();
    return QTest::qWaitFor([&] { return alive.isNull(); });
}

// Gives the user back the right to write, whatever the test did, so the folder can go.
struct WritableAgain {
    QString root;
    ~WritableAgain() {
        QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QFile::setPermissions(
                p, QFile::ReadOwner | QFile::WriteOwner |
                       (it.fileInfo().isDir() ? QFile::ExeOwner : QFile::Permissions()));
        }
    }
};

} // namespace

class TestDamagedInstall : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { closeAllWindows(); }

    void startupAndRowClickShowWhatCanBeShown_data();
    void startupAndRowClickShowWhatCanBeShown();
    void savingACardWritesOnlyWhatItSays_data();
    void savingACardWritesOnlyWhatItSays();
    void savingAnEventWritesOnlyWhatItSays_data();
    void savingAnEventWritesOnlyWhatItSays();
    void cardViewComposesOrRefuses_data();
    void cardViewComposesOrRefuses();
    void readOnlyApplicationFolder_data();
    void readOnlyApplicationFolder();
};

// ----- startup and a row click -----

void TestDamagedInstall::startupAndRowClickShowWhatCanBeShown_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("started"); // what the picture frame shows after startup
    QTest::addColumn<QString>("clicked"); // and after a click on the first row

    for (const QString &how : archiveUnusable)
        QTest::newRow(qPrintable(how)) << how << 0 << "placeholder"
                                       << "placeholder";
    QTest::newRow("archive read-only") << "archive read-only" << 1 << "placeholder"
                                       << "plant";
    for (const char *how : {"img missing", "img is a file"})
        QTest::newRow(how) << how << 1 << "blank"
                           << "blank";
    for (const char *how : {"nd.jpg missing", "nd.jpg not a picture", "nd.jpg 20000x20000"})
        QTest::newRow(how) << how << 1 << "blank"
                           << "plant";
    for (const char *how :
         {"trattamenti.txt missing", "trattamenti.txt empty", "trattamenti.txt in Windows-1252",
          "trattamenti.txt is a folder", "trattamenti.txt with odd lines"})
        QTest::newRow(how) << how << 1 << "placeholder"
                           << "plant";
}

void TestDamagedInstall::startupAndRowClickShowWhatCanBeShown() {
    QFETCH(QString, how);
    QFETCH(int, rows);
    QFETCH(QString, started);
    QFETCH(QString, clicked);
    TestApp app;
    install(app);
    damage(app, how);
    const Snapshot before = snapshot(app.dir());

    MainWindow &w = start(app);

    // An archive that cannot be used is reported once; an Access file is offered for
    // conversion (the test answers No).
    QCOMPARE(app.messages.texts(), startupSays(how));
    app.messages.clear();
    QCOMPARE(w.listView->list()->rowCount(), rows);
    // Without an archive the list stays as it was: no columns at all.
    QCOMPARE(w.listView->list()->columnCount(), rows ? 8 : 0);
    QCOMPARE(w.headingLabel->text(), rows ? QStringLiteral("Piante in archivio: 1") : QString());
    QCOMPARE(frame(w), started);
    QCOMPARE(app.state().listMode, ListMode::Plants);

    clickFirstRow(w);

    QCOMPARE(app.state().idpianta, rows ? double(plantKey) : 0.0);
    QCOMPARE(frame(w), clicked);
    QVERIFY2(app.messages.said.isEmpty(), qPrintable(app.messages.texts().join('|')));
    QCOMPARE(changes(before, snapshot(app.dir())), QStringList());
}

// ----- saving a card -----

void TestDamagedInstall::savingACardWritesOnlyWhatItSays_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("change");     // change the stored card, else enter a new one
    QTest::addColumn<QString>("message"); // what the save says; "…" ends a message with a reason
    QTest::addColumn<QStringList>("changed");

    const QString folder = "+img/" + QString::number(clockKey);
    const QStringList inserted = {folder, "~dbpiante.mdb"};
    for (const QString &how : archiveUnusable)
        QTest::addRow("%s, new card", qPrintable(how))
            << how << false << cardError << QStringList();
    // A refused insert leaves the plant's folder it had made, as the save's own failure
    // path does whenever the archive refuses the card.
    QTest::newRow("archive read-only, new card")
        << "archive read-only" << false << cardError << QStringList{folder};
    QTest::newRow("archive read-only, change")
        << "archive read-only" << true << cardError + " …" << QStringList();
    // Without the picture folder a new card cannot have its own folder, so it is not stored.
    for (const char *how : {"img missing", "img is a file"}) {
        QTest::addRow("%s, new card", how) << how << false << cardError << QStringList();
        QTest::addRow("%s, change", how)
            << how << true << cardSaved << QStringList{"~dbpiante.mdb"};
    }
    for (const char *how : {"nd.jpg missing", "nd.jpg not a picture", "trattamenti.txt missing",
                            "trattamenti.txt in Windows-1252"}) {
        QTest::addRow("%s, new card", how) << how << false << cardSaved << inserted;
        QTest::addRow("%s, change", how)
            << how << true << cardSaved << QStringList{"~dbpiante.mdb"};
    }
}

void TestDamagedInstall::savingACardWritesOnlyWhatItSays() {
    QFETCH(QString, how);
    QFETCH(bool, change);
    QFETCH(QString, message);
    QFETCH(QStringList, changed);
    TestApp app;
    install(app);
    damage(app, how);
    const Snapshot before = snapshot(app.dir());
    MainWindow &main = start(app);
    app.messages.clear(); // what the startup says is checked on its own
    if (change) {
        clickRow(main, 1);
        QVERIFY(triggerAction(&main, "editCardAction"));
    } else {
        QVERIFY(triggerAction(&main, "newCardAction"));
    }
    auto *w = qobject_cast<PlantCardDialog *>(app.modal.last());
    QVERIFY(w);
    if (change)
        QCOMPARE(w->lineEdit("identificazione")->text(), QStringLiteral("Ficus del salotto"));
    QTest::keyClicks(w->lineEdit("specie"), " nuova");

    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.said.size(), 1);
    const QString said = app.messages.said.first().text;
    if (message.endsWith(" …"))
        QVERIFY2(said.startsWith(message.chopped(1)) && said.size() > message.size(),
                 qPrintable(said));
    else
        QCOMPARE(said, message);
    QCOMPARE(changes(before, snapshot(app.dir())), changed);
    if (message == cardSaved) {
        const qint64 key = change ? plantKey : clockKey;
        QCOMPARE(app.sqlValue("SELECT specie FROM piante WHERE id = ?", {key}).toString(),
                 change ? QStringLiteral("benjamina nuova") : QStringLiteral(" nuova"));
    } else {
        QVERIFY(w->isVisible());
    }
}

// ----- saving a care event -----

void TestDamagedInstall::savingAnEventWritesOnlyWhatItSays_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("types"); // the type list the window offers
    QTest::addColumn<QString>("type");      // picked from the list, or typed when not in it
    QTest::addColumn<QString>("message");   // what "OK" says; empty: the window never opens
    QTest::addColumn<QStringList>("changed");

    const QStringList fixed = {"Annaffiatura", "Concimazione", "Fioritura"};
    QStringList installed = fixed;
    for (const char *t : {"Malattia", "Fungicida", "Antiparassitario", "Rinvaso", "Potatura",
                          "Defogliazione", "Cimatura", "Taglio radici", "Altro...."})
        installed << t;
    const QStringList written = {"~dbpiante.mdb"};

    for (const QString &how : archiveUnusable)
        QTest::newRow(qPrintable(how))
            << how << QStringList() << "" << selectPlant << QStringList();
    QTest::newRow("archive read-only")
        << "archive read-only" << installed << "Annaffiatura" << eventError << QStringList();
    QTest::newRow("img missing") << "img missing" << installed << "Annaffiatura" << eventSaved
                                 << written;
    QTest::newRow("nd.jpg missing")
        << "nd.jpg missing" << installed << "Concimazione" << eventSaved << written;
    // Without the list the window cannot load the plant either, so it has no plant to record
    // the event for: the save is refused and nothing is written.
    QTest::newRow("trattamenti.txt missing") << "trattamenti.txt missing" << QStringList()
                                             << "Annaffiatura" << eventError << QStringList();
    QTest::newRow("trattamenti.txt is a folder") << "trattamenti.txt is a folder" << QStringList()
                                                 << "Annaffiatura" << eventError << QStringList();
    QTest::newRow("trattamenti.txt empty")
        << "trattamenti.txt empty" << fixed << "Fioritura" << eventSaved << written;
    QTest::newRow("trattamenti.txt in Windows-1252")
        << "trattamenti.txt in Windows-1252"
        << fixed + QStringList{"Malattia", "Rinvaso", decoded1252, "Altro...."} << decoded1252
        << eventSaved << written;
    QTest::newRow("trattamenti.txt with odd lines")
        << "trattamenti.txt with odd lines"
        << fixed + QStringList{"Malattia", "", nulType, QString(10000, 'x'), "Altro...."} << nulType
        << eventSaved << written;
}

void TestDamagedInstall::savingAnEventWritesOnlyWhatItSays() {
    QFETCH(QString, how);
    QFETCH(QStringList, types);
    QFETCH(QString, type);
    QFETCH(QString, message);
    QFETCH(QStringList, changed);
    TestApp app;
    install(app);
    damage(app, how);
    const Snapshot before = snapshot(app.dir());
    MainWindow &main = start(app);
    app.messages.clear(); // what the startup says is checked on its own
    clickFirstRow(main);
    const int opened = app.modal.opened.size();

    QTest::mouseClick(main.newEventButton, Qt::LeftButton); // "Scheda trattamenti"

    if (message == selectPlant) {
        QCOMPARE(app.messages.texts(), QStringList{selectPlant});
        QCOMPARE(app.modal.opened.size(), opened);
        QCOMPARE(changes(before, snapshot(app.dir())), QStringList());
        return;
    }
    auto *w = qobject_cast<CareEventDialog *>(app.modal.last());
    QVERIFY(w);
    QCOMPARE(items(w->typeCombo), types);
    const int at = w->typeCombo->findText(type, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at >= 0) {
        w->typeCombo->setCurrentIndex(at);
        emit w->typeCombo->activated(at);
    } else {
        QTest::keyClicks(w->typeCombo->lineEdit(), type);
    }
    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.texts(), QStringList{message});
    QCOMPARE(changes(before, snapshot(app.dir())), changed);
    if (message == eventSaved) {
        QCOMPARE(app.sqlValue("SELECT intervento FROM coltivazione WHERE idtrat = ?", {clockKey}),
                 QVariant(type));
        QCOMPARE(app.sqlValue("SELECT id FROM coltivazione WHERE idtrat = ?", {clockKey}),
                 QVariant(plantKey));
        QCOMPARE(app.state().listMode, ListMode::Events);
    } else {
        QCOMPARE(app.state().listMode, ListMode::Plants);
        QVERIFY(w->isVisible());
    }
}

// ----- the card view -----

void TestDamagedInstall::cardViewComposesOrRefuses_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("composed"); // else "no plant selected", and the window closes

    for (const QString &how : archiveUnusable)
        QTest::newRow(qPrintable(how)) << how << false;
    for (const char *how : {"archive read-only", "img missing", "img is a file", "nd.jpg missing",
                            "nd.jpg not a picture", "nd.jpg 20000x20000", "trattamenti.txt missing",
                            "trattamenti.txt in Windows-1252"})
        QTest::newRow(how) << how << true;
}

void TestDamagedInstall::cardViewComposesOrRefuses() {
    QFETCH(QString, how);
    QFETCH(bool, composed);
    TestApp app;
    install(app);
    damage(app, how);
    const Snapshot before = snapshot(app.dir());
    MainWindow &main = start(app);
    app.messages.clear(); // what the startup says is checked on its own
    clickFirstRow(main);

    QVERIFY(triggerAction(&main, "showCardAction"));
    auto *w = qobject_cast<CardViewDialog *>(app.modal.last());
    QVERIFY(w);
    QPointer<CardViewDialog> alive(w);

    if (!composed) {
        QTRY_VERIFY(!alive);
        QCOMPARE(app.messages.texts(), QStringList{selectPlantToView});
        QCOMPARE(changes(before, snapshot(app.dir())), QStringList());
        return;
    }
    QTRY_VERIFY(alive && w->cardBox->toPlainText().contains(QChar::ObjectReplacementCharacter));
    QVERIFY(w->cardBox->toPlainText().contains("Identificazione :Ficus del salotto\n"));
    QVERIFY(app.messages.said.isEmpty());
    // The picture goes to the card through "$_tmp.BMP", which is what the card view writes.
    QCOMPARE(changes(before, snapshot(app.dir())), QStringList{"+$_tmp.BMP"});
    QVERIFY(closeWindow(w));
}

// ----- a read-only application folder -----

void TestDamagedInstall::readOnlyApplicationFolder_data() {
    QTest::addColumn<bool>("everything"); // every file and folder in it read-only too
    QTest::newRow("folder") << false;
    QTest::newRow("folder and everything in it") << true;
}

// Permissions do not stop the superuser, so as root the case runs again as "nobody".
void TestDamagedInstall::readOnlyApplicationFolder() {
    QFETCH(bool, everything);
    if (::geteuid() == 0) {
        QString output;
        const QString testCase =
            QStringLiteral("readOnlyApplicationFolder:%1").arg(QTest::currentDataTag());
        if (!runAsNobody(testCase, &output))
            QSKIP(qPrintable("a read-only folder cannot be tested as root here: " + output));
        if (output.contains("SKIP   : TestDamagedInstall::readOnlyApplicationFolder"))
            QSKIP(qPrintable(output));
        QVERIFY2(output.contains("PASS   : TestDamagedInstall::readOnlyApplicationFolder") &&
                     !output.contains("FAIL!"),
                 qPrintable(output));
        return;
    }

    TestApp app;
    install(app);
    const WritableAgain guard{app.dir()};
    const QFile::Permissions readOnlyDir =
        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup;
    if (everything) {
        QDirIterator it(app.dir(), QDir::AllEntries | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QFile::setPermissions(p, it.fileInfo().isDir() ? readOnlyDir
                                                           : QFile::ReadOwner | QFile::ReadGroup);
        }
    }
    QFile::setPermissions(app.dir(), readOnlyDir);
    QFile probe(app.path("probe"));
    if (probe.open(QIODevice::WriteOnly))
        QSKIP("this user may write into a read-only folder");
    const Snapshot before = snapshot(app.dir());

    // Startup and a row click read only.
    MainWindow &main = start(app);
    QCOMPARE(main.listView->list()->rowCount(), 1);
    QVERIFY(!main.pictureFrame->isBlank());
    clickRow(main, 1);
    QCOMPARE(main.heldPicture.size(), plantPicture);
    QCOMPARE(changes(before, snapshot(app.dir())), QStringList());

    // The card view cannot write its picture file: it closes at once, without a message.
    QVERIFY(triggerAction(&main, "showCardAction"));
    QPointer<QDialog> view(app.modal.last());
    QVERIFY(view);
    QTRY_VERIFY(!view);
    QVERIFY(app.messages.said.isEmpty());
    QCOMPARE(changes(before, snapshot(app.dir())), QStringList());

    // A new card: the archive cannot write beside itself. When the picture folder can still
    // take the plant's folder, that folder stays, as after any refused insert.
    QVERIFY(triggerAction(&main, "newCardAction"));
    auto *card = qobject_cast<PlantCardDialog *>(app.modal.last());
    QVERIFY(card);
    QTest::keyClicks(card->lineEdit("specie"), "nuova");
    QTest::mouseClick(card->okButton, Qt::LeftButton);
    QCOMPARE(app.messages.texts(), QStringList{cardError});
    QCOMPARE(changes(before, snapshot(app.dir())),
             everything ? QStringList() : QStringList{"+img/" + QString::number(clockKey)});
    QVERIFY(closeWindow(card));
    app.messages.clear();

    // A care event for the plant.
    clickRow(main, 1);
    QTest::mouseClick(main.newEventButton, Qt::LeftButton);
    auto *event = qobject_cast<CareEventDialog *>(app.modal.last());
    QVERIFY(event);
    event->typeCombo->setCurrentIndex(0);
    emit event->typeCombo->activated(0);
    QTest::mouseClick(event->okButton, Qt::LeftButton);
    QCOMPARE(app.messages.texts(), QStringList{eventError});
    QCOMPARE(app.count("coltivazione"), 1);
}

QTEST_MAIN(TestDamagedInstall)
#include "test_damagedinstall.moc"
