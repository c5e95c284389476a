#include "mainwindow/mainwindow.h"
#include "support/testapp.h"
#include "ui/widgets/decorpanel.h"
#include "ui/widgets/framefit.h"
#include "ui/widgets/picturebox.h"
#include "ui/widgets/picturebutton.h"
#include "ui/lists/reportlist.h"
#include "ui/widgets/twips.h"

#include <QComboBox>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QtTest>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { closeAllWindows(); }
    void startupOnAnEmptyArchiveShowsColumnsAndThePlaceholder();
    void startupWithoutAUsableArchiveShowsAnEmptyListAndTouchesNothing_data();
    void startupWithoutAUsableArchiveShowsAnEmptyListAndTouchesNothing();
    void startupWithoutPlaceholderLeavesTheFrameBlank();
    void menusHaveTheirNamesAndCaptions();
    void popupMenusNeverAppearInTheBar();
    void controlsSitAtTheirDesignPositions();
    void everyControlHasAnAccessibleName();
    void frameFitFollowsThePictureOrientation_data();
    void frameFitFollowsThePictureOrientation();
    void resizingMovesTheListAndTheStrips();
    void quitEndsTheProgram();
};

void TestMainWindow::startupOnAnEmptyArchiveShowsColumnsAndThePlaceholder() {
    TestApp app;
    MainWindow &w = app.main();
    QCOMPARE(w.windowTitle(), QString("Silvaro - Gestione e cura piante - versione 1.0"));
    QCOMPARE(app.state().listMode, ListMode::Plants);
    const auto &columns = w.listView->list()->columns();
    QCOMPARE(columns.size(), 8);
    QStringList headers;
    for (const auto &c : columns)
        headers << c.header;
    QCOMPARE(headers, QStringList({"", "Specie", "Identificazione", "Annaffiatura/concime",
                                   "Fioritura", "Vaso", "Ultimo intervento/Evento", ""}));
    QVERIFY(w.listView->isColumnHidden(0));
    QVERIFY(w.listView->isColumnHidden(7));
    QCOMPARE(w.listView->list()->rowCount(), 0);
    QCOMPARE(w.headingLabel->text(), QString());
    QCOMPARE(app.state().selectedRow, 1);
    QVERIFY(!w.pictureFrame->isBlank());
    QVERIFY(!w.listView->tracking());
    QVERIFY(app.messages.said.isEmpty());
    // Moving the mouse over the list switches pointer tracking on.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseMove(w.listView->viewport(), QPoint(5, 5));
    QTest::mouseMove(w.listView->viewport(), QPoint(10, 10));
    QTRY_VERIFY(w.listView->tracking());
}

void TestMainWindow::startupWithoutAUsableArchiveShowsAnEmptyListAndTouchesNothing_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("0 bytes") << QByteArray() << true;
    QTest::newRow("random bytes") << QByteArray(4096, '\x5a') << true;
    QByteArray jet(4096, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    QTest::newRow("jet file") << jet << true;
}

void TestMainWindow::startupWithoutAUsableArchiveShowsAnEmptyListAndTouchesNothing() {
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
    MainWindow &w = app.main();
    QCOMPARE(w.listView->list()->columnCount(), 0);
    QCOMPARE(w.listView->list()->rowCount(), 0);
    QVERIFY(!w.pictureFrame->isBlank()); // the placeholder still shows
    // Told once: an Access file is offered for conversion (answered No), anything else is
    // reported as an archive that cannot be opened.
    QCOMPARE(app.messages.said.size(), 1);
    if (QTest::currentDataTag() == QByteArray("jet file"))
        QVERIFY(app.messages.said.first().question);
    else
        QVERIFY2(app.messages.said.first().text.startsWith(
                     "Impossibile aprire l'archivio dbpiante.mdb: "),
                 qPrintable(app.messages.said.first().text));
    app.messages.clear();
    // Commands that need the archive do nothing harmful either.
    w.searchFieldCombo->setCurrentIndex(0);
    w.searchEdit->setText("a");
    QCOMPARE(w.listView->list()->columnCount(), 0);
    QCOMPARE(QFile::exists(path), exists);
    QCOMPARE(TestApp::fileHash(path), before);
    QVERIFY(!QFile::exists(path + "-journal"));
}

void TestMainWindow::startupWithoutPlaceholderLeavesTheFrameBlank() {
    TestApp app;
    QFile::remove(app.path("img/nd.jpg"));
    QFile f(app.path("img/nd.jpg"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();
    MainWindow &w = app.main();
    QVERIFY(w.pictureFrame->isBlank());
    QCOMPARE(w.listView->list()->columnCount(), 8);
}

void TestMainWindow::menusHaveTheirNamesAndCaptions() {
    TestApp app;
    MainWindow &w = app.main();
    // Captions as shown (the "&" only underlines the next letter), and within each menu a
    // mnemonic of its own for every entry.
    const auto shown = [](const QString &caption) { return QString(caption).remove('&'); };
    const auto mnemonicsDistinct = [](const QList<QAction *> &actions) {
        QSet<QKeySequence> seen;
        for (QAction *a : actions) {
            if (a->isSeparator())
                continue;
            const QKeySequence k = QKeySequence::mnemonic(a->text());
            if (k.isEmpty() || seen.contains(k))
                return false;
            seen.insert(k);
        }
        return true;
    };
    QStringList bar;
    for (QAction *a : w.menuBar()->actions())
        bar << shown(a->text());
    QCOMPARE(bar, QStringList({"File", "Gestione Piante", "About"}));
    QVERIFY(mnemonicsDistinct(w.menuBar()->actions()));
    for (QMenu *m : {w.fileMenu, w.plantsMenu, w.plantPopup, w.eventPopup})
        QVERIFY2(mnemonicsDistinct(m->actions()), qPrintable(m->objectName()));
    auto items = [&shown](QMenu *m) {
        QStringList names;
        for (QAction *a : m->actions())
            names << a->objectName() + "=" + shown(a->text());
        return names;
    };
    QCOMPARE(w.fileMenu->objectName(), QString("fileMenu"));
    QCOMPARE(
        items(w.fileMenu),
        QStringList({"printAction=Stampa", "labelsAction=Stampa etichette...", "=", "restoreAction=Ripristina copia di sicurezza...",
                     "exportAction=Esporta in CSV...", "importAction=Importa da CSV...", "=", "quitAction=Esci"}));
    QCOMPARE(w.plantsMenu->objectName(), QString("plantsMenu"));
    QCOMPARE(items(w.plantsMenu),
             QStringList({"showCardAction=Visualizza scheda", "newCardAction=Nuova scheda",
                          "editCardAction=Modifica scheda", "newEventAction=Scheda Trattamenti",
                          "dueCareAction=Cure in scadenza..."}));
    QCOMPARE(items(w.plantPopup),
             QStringList({"popupShowCardAction=Visualizza scheda",
                          "popupNewEventAction=Scheda trattamenti",
                          "popupEditCardAction=Modifica scheda", "deletePlantAction=Cancella",
                          "popupShowEventsAction=Visualizza trattamenti",
                          "photoHistoryAction=Storia fotografica"}));
    QCOMPARE(items(w.eventPopup), QStringList({"editEventAction=Modifica scheda trattamento",
                                               "deleteEventAction=Cancella",
                                               "popupShowPlantsAction=Visualizza elenco Piante"}));
    QCOMPARE(w.plantPopup->title(), QString("men"));
    QCOMPARE(w.eventPopup->title(), QString("men1"));
    QVERIFY(findAction(&w, "aboutAction"));
}

void TestMainWindow::popupMenusNeverAppearInTheBar() {
    TestApp app;
    MainWindow &w = app.main();
    for (QAction *a : w.menuBar()->actions()) {
        QVERIFY(a->menu() != w.plantPopup);
        QVERIFY(a->menu() != w.eventPopup);
    }
    // Their items still work like their twins: the pop-up's "Visualizza trattamenti" asks
    // for a plant, as the button does.
    w.popupShowEventsAction->trigger();
    w.showEventsButton->click();
    QCOMPARE(app.messages.texts(),
             QStringList({"Seleziona una pianta dall'elenco", "Seleziona una pianta dall'elenco"}));
    QCOMPARE(app.messages.said.first().icon, Messages::Icon::Exclamation);
}

void TestMainWindow::controlsSitAtTheirDesignPositions() {
    TestApp app;
    MainWindow &w = app.main();
    QCOMPARE(w.pictureFrame->geometry(), Twips::rect(90, 450, 2895, 3045));
    QCOMPARE(w.searchPanel->geometry(), Twips::rect(60, 3570, 2925, 975));
    QCOMPARE(w.searchFieldCombo->geometry(), Twips::rect(720, 90, 2085, 315));
    QCOMPARE(w.searchEdit->geometry(), Twips::rect(60, 480, 2745, 345));
    QCOMPARE(w.showEventsButton->geometry(), Twips::rect(90, 4650, 2775, 495));
    QCOMPARE(w.showPlantsButton->geometry(), Twips::rect(90, 5190, 2775, 495));
    QCOMPARE(w.newEventButton->geometry(), Twips::rect(90, 5730, 2775, 495));
    QCOMPARE(w.listView->pos(), Twips::rect(120, 510, 1, 1).topLeft());
    QCOMPARE(w.sidePanel->width(), Twips::px(3105));
    QCOMPARE(w.mainArea->x(), Twips::px(3105));
    QCOMPARE(w.searchLabel->text(), QString("Cerca"));
    QCOMPARE(w.pictureCaption->text(), QString("Immagine"));
    QCOMPARE(w.bannerTitle->text(), QString("Silvaro"));
    QCOMPARE(w.bannerVersion->text(), QString("ver 1.0"));
    QCOMPARE(w.searchFieldCombo->count(), 2);
    QCOMPARE(w.searchFieldCombo->itemText(0), QString("Specie"));
    QCOMPARE(w.searchFieldCombo->itemText(1), QString("Identificazione"));
    QCOMPARE(w.searchFieldCombo->currentIndex(), -1);
    QVERIFY(!w.searchFieldCombo->isEditable());
    QVERIFY(w.hiddenList->isHidden());
    QCOMPARE(w.showEventsButton->text(), QString()); // picture buttons carry no caption
}

void TestMainWindow::everyControlHasAnAccessibleName() {
    TestApp app;
    MainWindow &w = app.main();
    for (QWidget *c : std::initializer_list<QWidget *>{
             w.searchFieldCombo, w.searchEdit, w.showPlantsButton, w.newEventButton,
             w.showEventsButton, w.listView, w.pictureFrame})
        QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
    QCOMPARE(w.showEventsButton->accessibleName(), QString("Visualizza trattamenti"));
    QCOMPARE(w.showPlantsButton->accessibleName(), QString("Visualizza elenco piante"));
    QCOMPARE(w.newEventButton->accessibleName(), QString("Scheda trattamenti"));
}

void TestMainWindow::frameFitFollowsThePictureOrientation_data() {
    QTest::addColumn<QSizeF>("picture");
    QTest::addColumn<QSizeF>("painted");
    QTest::newRow("landscape") << QSizeF(6000, 4000) << QSizeF(2895, 1930);
    QTest::newRow("portrait") << QSizeF(4000, 6000) << QSizeF(2030, 3045);
    QTest::newRow("fits") << QSizeF(1500, 1000) << QSizeF(1500, 1000);
    QTest::newRow("square") << QSizeF(4000, 4000) << QSizeF(3045, 3045);
    QTest::newRow("wide but low") << QSizeF(3000, 100) << QSizeF(2895, 96.5);
    // Height overflows but the picture is landscape: scaled to the width, still too high.
    QTest::newRow("landscape, too high") << QSizeF(3200, 3100) << QSizeF(2895, 2804.5);
}

void TestMainWindow::frameFitFollowsThePictureOrientation() {
    QFETCH(QSizeF, picture);
    QFETCH(QSizeF, painted);
    const QSizeF got = FrameFit::paintedSize(picture, QSizeF(2895, 3045));
    QVERIFY2(qAbs(got.width() - painted.width()) < 1.0, qPrintable(QString::number(got.width())));
    QVERIFY2(qAbs(got.height() - painted.height()) < 1.0,
             qPrintable(QString::number(got.height())));
}

void TestMainWindow::resizingMovesTheListAndTheStrips() {
    TestApp app;
    MainWindow &w = app.main();
    w.show();
    w.resize(Twips::px(12000), Twips::px(8000));
    QTRY_COMPARE(w.listView->width(), w.width() - Twips::px(3500));
    QCOMPARE(w.headingStrip->width(), w.width());
    QCOMPARE(w.banner->width(), w.width());
    const int listWidth = w.listView->width();
    // Narrower than 3500 twips: the list keeps its last width.
    w.setMinimumSize(0, 0);
    w.resize(Twips::px(3000), Twips::px(8000));
    QTRY_COMPARE(w.width(), Twips::px(3000));
    QCOMPARE(w.listView->width(), listWidth);
    QCOMPARE(w.headingStrip->width(), w.width());
}

void TestMainWindow::quitEndsTheProgram() {
    TestApp app;
    MainWindow &w = app.main();
    w.show();
    QTRY_VERIFY(w.isVisible());
    QVERIFY(triggerAction(&w, "quitAction"));
    QTRY_VERIFY(!w.isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
