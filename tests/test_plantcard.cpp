#include "archive/fieldtable.h"
#include "mainwindow/mainwindow.h"
#include "plantcard/plantcarddialog.h"
#include "support/testapp.h"
#include "ui/widgets/picturebox.h"
#include "ui/lists/reportlist.h"
#include "ui/widgets/tabpanel.h"
#include "ui/widgets/twips.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QtTest>

namespace {

const QString saved = QStringLiteral("Scheda inserita correttamente");
const QString saveError = QStringLiteral("Errore controllare i dati immessi");
const qint64 clockKey = 712202636000; // 7 December 2026, 10:00:00: the test clock's key

// Every typed field's box, and the staged picture's path and name.
QStringList allBoxes() {
    QStringList boxes = {"picturePath", "pictureName"};
    for (const Field &f : FieldTable::plant())
        if (!f.label.isEmpty() && f.column != "img")
            boxes << f.column;
    return boxes;
}

PlantCardDialog *openNewCard(TestApp &app) {
    return openWindow<PlantCardDialog>(app, "newCardAction");
}

PlantCardDialog *openCard(TestApp &app, qint64 id) {
    app.state().idpianta = static_cast<double>(id);
    return openWindow<PlantCardDialog>(app, "editCardAction");
}

QString boxText(PlantCardDialog *w, const QString &name) {
    if (name == "picturePath")
        return w->stagedPicturePath();
    if (name == "pictureName")
        return w->stagedPictureName();
    QWidget *box = w->findChild<QWidget *>(name);
    if (auto *line = qobject_cast<QLineEdit *>(box))
        return line->text();
    if (auto *notes = qobject_cast<QPlainTextEdit *>(box))
        return notes->toPlainText();
    qWarning("no box named %s", qPrintable(name));
    return QStringLiteral("<missing>");
}

void typeInto(PlantCardDialog *w, const QString &name, const QString &text) {
    QWidget *box = w->findChild<QWidget *>(name);
    if (auto *line = qobject_cast<QLineEdit *>(box))
        line->setText(text);
    else if (auto *notes = qobject_cast<QPlainTextEdit *>(box))
        notes->setPlainText(text);
    else
        qWarning("no box named %s", qPrintable(name));
}

QStringList entries(const QString &dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

// Compares a painted size in pixels with a size in twips, allowing for rounding.
bool sameSize(const QSize &painted, int widthTwips, int heightTwips) {
    return std::abs(painted.width() - widthTwips * Twips::dpi() / 1440.0) <= 1.0 &&
           std::abs(painted.height() - heightTwips * Twips::dpi() / 1440.0) <= 1.0;
}

// The colour TestApp::makePicture fills pictures with, give or take the JPEG compression.
bool isPictureGreen(QRgb pixel) {
    return std::abs(qRed(pixel) - 40) < 8 && std::abs(qGreen(pixel) - 140) < 8 &&
           std::abs(qBlue(pixel) - 60) < 8;
}

QWidget *tabPage(PlantCardDialog *w, const QString &caption) {
    for (int i = 0; i < w->tabs->count(); ++i)
        if (w->tabs->tabBar()->tabText(i) == caption)
            return w->tabs->page(i);
    return nullptr;
}

} // namespace

class TestPlantCard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void controlsSitAtTheirDesignPlaces_data();
    void controlsSitAtTheirDesignPlaces();
    void newCardOpensEmptyWithTheCalendarOnToday();
    void openingACardLoadsWhatCanBeRead_data();
    void openingACardLoadsWhatCanBeRead();
    void previewFitsThePictureByItsOrientation_data();
    void previewFitsThePictureByItsOrientation();
    void calendarShowsOnDemandAndHidesOnlyOnAPick();
    void closingRefreshesTheMainList_data();
    void closingRefreshesTheMainList();

    void newCardWithEmptyBoxesStoresDefaults();
    void typedTextsAreStoredAndShownAgain_data();
    void typedTextsAreStoredAndShownAgain();
    void refusedTextWritesNothing_data();
    void refusedTextWritesNothing();
    void insertsInOneSecondMakeSeparateCards_data();
    void insertsInOneSecondMakeSeparateCards();
    void insertFailsWithoutThePictureFolder();
    void newCardCopiesItsPicture();
    void newCardWhosePictureVanishedIsNotStored();
    void updateOfADeletedCardFails();
    void updateWithoutNewPictureKeepsIt_data();
    void updateWithoutNewPictureKeepsIt();
    void updateCopiesTheChosenPicture_data();
    void updateCopiesTheChosenPicture();
    void updateFailsWhenThePictureFolderIsGone();

    void pictureChoiceStagesOrRestores_data();
    void pictureChoiceStagesOrRestores();
    void fileDialogShowsTheCaptionAndListsCapitals();
    void cardCommandsNeedASelectedPlant();
};

void TestPlantCard::initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void TestPlantCard::cleanup() {
    closeAllWindows();
}

// ----- the window -----

void TestPlantCard::controlsSitAtTheirDesignPlaces_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("container"); // "dataFrame" or a tab's caption
    QTest::addColumn<QString>("text");      // caption, or a box's accessible name
    QTest::addColumn<QRect>("twips");       // width and height 0: a label, sized to its text

    const auto row = [](const char *control, const char *container, const QString &text, int l,
                        int t, int w = 0, int h = 0) {
        QTest::newRow(control) << control << container << text << QRect(l, t, w, h);
    };
    row("tabs", "dataFrame", "", 90, 270, 6645, 5835);
    row("picturePreview", "dataFrame", "Immagine", 6990, 240, 4635, 5745);
    row("browseButton", "dataFrame", "Sfoglia....", 10050, 6060, 1545, 405);
    row("cancelButton", "dataFrame", "Annulla", 8220, 6720, 1545, 405);
    row("okButton", "dataFrame", "OK", 10050, 6720, 1545, 405);

    row("famigliaLabel", "Identificazione", "Famiglia", 120, 765);
    row("famiglia", "Identificazione", "Famiglia", 1560, 630, 4815, 345);
    row("genereLabel", "Identificazione", "Genere", 120, 1140);
    row("genere", "Identificazione", "Genere", 1560, 1020, 4815, 345);
    row("specieLabel", "Identificazione", "Specie", 120, 1515);
    row("specie", "Identificazione", "Specie", 1560, 1410, 4815, 345);
    row("identificazioneLabel", "Identificazione", "Identificazione", 120, 1890);
    row("identificazione", "Identificazione", "Identificazione", 1560, 1800, 4815, 345);

    row("habitatLabel", "Coltivazione", "Habitat", 210, 690);
    row("habitat", "Coltivazione", "Habitat", 2340, 630, 4095, 345);
    row("temperaturaLabel", "Coltivazione", "Temperatura min Estiva", 210, 1110);
    row("temperatura", "Coltivazione", "Temperatura min Estiva", 2340, 1095, 1005, 345);
    row("temperaturaidLabel", "Coltivazione", "Temperatura Max Estiva", 210, 1620);
    row("temperaturaid", "Coltivazione", "Temperatura Max Estiva", 2340, 1560, 1005, 345);
    row("r3Label", "Coltivazione", "Temperatura Min. Invernale", 210, 2100);
    row("r3", "Coltivazione", "Temperatura Min. Invernale", 2340, 2025, 1035, 345);
    row("r4Label", "Coltivazione", "Temperatura Max Invernale", 210, 2520);
    row("r4", "Coltivazione", "Temperatura Max Invernale", 2340, 2490, 1035, 345);
    row("umditaLabel", "Coltivazione", QStringLiteral("Umidità"), 210, 2970);
    row("umdita", "Coltivazione", QStringLiteral("Umidità"), 2340, 2955, 1035, 345);
    row("r1Label", "Coltivazione", "Concimazione  Inizio", 210, 3420);
    row("r1", "Coltivazione", "Concimazione  Inizio", 2340, 3420, 1725, 345);
    row("r2Label", "Coltivazione", "Fine", 4290, 3450);
    row("r2", "Coltivazione", "Fine", 4770, 3390, 1605, 345);
    row("descrizioneLabel", "Coltivazione", "Descrizione", 210, 4050);
    row("descrizione", "Coltivazione", "Descrizione", 210, 4080, 6195, 1365);

    row("dataacquistoLabel", "Altri dati", "Data di acquisto", 210, 600);
    row("dataacquisto", "Altri dati", "Data di acquisto", 2160, 510, 1785, 345);
    row("calendarButton", "Altri dati", "...", 4110, 540, 495, 285);
    row("prezzoLabel", "Altri dati", "Prezzo", 210, 1020);
    row("prezzo", "Altri dati", "Prezzo", 2160, 960, 1365, 345);
    row("etaLabel", "Altri dati", QStringLiteral("Età"), 210, 1440);
    row("eta", "Altri dati", QStringLiteral("Età"), 2160, 1380, 1815, 345);
    row("fiorituraLabel", "Altri dati", "Periodo fioritura", 210, 1830);
    row("fioritura", "Altri dati", "Periodo fioritura", 2160, 1830, 4185, 345);
    row("vasoLabel", "Altri dati", "Tipo di Vaso/Stile", 210, 2280);
    row("vaso", "Altri dati", "Tipo di Vaso/Stile", 2160, 2250, 4185, 315);
    row("noteLabel", "Altri dati", "Note sulla coltivazione", 210, 2670);
    row("note", "Altri dati", "Note sulla coltivazione", 240, 2910, 6195, 1215);
    row("purchaseCalendar", "Altri dati", "Data di acquisto", 2100, 540, 2490, 2370);
}

void TestPlantCard::controlsSitAtTheirDesignPlaces() {
    QFETCH(QString, control);
    QFETCH(QString, container);
    QFETCH(QString, text);
    QFETCH(QRect, twips);
    TestApp app;
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    QWidget *c = w->findChild<QWidget *>(control);
    QVERIFY2(c, qPrintable(control));

    QWidget *expectedParent = container == "dataFrame" ? w->dataFrame : tabPage(w, container);
    QVERIFY(expectedParent);
    QCOMPARE(c->parentWidget(), expectedParent);
    // A tab's controls are placed in the panel's own coordinates, tab strip included.
    if (expectedParent != w->dataFrame)
        QCOMPARE(expectedParent->geometry(), w->tabs->rect());

    if (twips.width() == 0)
        QCOMPARE(c->pos(), Twips::rect(twips.x(), twips.y(), 0, 0).topLeft());
    else
        QCOMPARE(c->geometry(), Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()));

    if (auto *label = qobject_cast<QLabel *>(c)) {
        QCOMPARE(label->text(), text);
        QVERIFY(label->buddy());
        QCOMPARE(label->buddy()->accessibleName(), text);
    } else if (auto *button = qobject_cast<QPushButton *>(c)) {
        QCOMPARE(button->text(), text);
    } else if (!text.isEmpty()) {
        QCOMPARE(c->accessibleName(), text);
    }
}

void TestPlantCard::newCardOpensEmptyWithTheCalendarOnToday() {
    TestApp app;
    app.clock.current = QDateTime(QDate(2027, 1, 5), QTime(9, 0));
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));

    QCOMPARE(w->windowTitle(), QStringLiteral("Inserimento dati Pianta"));
    QCOMPARE(w->dataFrame->title(), QStringLiteral("Dati"));
    QCOMPARE(w->dataFrame->geometry(), Twips::rect(30, 90, 11775, 7305));
    QCOMPARE(w->size(), QSize(Twips::px(11925), Twips::px(7515)));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(w->tabs->count(), 3);
    QCOMPARE(w->tabs->tabBar()->tabText(0), QStringLiteral("Identificazione"));
    QCOMPARE(w->tabs->tabBar()->tabText(1), QStringLiteral("Coltivazione"));
    QCOMPARE(w->tabs->tabBar()->tabText(2), QStringLiteral("Altri dati"));
    QCOMPARE(w->tabs->currentIndex(), 0);
    QVERIFY(w->lineEdit("famiglia")->isVisible());
    QVERIFY(!w->lineEdit("habitat")->isVisible());

    for (const QString &box : allBoxes())
        QVERIFY2(boxText(w, box).isEmpty(), qPrintable(box));
    QVERIFY(w->picturePreview->isBlank());
    QVERIFY(w->heldPicture.isNull());
    QVERIFY(w->purchaseCalendar->isHidden());
    QCOMPARE(w->purchaseCalendar->selectedDate(), QDate(2027, 1, 5));
    QCOMPARE(w->purchaseCalendar->firstDayOfWeek(), Qt::Monday);
    QCOMPARE(w->purchaseCalendar->locale().language(), QLocale::Italian);
    QVERIFY(!w->pictureChanged());
    QVERIFY(app.messages.said.isEmpty());
}

void TestPlantCard::openingACardLoadsWhatCanBeRead_data() {
    QTest::addColumn<QVariantMap>("stored"); // nothing stored: the card was deleted
    QTest::addColumn<bool>("pictureFile");   // the picture file "ficus.jpg" is there
    QTest::addColumn<QVariantMap>("shown");  // boxes not named here must be empty
    QTest::addColumn<bool>("previewBlank");
    const QString key = QString::number(clockKey);
    const QString path = "img/" + key + "/ficus.jpg";

    const QVariantMap full = {{"famiglia", "Moraceae"},
                              {"genere", "Ficus"},
                              {"specie", "benjamina"},
                              {"identificazione", "Ficus del salotto"},
                              {"habitat", "Asia"},
                              {"temperatura", 18.0},
                              {"temperaturaid", 30.0},
                              {"r3", "10"},
                              {"r4", "15"},
                              {"r1", "marzo"},
                              {"r2", "settembre"},
                              {"umdita", 60.0},
                              {"fioritura", "mai"},
                              {"descrizione", "riga uno\nriga due"},
                              {"dataacquisto", "2026-03-07"},
                              {"prezzo", 12.5},
                              {"vaso", "terracotta"},
                              {"eta", 3.0},
                              {"note", "poca acqua"},
                              {"img", "ficus.jpg"}};
    const QVariantMap fullShown = {{"famiglia", "Moraceae"},
                                   {"genere", "Ficus"},
                                   {"specie", "benjamina"},
                                   {"identificazione", "Ficus del salotto"},
                                   {"habitat", "Asia"},
                                   {"temperatura", "18"},
                                   {"temperaturaid", "30"},
                                   {"r3", "10"},
                                   {"r4", "15"},
                                   {"r1", "marzo"},
                                   {"r2", "settembre"},
                                   {"umdita", "60"},
                                   {"fioritura", "mai"},
                                   {"descrizione", "riga uno\nriga due"},
                                   {"dataacquisto", "07/03/2026"},
                                   {"prezzo", "12,5"},
                                   {"vaso", "terracotta"},
                                   {"eta", "3"},
                                   {"note", "poca acqua"},
                                   {"picturePath", path},
                                   {"pictureName", "ficus.jpg"}};
    QTest::newRow("full card") << full << true << fullShown << false;

    QVariantMap noPicture = full;
    noPicture["img"] = "nd.jpg";
    QVariantMap noPictureShown = fullShown;
    noPictureShown.remove("picturePath");
    noPictureShown.remove("pictureName");
    QTest::newRow("placeholder picture") << noPicture << true << noPictureShown << false;

    QVariantMap noDate = full;
    noDate["dataacquisto"] = "1900-01-01";
    QVariantMap noDateShown = fullShown;
    noDateShown.remove("dataacquisto");
    QTest::newRow("no purchase date") << noDate << true << noDateShown << false;

    QTest::newRow("picture file missing") << full << false << fullShown << true;
    QTest::newRow("deleted card") << QVariantMap() << false << QVariantMap() << false;
    QTest::newRow("fields left empty by another tool")
        << QVariantMap{{"specie", "Ficus"}} << false << QVariantMap{{"specie", "Ficus"}} << false;
}

void TestPlantCard::openingACardLoadsWhatCanBeRead() {
    QFETCH(QVariantMap, stored);
    QFETCH(bool, pictureFile);
    QFETCH(QVariantMap, shown);
    QFETCH(bool, previewBlank);
    TestApp app;
    if (!stored.isEmpty())
        app.addPlant(clockKey, stored);
    if (pictureFile)
        app.makePicture("img/" + QString::number(clockKey) + "/ficus.jpg", 300, 200);
    if (shown.contains("picturePath"))
        shown["picturePath"] = app.path(shown["picturePath"].toString());

    PlantCardDialog *w = openCard(app, clockKey);
    QVERIFY(w);
    QCOMPARE(w->cardKey(), clockKey);
    for (const QString &box : allBoxes())
        QCOMPARE(boxText(w, box), shown.value(box).toString());
    QCOMPARE(w->picturePreview->isBlank(), previewBlank);
    if (!previewBlank && !pictureFile) // the placeholder's own size
        QCOMPARE(w->heldPicture.size(), PictureBox::load(app.path("img/nd.jpg")).size());
    QVERIFY(!w->pictureChanged());
    QVERIFY(app.messages.said.isEmpty());
}

void TestPlantCard::previewFitsThePictureByItsOrientation_data() {
    QTest::addColumn<QSize>("picture"); // twips
    QTest::addColumn<QSize>("painted"); // twips
    QTest::newRow("fits") << QSize(3000, 2000) << QSize(3000, 2000);
    QTest::newRow("landscape") << QSize(9270, 4000) << QSize(4635, 2000);
    QTest::newRow("portrait") << QSize(4000, 11490) << QSize(2000, 5745);
    QTest::newRow("almost square, wider than the frame") << QSize(5000, 5500) << QSize(5223, 5745);
}

void TestPlantCard::previewFitsThePictureByItsOrientation() {
    QFETCH(QSize, picture);
    QFETCH(QSize, painted);
    TestApp app;
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    app.files.next =
        app.makePicture("foto/pianta.jpg", Twips::px(picture.width()), Twips::px(picture.height()));
    QTest::mouseClick(w->browseButton, Qt::LeftButton);
    QVERIFY(!w->picturePreview->isBlank());
    QVERIFY2(sameSize(w->picturePreview->paintedSize(), painted.width(), painted.height()),
             qPrintable(QStringLiteral("%1x%2")
                            .arg(w->picturePreview->paintedSize().width())
                            .arg(w->picturePreview->paintedSize().height())));
    // Painted from the top-left corner, never enlarged, and cut at the frame's edge.
    const QImage shown = w->picturePreview->image();
    QCOMPARE(shown.size(), w->picturePreview->size());
    QVERIFY(isPictureGreen(shown.pixel(1, 1)));
    const int right = w->picturePreview->paintedSize().width();
    if (right < shown.width() - 2)
        QCOMPARE(QColor(shown.pixel(right + 1, 1)), QColor(Qt::white));
    const int bottom = w->picturePreview->paintedSize().height();
    if (bottom < shown.height() - 2)
        QCOMPARE(QColor(shown.pixel(1, bottom + 1)), QColor(Qt::white));
}

void TestPlantCard::calendarShowsOnDemandAndHidesOnlyOnAPick() {
    TestApp app;
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    w->tabs->setCurrentIndex(2);

    // Tabbing into the date box shows the calendar; tabbing on leaves it shown.
    QVERIFY(w->purchaseCalendar->isHidden());
    w->lineEdit("dataacquisto")->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(w->lineEdit("dataacquisto")->hasFocus());
    QVERIFY(w->purchaseCalendar->isVisible());
    QTest::keyClick(w->lineEdit("dataacquisto"), Qt::Key_Tab);
    QTRY_VERIFY(!w->lineEdit("dataacquisto")->hasFocus());
    QVERIFY(w->purchaseCalendar->isVisible());

    // A click on a day writes it without leading zeros and hides the calendar.
    w->purchaseCalendar->setCurrentPage(2027, 1);
    auto *view = w->purchaseCalendar->findChild<QTableView *>("qt_calendar_calendarview");
    QVERIFY(view);
    QModelIndex day5;
    bool inMonth = false;
    for (int r = 0; r < view->model()->rowCount() && !day5.isValid(); ++r)
        for (int c = 0; c < view->model()->columnCount() && !day5.isValid(); ++c) {
            const QModelIndex i = view->model()->index(r, c);
            const QString d = i.data().toString();
            inMonth = inMonth || d == "1";
            if (inMonth && d == "5")
                day5 = i;
        }
    QVERIFY(day5.isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(day5).center());
    QCOMPARE(w->lineEdit("dataacquisto")->text(), QStringLiteral("5/1/2027"));
    QVERIFY(w->purchaseCalendar->isHidden());

    // "..." shows it again.
    QTest::mouseClick(w->calendarButton, Qt::LeftButton);
    QVERIFY(w->purchaseCalendar->isVisible());
}

void TestPlantCard::closingRefreshesTheMainList_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("rows");
    QTest::newRow("Annulla, whole list") << "Annulla"
                                         << "" << 3;
    QTest::newRow("Annulla, searching") << "Annulla"
                                        << "Fi" << 2;
    QTest::newRow("title bar, searching") << "title bar"
                                          << "Fi" << 2;
    QTest::newRow("Escape, whole list") << "Escape"
                                        << "" << 3;
    QTest::newRow("saved change, searching") << "OK"
                                             << "Fi" << 2;
}

void TestPlantCard::closingRefreshesTheMainList() {
    QFETCH(QString, how);
    QFETCH(QString, search);
    QFETCH(int, rows);
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus benjamina"}, {"img", "nd.jpg"}});
    app.addPlant(2, {{"specie", "Rosa canina"}, {"img", "nd.jpg"}});
    MainWindow &main = app.main();
    main.searchFieldCombo->setCurrentIndex(0);
    main.searchEdit->setText(search);
    PlantCardDialog *w = how == "OK" ? openCard(app, 1) : openNewCard(app);
    QVERIFY(w);
    QPointer<PlantCardDialog> alive(w);
    // Another plant arrives while the editor is open; only a refill shows it.
    app.addPlant(3, {{"specie", "Fico d'India"}, {"img", "nd.jpg"}});
    app.state().listMode = ListMode::Events;

    if (how == "Annulla")
        QTest::mouseClick(w->cancelButton, Qt::LeftButton);
    else if (how == "title bar")
        w->close();
    else if (how == "Escape")
        QTest::keyClick(w, Qt::Key_Escape);
    else
        QTest::mouseClick(w->okButton, Qt::LeftButton);
    QTRY_VERIFY(!alive);

    QCOMPARE(main.listView->list()->rowCount(), rows);
    QCOMPARE(app.state().listMode, ListMode::Plants);
}

// ----- saving -----

void TestPlantCard::newCardWithEmptyBoxesStoresDefaults() {
    TestApp app;
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.texts(), QStringList{saved});
    QCOMPARE(app.messages.said.first().icon, Messages::Icon::None);
    QCOMPARE(app.count("piante"), 1);
    const QVariantList key{clockKey};
    for (const char *f : {"famiglia", "genere", "specie", "identificazione", "habitat", "r1", "r2",
                          "r3", "r4", "fioritura", "descrizione", "vaso", "note"})
        QCOMPARE(app.sqlValue(QStringLiteral("SELECT %1 FROM piante WHERE id = ?").arg(f), key),
                 QVariant(" "));
    for (const char *f : {"temperatura", "temperaturaid", "umdita", "eta", "prezzo"})
        QCOMPARE(app.sqlValue(QStringLiteral("SELECT %1 FROM piante WHERE id = ?").arg(f), key),
                 QVariant(0.0));
    QCOMPARE(app.sqlValue("SELECT dataacquisto FROM piante WHERE id = ?", key),
             QVariant("1900-01-01"));
    QCOMPARE(app.sqlValue("SELECT img FROM piante WHERE id = ?", key), QVariant("nd.jpg"));
    QVERIFY(QFileInfo(app.path("img/712202636000")).isDir());
    QVERIFY(entries(app.path("img/712202636000")).isEmpty());

    // The window stays open and empty for the next card.
    QVERIFY(w->isVisible());
    for (const QString &box : allBoxes())
        QVERIFY2(boxText(w, box).isEmpty(), qPrintable(box));
    QVERIFY(w->picturePreview->isBlank());
}

void TestPlantCard::typedTextsAreStoredAndShownAgain_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("shownAgain");
    QTest::newRow("decimal comma") << "prezzo"
                                   << "12,5"
                                   << "prezzo" << QVariant(12.5) << "12,5";
    QTest::newRow("decimal point") << "temperatura"
                                   << "-3.5"
                                   << "temperatura" << QVariant(-3.5) << "-3,5";
    QTest::newRow("picked date") << "dataacquisto"
                                 << "7/3/2026"
                                 << "dataacquisto" << QVariant("2026-03-07") << "07/03/2026";
    QTest::newRow("no date typed") << "dataacquisto"
                                   << "00/00/0000"
                                   << "dataacquisto" << QVariant("1900-01-01") << "";
    QTest::newRow("blanks stay blanks") << "famiglia"
                                        << "   "
                                        << "famiglia" << QVariant("   ") << "   ";
    QTest::newRow("quotes") << "identificazione"
                            << "Ficus 'del' salotto"
                            << "identificazione" << QVariant("Ficus 'del' salotto")
                            << "Ficus 'del' salotto";
    QTest::newRow("several lines")
        << "note"
        << "riga uno\nriga due"
        << "note" << QVariant("riga uno\nriga due") << "riga uno\nriga due";
    QTest::newRow("winter temperature is text") << "r3"
                                                << "-5 circa"
                                                << "r3" << QVariant("-5 circa") << "-5 circa";
}

void TestPlantCard::typedTextsAreStoredAndShownAgain() {
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, field);
    QFETCH(QVariant, stored);
    QFETCH(QString, shownAgain);
    TestApp app;
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    typeInto(w, box, typed);
    QTest::mouseClick(w->okButton, Qt::LeftButton);
    QCOMPARE(app.messages.texts(), QStringList{saved});
    QCOMPARE(app.sqlValue(QStringLiteral("SELECT %1 FROM piante").arg(field)), stored);

    QPointer<PlantCardDialog> alive(w);
    QTest::mouseClick(w->cancelButton, Qt::LeftButton);
    QTRY_VERIFY(!alive);
    w = openCard(app, clockKey);
    QVERIFY(w);
    QCOMPARE(boxText(w, box), shownAgain);
}

void TestPlantCard::refusedTextWritesNothing_data() {
    QTest::addColumn<bool>("update");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::newRow("new card, letters as price") << false << "prezzo"
                                                << "abc";
    QTest::newRow("change, letters as price") << true << "prezzo"
                                              << "abc";
    QTest::newRow("new card, no such day") << false << "dataacquisto"
                                           << "31/02/2026";
    QTest::newRow("change, blanks as temperature") << true << "temperatura"
                                                   << "  ";
}

void TestPlantCard::refusedTextWritesNothing() {
    QFETCH(bool, update);
    QFETCH(QString, box);
    QFETCH(QString, typed);
    TestApp app;
    const qint64 key = 1;
    if (update) {
        app.addPlant(key, {{"specie", "Ficus"}, {"img", "ficus.jpg"}});
        app.makePicture("img/1/ficus.jpg", 30, 20);
    }
    PlantCardDialog *w = update ? openCard(app, key) : openNewCard(app);
    QVERIFY(w);
    // A chosen picture is not copied either.
    app.files.next = app.makePicture("foto/ficus.jpg", 40, 40);
    QTest::mouseClick(w->browseButton, Qt::LeftButton);
    typeInto(w, box, typed);
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    const QStringList folders = entries(app.path("img"));
    const QStringList pictures = entries(app.path("img/1"));
    const QByteArray picture = TestApp::fileHash(app.path("img/1/ficus.jpg"));

    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.said.size(), 1);
    const QString said = app.messages.said.first().text;
    if (update) {
        QVERIFY2(said.startsWith(saveError + " ") && said.contains(typed), qPrintable(said));
        QVERIFY(said.size() > saveError.size() + 1 + typed.size());
    } else {
        QCOMPARE(said, saveError);
    }
    QCOMPARE(app.messages.said.first().icon, Messages::Icon::None);
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    QCOMPARE(entries(app.path("img")), folders);
    QCOMPARE(entries(app.path("img/1")), pictures);
    QCOMPARE(TestApp::fileHash(app.path("img/1/ficus.jpg")), picture);
    // The window stays open with the entries, defaults included.
    QVERIFY(w->isVisible());
    QCOMPARE(boxText(w, box), typed);
    QCOMPARE(w->lineEdit("famiglia")->text(), QStringLiteral(" "));
    QCOMPARE(w->lineEdit("eta")->text(), QStringLiteral("0"));
}

void TestPlantCard::insertsInOneSecondMakeSeparateCards_data() {
    QTest::addColumn<QDateTime>("first");
    QTest::addColumn<QDateTime>("second");
    QTest::addColumn<qint64>("key");
    const QTime ten(10, 0);
    QTest::newRow("same second") << QDateTime(QDate(2026, 12, 7), ten)
                                 << QDateTime(QDate(2026, 12, 7), ten.addMSecs(400))
                                 << qint64(712202636000);
    QTest::newRow("digits that run together alike")
        << QDateTime(QDate(2026, 11, 1), ten) << QDateTime(QDate(2026, 1, 11), ten)
        << qint64(111202636000);
}

void TestPlantCard::insertsInOneSecondMakeSeparateCards() {
    QFETCH(QDateTime, first);
    QFETCH(QDateTime, second);
    QFETCH(qint64, key);
    TestApp app;
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    app.clock.current = first;
    w->lineEdit("identificazione")->setText("prima");
    QTest::mouseClick(w->okButton, Qt::LeftButton);
    app.clock.current = second;
    w->lineEdit("identificazione")->setText("seconda");
    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.texts(), (QStringList{saved, saved}));
    QCOMPARE(app.sqlValue("SELECT identificazione FROM piante WHERE id = ?", {key}),
             QVariant("prima"));
    QCOMPARE(app.sqlValue("SELECT identificazione FROM piante WHERE id = ?", {key + 1}),
             QVariant("seconda"));
    QCOMPARE(entries(app.path("img")),
             (QStringList{QString::number(key), QString::number(key + 1), "nd.jpg"}));
}

void TestPlantCard::insertFailsWithoutThePictureFolder() {
    TestApp app;
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    QVERIFY(QDir(app.path("img")).removeRecursively());
    QTest::mouseClick(w->okButton, Qt::LeftButton);
    QCOMPARE(app.messages.texts(), QStringList{saveError});
    QCOMPARE(app.count("piante"), 0);
    QVERIFY(!QFileInfo::exists(app.path("img")));
    QVERIFY(w->isVisible());
}

void TestPlantCard::newCardCopiesItsPicture() {
    TestApp app;
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    const QString source = app.makePicture("foto/IMG_0042.JPG", 120, 80);
    const QByteArray hash = TestApp::fileHash(source);
    app.files.next = source;
    QTest::mouseClick(w->browseButton, Qt::LeftButton);
    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.texts(), QStringList{saved});
    QCOMPARE(app.sqlValue("SELECT img FROM piante WHERE id = ?", {clockKey}),
             QVariant("IMG_0042.JPG"));
    QCOMPARE(entries(app.path("img/712202636000")), QStringList{"IMG_0042.JPG"});
    QCOMPARE(TestApp::fileHash(app.path("img/712202636000/IMG_0042.JPG")), hash);
    QCOMPARE(TestApp::fileHash(source), hash);
    QVERIFY(w->stagedPicturePath().isEmpty());
    QVERIFY(w->stagedPictureName().isEmpty());
    QVERIFY(w->picturePreview->isBlank());

    // The next card starts without a picture.
    app.clock.current = app.clock.current.addSecs(1);
    QTest::mouseClick(w->okButton, Qt::LeftButton);
    QCOMPARE(app.sqlValue("SELECT img FROM piante WHERE id = ?", {clockKey + 1}),
             QVariant("nd.jpg"));
    QVERIFY(entries(app.path("img/712202636001")).isEmpty());
}

void TestPlantCard::newCardWhosePictureVanishedIsNotStored() {
    TestApp app;
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    app.files.next = app.makePicture("foto/rosa.jpg", 40, 40);
    QTest::mouseClick(w->browseButton, Qt::LeftButton);
    QVERIFY(QFile::remove(app.files.next));
    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.texts(), QStringList{saveError});
    QCOMPARE(app.count("piante"), 0);
    // The folder made for the card stays, empty, and is not used again.
    QVERIFY(entries(app.path("img/712202636000")).isEmpty());
    app.files.next = app.makePicture("foto/rosa.jpg", 40, 40);
    QTest::mouseClick(w->okButton, Qt::LeftButton);
    QCOMPARE(app.sqlValue("SELECT id FROM piante"), QVariant(clockKey + 1));
    QCOMPARE(entries(app.path("img/712202636001")), QStringList{"rosa.jpg"});
}

void TestPlantCard::updateOfADeletedCardFails() {
    TestApp app;
    app.addPlant(clockKey, {{"specie", "Ficus"}, {"img", "nd.jpg"}});
    app.addPlant(2, {{"specie", "Rosa"}, {"img", "nd.jpg"}});
    PlantCardDialog *w = openCard(app, clockKey);
    QVERIFY(w);
    app.sql("DELETE FROM piante WHERE id = ?", {clockKey});
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    QTest::mouseClick(w->okButton, Qt::LeftButton);
    QCOMPARE(app.messages.said.size(), 1);
    QVERIFY(app.messages.said.first().text.startsWith(saveError + " "));
    QVERIFY(app.messages.said.first().text.size() > saveError.size() + 1);
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    QVERIFY(w->isVisible());
}

void TestPlantCard::updateWithoutNewPictureKeepsIt_data() {
    QTest::addColumn<QString>("img");
    QTest::newRow("card with a picture") << "ficus.jpg";
    QTest::newRow("card without a picture") << "nd.jpg";
}

void TestPlantCard::updateWithoutNewPictureKeepsIt() {
    QFETCH(QString, img);
    TestApp app;
    app.addPlant(clockKey, {{"famiglia", "Moraceae"}, {"img", img}, {"prezzo", 12.5}});
    const QString picture = app.makePicture("img/712202636000/ficus.jpg", 30, 20);
    const QByteArray hash = TestApp::fileHash(picture);
    PlantCardDialog *w = openCard(app, clockKey);
    QVERIFY(w);
    QPointer<PlantCardDialog> alive(w);
    w->lineEdit("famiglia")->setText("Rosaceae");
    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.texts(), QStringList{saved});
    QTRY_VERIFY(!alive);
    QCOMPARE(app.count("piante"), 1);
    QCOMPARE(app.sqlValue("SELECT famiglia FROM piante"), QVariant("Rosaceae"));
    QCOMPARE(app.sqlValue("SELECT prezzo FROM piante"), QVariant(12.5));
    QCOMPARE(app.sqlValue("SELECT img FROM piante"), QVariant(img));
    QCOMPARE(entries(app.path("img/712202636000")), QStringList{"ficus.jpg"});
    QCOMPARE(TestApp::fileHash(picture), hash);
}

void TestPlantCard::updateCopiesTheChosenPicture_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("folder");
    QTest::newRow("another name") << "ROSA.JPG" << QStringList{"ROSA.JPG", "ficus.jpg"};
    QTest::newRow("same name, replaced") << "ficus.jpg" << QStringList{"ficus.jpg"};
}

void TestPlantCard::updateCopiesTheChosenPicture() {
    QFETCH(QString, chosen);
    QFETCH(QStringList, folder);
    TestApp app;
    app.addPlant(clockKey, {{"img", "ficus.jpg"}});
    app.makePicture("img/712202636000/ficus.jpg", 30, 20);
    const QString source = app.makePicture("foto/" + chosen, 64, 48);
    const QByteArray hash = TestApp::fileHash(source);
    PlantCardDialog *w = openCard(app, clockKey);
    QVERIFY(w);
    app.files.next = source;
    QTest::mouseClick(w->browseButton, Qt::LeftButton);
    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.texts(), QStringList{saved});
    QCOMPARE(app.sqlValue("SELECT img FROM piante"), QVariant(chosen));
    QCOMPARE(entries(app.path("img/712202636000")), folder); // no temporary file left
    QCOMPARE(TestApp::fileHash(app.path("img/712202636000/" + chosen)), hash);
}

void TestPlantCard::updateFailsWhenThePictureFolderIsGone() {
    TestApp app;
    app.addPlant(clockKey, {{"img", "ficus.jpg"}, {"specie", "Ficus"}});
    app.makePicture("img/712202636000/ficus.jpg", 30, 20);
    PlantCardDialog *w = openCard(app, clockKey);
    QVERIFY(w);
    QVERIFY(QDir(app.path("img/712202636000")).removeRecursively());
    app.files.next = app.makePicture("foto/rosa.jpg", 64, 48);
    QTest::mouseClick(w->browseButton, Qt::LeftButton);
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    w->lineEdit("specie")->setText("Rosa");
    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.said.size(), 1);
    const QString said = app.messages.said.first().text;
    QVERIFY2(said.startsWith(saveError + " ") && said.contains("rosa.jpg"), qPrintable(said));
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    QVERIFY(!QFileInfo::exists(app.path("img/712202636000")));
    QVERIFY(w->isVisible());
}

// ----- picture choice -----

void TestPlantCard::pictureChoiceStagesOrRestores_data() {
    QTest::addColumn<QString>("chosen"); // relative to the test folder; empty: cancelled
    QTest::addColumn<bool>("picture");   // the chosen file is a picture
    QTest::addColumn<QString>("outcome");
    QTest::newRow("picture") << "foto/rosa.jpg" << true << "staged";
    QTest::newRow("capitals") << "foto/DSC_0001.JPG" << true << "staged";
    QTest::newRow("cancelled") << "" << false << "unchanged";
    QTest::newRow("not a picture") << "foto/finta.jpg" << false << "blank";
    QTest::newRow("missing file") << "foto/sparita.jpg" << false << "blank";
}

void TestPlantCard::pictureChoiceStagesOrRestores() {
    QFETCH(QString, chosen);
    QFETCH(bool, picture);
    QFETCH(QString, outcome);
    TestApp app;
    app.addPlant(clockKey, {{"img", "ficus.jpg"}});
    const QString current = app.makePicture("img/712202636000/ficus.jpg", 30, 20);
    PlantCardDialog *w = openCard(app, clockKey);
    QVERIFY(w);
    const QImage before = w->picturePreview->image();
    QString path = chosen.isEmpty() ? QString() : app.path(chosen);
    if (picture)
        app.makePicture(chosen, 500, 100);
    else if (chosen.endsWith("finta.jpg")) {
        QDir().mkpath(app.path("foto"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("questa non è una fotografia");
    }
    app.files.next = path;
    QTest::mouseClick(w->browseButton, Qt::LeftButton);

    QCOMPARE(app.files.calls, 1);
    if (outcome == "staged") {
        QCOMPARE(w->stagedPicturePath(), path);
        QCOMPARE(w->stagedPictureName(), chosen.section('/', -1));
        QVERIFY(w->pictureChanged());
        QVERIFY(sameSize(w->picturePreview->paintedSize(), 4635, 927));
    } else {
        QCOMPARE(w->stagedPicturePath(), current);
        QCOMPARE(w->stagedPictureName(), QStringLiteral("ficus.jpg"));
        QVERIFY(!w->pictureChanged());
        if (outcome == "blank")
            QVERIFY(w->picturePreview->isBlank());
        else
            QCOMPARE(w->picturePreview->image(), before);
    }
    QVERIFY(app.messages.said.isEmpty());
}

// The real dialog: the filter shows its caption only and lists .jpeg and .png too, and the
// capitals cameras write.
void TestPlantCard::fileDialogShowsTheCaptionAndListsCapitals() {
    TestApp app;
    FileChooser realDialog;
    app.ctx().files = &realDialog;
    for (const char *name : {"a.jpg", "B.JPG", "c.bmp", "D.BMP", "e.gif", "F.GIF", "g.jpeg",
                             "H.JPEG", "i.png", "J.PNG"})
        app.makePicture(QStringLiteral("foto/") + name, 20, 20, "PNG");
    QFile other(app.path("foto/note.txt"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);

    QString caption;
    QStringList listed;
    QStringList patterns;
    bool seen = false;
    bool listedAll = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || seen)
            return;
        seen = true;
        poll.stop();
        if (auto *combo = dialog->findChild<QComboBox *>("fileTypeCombo"))
            caption = combo->currentText();
        if (auto *model = dialog->findChild<QFileSystemModel *>())
            patterns = model->nameFilters();
        dialog->setDirectory(app.path("foto"));
        auto *view = dialog->findChild<QListView *>("listView");
        if (view)
            listedAll = QTest::qWaitFor(
                [&] { return view->model()->rowCount(view->rootIndex()) >= 10; }, 5000);
        if (view)
            for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
                listed << view->model()->index(r, 0, view->rootIndex()).data().toString();
        if (auto *name = dialog->findChild<QLineEdit *>("fileNameEdit"))
            name->setText("B.JPG");
        static_cast<QDialog *>(dialog)->accept();
        if (dialog->isVisible())
            dialog->reject();
    });
    poll.start();
    QTest::mouseClick(w->browseButton, Qt::LeftButton);
    poll.stop();

    QVERIFY(seen);
    QVERIFY(listedAll);
    QCOMPARE(caption, QStringLiteral("Immagini (*.bmp; *.gif; *.jpg)"));
    listed.sort();
    QCOMPARE(listed, (QStringList{"B.JPG", "D.BMP", "F.GIF", "H.JPEG", "J.PNG", "a.jpg", "c.bmp",
                                  "e.gif", "g.jpeg", "i.png"}));
    // Native dialogs may match case-sensitively: the patterns must name the capitals too.
    const auto matched = [&](const QString &name) {
        return std::any_of(patterns.begin(), patterns.end(), [&](const QString &p) {
            return QRegularExpression::fromWildcard(p, Qt::CaseSensitive).match(name).hasMatch();
        });
    };
    for (const char *name : {"a.jpg", "B.JPG", "c.bmp", "D.BMP", "e.gif", "F.GIF", "g.jpeg",
                             "H.JPEG", "i.png", "J.PNG"})
        QVERIFY2(matched(name), name);
    QVERIFY(!matched("note.txt"));
    QCOMPARE(w->stagedPictureName(), QStringLiteral("B.JPG"));
    QCOMPARE(w->stagedPicturePath(), app.path("foto/B.JPG"));
    QVERIFY(!w->picturePreview->isBlank());
}

// The main window's commands that open the editor.
void TestPlantCard::cardCommandsNeedASelectedPlant() {
    TestApp app;
    app.addPlant(clockKey, {{"specie", "Ficus"}, {"img", "nd.jpg"}});
    MainWindow &main = app.main();
    app.state().idpianta = 0;
    for (const char *command : {"editCardAction", "popupEditCardAction"}) {
        QVERIFY(triggerAction(&main, command));
        QCOMPARE(app.messages.said.size(), 1);
        QCOMPARE(app.messages.said.first().text,
                 QStringLiteral("Seleziona una pianta dall'elenco"));
        QCOMPARE(app.messages.said.first().icon, Messages::Icon::Exclamation);
        QVERIFY(app.modal.opened.isEmpty());
        app.messages.clear();
    }

    // "Nuova scheda" forgets the selection and blanks the side panel's picture.
    app.state().idpianta = clockKey;
    main.showPicture(QImage());
    QVERIFY(!main.pictureFrame->isBlank());
    PlantCardDialog *w = openNewCard(app);
    QVERIFY(w);
    QCOMPARE(app.state().idpianta, 0.0);
    QVERIFY(main.pictureFrame->isBlank());
    QVERIFY(main.heldPicture.isNull());
    QPointer<PlantCardDialog> alive(w);
    QTest::mouseClick(w->cancelButton, Qt::LeftButton);
    QTRY_VERIFY(!alive);
    QVERIFY(triggerAction(&main, "editCardAction"));
    QCOMPARE(app.messages.texts(), QStringList{"Seleziona una pianta dall'elenco"});
    QCOMPARE(app.modal.opened.size(), 1);
}

QTEST_MAIN(TestPlantCard)
#include "test_plantcard.moc"
