#include "archive/timestampkey.h"
#include "careevent/careeventdialog.h"
#include "careevent/legacytext.h"
#include "careevent/treatmenttypes.h"
#include "mainwindow/mainwindow.h"
#include "support/testapp.h"
#include "ui/widgets/framefit.h"
#include "ui/widgets/picturebox.h"
#include "ui/widgets/picturebutton.h"
#include "ui/lists/reportlist.h"
#include "ui/widgets/tabpanel.h"
#include "ui/widgets/twips.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <sys/stat.h>

namespace {

const qint64 plantKey = 512202636000;
const qint64 eventKey = 612202636000;

const QString defaultTypes[] = {"Annaffiatura",  "Concimazione",     "Fioritura",     "Malattia",
                                "Fungicida",     "Antiparassitario", "Rinvaso",       "Potatura",
                                "Defogliazione", "Cimatura",         "Taglio radici", "Altro...."};

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList items(const QComboBox *combo) {
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}

// What a click on an item of the drop-down does.
void pick(QComboBox *combo, const QString &text) {
    const int i = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    QVERIFY2(i >= 0, qPrintable(text));
    combo->setCurrentIndex(i);
    emit combo->activated(i);
}

qint64 addPlainPlant(TestApp &app, const QString &img = "nd.jpg") {
    return app.addPlant(plantKey, {{"identificazione", "Ficus del salotto"},
                                   {"famiglia", "Moraceae"},
                                   {"genere", "Ficus"},
                                   {"specie", "benjamina"},
                                   {"descrizione", "Foglie lucide"},
                                   {"note", "Poca acqua d'inverno"},
                                   {"img", img}});
}

// Opens the window the way the main window does: new event when idtratsel is 0.
CareEventDialog *openForm(TestApp &app, double idpianta, double idtratsel = 0) {
    app.state().idpianta = idpianta;
    app.state().idtratsel = idtratsel;
    if (idtratsel == 0)
        app.main().newEvent();
    else
        app.main().editEvent();
    return qobject_cast<CareEventDialog *>(app.modal.last());
}

QString eventsDigest(TestApp &app) {
    return app
        .sqlValue("SELECT group_concat(idtrat || '|' || id || '|' || ifnull(intervento, '?') || "
                  "'|' || datatratt || '|' || temperatura || '|' || umidita || '|' || "
                  "descrizione, ';') FROM (SELECT * FROM coltivazione ORDER BY rowid)")
        .toString();
}

QRect designRect(int l, int t, int w, int h) {
    return Twips::rect(l, t, w, h);
}

} // namespace

class TestCareEvent : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void windowIsLaidOutAsDesigned_data();
    void windowIsLaidOutAsDesigned();
    void windowOpensWithFocusOnTheTypeAndFixedSize();
    void tabOrderFollowsTheLayout();
    void typeListComesFromTheFile_data();
    void typeListComesFromTheFile();
    void typeListIsReadAfreshAtEachOpening();
    void windows1252AndUtf8FilesReadAlike();
    void plantFieldsAreShownAndNeverSaved();
    void pictureIsFittedIntoTheFrame_data();
    void pictureIsFittedIntoTheFrame();
    void failedLoadShowsThePlaceholderAndStops_data();
    void failedLoadShowsThePlaceholderAndStops();
    void storedTypeShowsAsKnownOrOther_data();
    void storedTypeShowsAsKnownOrOther();
    void itemClicksToggleTheFreeTypeBox();
    void calendarShowsAndPicksADate();
    void savingANewEvent_data();
    void savingANewEvent();
    void refusedSaveWritesNothing_data();
    void refusedSaveWritesNothing();
    void changingAnEventKeepsItsKey();
    void changeOfADeletedEventWritesNothing();
    void eventsSavedInOneSecondGetTwoKeys();
    void failedListFillIsReported();
    void cancelClosesWithoutSaving();
    void wateringShowsInThePlantList();
    void screenshots();
};

void TestCareEvent::initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void TestCareEvent::cleanup() {
    closeAllWindows();
}

void TestCareEvent::windowIsLaidOutAsDesigned_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips"); // relative to dataGroup, or to tabPanel for tab controls
    QTest::addColumn<bool>("onTab");
    QTest::addColumn<QString>("caption");
    QTest::newRow("tabPanel") << "tabPanel" << QRect(150, 270, 6165, 6735) << false << "";
    QTest::newRow("pictureFrame") << "pictureFrame" << QRect(6660, 570, 4515, 3585) << false << "";
    QTest::newRow("cancelButton") << "cancelButton" << QRect(7740, 7200, 1815, 435) << false
                                  << "Annulla";
    QTest::newRow("okButton") << "okButton" << QRect(9660, 7200, 1545, 405) << false << "OK";
    QTest::newRow("plantKeyEdit") << "plantKeyEdit" << QRect(7440, 8610, 1455, 345) << false << "";
    QTest::newRow("temperatureLabel")
        << "temperatureLabel" << QRect(1860, 7965, 1965, 315) << false << "Temperatura °C";
    QTest::newRow("humidityEdit") << "humidityEdit" << QRect(3240, 8415, 1245, 345) << false << "";
    QTest::newRow("humidityLabel")
        << "humidityLabel" << QRect(1860, 8430, 1965, 315) << false << "Umidità %";
    QTest::newRow("identificationLabel")
        << "identificationLabel" << QRect(120, 540, 1125, 255) << true << "Identificazione";
    QTest::newRow("identificationEdit")
        << "identificationEdit" << QRect(2250, 510, 3765, 345) << true << "";
    QTest::newRow("speciesLabel") << "speciesLabel" << QRect(90, 1830, 1965, 315) << true
                                  << "Specie";
    QTest::newRow("speciesEdit") << "speciesEdit" << QRect(2250, 1830, 3765, 345) << true << "";
    QTest::newRow("typeLabel") << "typeLabel" << QRect(210, 2400, 2205, 285) << true
                               << "Tipo Intervento/Evento";
    QTest::newRow("typeCombo") << "typeCombo" << QRect(180, 2670, 2835, 315) << true << "";
    QTest::newRow("dateLabel") << "dateLabel" << QRect(3180, 2460, 1275, 225) << true << "Data";
    QTest::newRow("dateEdit") << "dateEdit" << QRect(3180, 2670, 1545, 285) << true << "";
    QTest::newRow("chooseDateButton")
        << "chooseDateButton" << QRect(4800, 2670, 555, 315) << true << "...";
    QTest::newRow("otherTypeEdit") << "otherTypeEdit" << QRect(180, 3150, 5355, 345) << true << "";
    QTest::newRow("eventDescriptionLabel") << "eventDescriptionLabel" << QRect(180, 3660, 3735, 255)
                                           << true << "Descrizione trattamento";
    QTest::newRow("eventDescriptionEdit")
        << "eventDescriptionEdit" << QRect(180, 3930, 5685, 2535) << true << "";
    QTest::newRow("calendar") << "calendar" << QRect(2880, 2670, 2490, 2370) << true << "";
    QTest::newRow("descriptionLabel")
        << "descriptionLabel" << QRect(180, 450, 1965, 315) << true << "Descrizione";
    QTest::newRow("descriptionEdit")
        << "descriptionEdit" << QRect(150, 720, 5715, 2025) << true << "";
    QTest::newRow("notesLabel") << "notesLabel" << QRect(180, 2940, 1785, 315) << true << "Note";
    QTest::newRow("notesEdit") << "notesEdit" << QRect(150, 3210, 5715, 2025) << true << "";
}

void TestCareEvent::windowIsLaidOutAsDesigned() {
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(bool, onTab);
    QFETCH(QString, caption);
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    QCOMPARE(f->windowTitle(), QString("Scheda coltivazione Pianta"));
    QCOMPARE(f->dataGroup->title(), QString("Dati"));
    QCOMPARE(f->dataGroup->geometry(), designRect(30, 60, 11475, 7785));
    QCOMPARE(f->tabPanel->tabText(0), QString("Evento / Trattamento"));
    QCOMPARE(f->tabPanel->tabText(1), QString("Altri dati"));
    QCOMPARE(f->tabPanel->currentIndex(), 0);

    QWidget *w = f->findChild<QWidget *>(name);
    QVERIFY(w);
    QWidget *container = onTab ? static_cast<QWidget *>(f->tabPanel) : f->dataGroup;
    QCOMPARE(w->parentWidget()->mapTo(container, w->pos()),
             designRect(twips.x(), twips.y(), twips.width(), twips.height()).topLeft());
    const QSize designed = designRect(0, 0, twips.width(), twips.height()).size();
    if (qobject_cast<QLabel *>(w) || w == f->calendar) {
        // Captions and the calendar may grow to show their text whole, never shrink.
        QVERIFY(w->width() >= designed.width() && w->height() >= designed.height());
        QVERIFY(w->width() >= w->minimumSizeHint().width());
    } else {
        QCOMPARE(w->size(), designed);
    }
    if (auto *label = qobject_cast<QLabel *>(w))
        QCOMPARE(label->text(), caption);
    else if (auto *button = qobject_cast<QPushButton *>(w))
        QCOMPARE(button->text(), caption);
    QVERIFY2(!w->accessibleName().isEmpty(), "every control has a name for screen readers");
}

void TestCareEvent::windowOpensWithFocusOnTheTypeAndFixedSize() {
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    // The first box of the event takes what is typed; the calendar stays away.
    QCOMPARE(f->focusWidget(), f->typeCombo);
    QCOMPARE(f->size(), QSize(Twips::px(11640), Twips::px(7920)));
    QCOMPARE(f->minimumSize(), f->maximumSize());
    QVERIFY(!(f->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(f->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(f->typeCombo->isEditable());
    QVERIFY(f->typeCombo->currentText().isEmpty());
    // Hidden holders, the free type box and the calendar start hidden.
    for (QWidget *w : std::initializer_list<QWidget *>{
             f->plantKeyEdit, f->temperatureEdit, f->humidityEdit, f->temperatureLabel,
             f->humidityLabel, f->otherTypeEdit, f->calendar})
        QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
    QVERIFY(f->temperatureEdit->text().isEmpty());
    QVERIFY(f->humidityEdit->text().isEmpty());
    QCOMPARE(f->calendar->selectedDate(), app.clock.current.date());
    QCOMPARE(f->calendar->firstDayOfWeek(), Qt::Monday);
    QCOMPARE(f->calendar->locale().language(), QLocale::Italian);
}

void TestCareEvent::tabOrderFollowsTheLayout() {
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    QTRY_COMPARE(QApplication::focusWidget(), f->typeCombo);
    QVERIFY(f->calendar->isHidden());

    const auto nameOf = [f](QWidget *w) -> QString {
        if (w == f->tabPanel->tabBar())
            return "tabPanel";
        for (QWidget *c = w; c && c != f; c = c->parentWidget())
            if (c == f->typeCombo || c == f->calendar)
                return c->objectName();
        return w ? w->objectName() : QString("none");
    };
    QStringList visited;
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << nameOf(QApplication::focusWidget());
    }
    // Tabbing into the date box shows the calendar, reached after "..."; the free type box is
    // hidden and the plant notes lie on the other tab.
    const QStringList expected = {
        "dateEdit",     "chooseDateButton", "calendar",    "eventDescriptionEdit",
        "cancelButton", "okButton",         "tabPanel",    "identificationEdit",
        "familyEdit",   "genusEdit",        "speciesEdit", "typeCombo"};
    QCOMPARE(visited, expected);
    QVERIFY(f->calendar->isVisible());
    // Shift+Tab walks back the same way.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(nameOf(QApplication::focusWidget()), QString("speciesEdit"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(nameOf(QApplication::focusWidget()), QString("genusEdit"));
}

void TestCareEvent::typeListComesFromTheFile_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected");
    const QStringList fixed = {"Annaffiatura", "Concimazione", "Fioritura"};
    QTest::newRow("two lines") << QByteArray("Malattia\nAltro....\n")
                               << fixed + QStringList{"Malattia", "Altro...."};
    QTest::newRow("crlf, empty line, no final end")
        << QByteArray("Rinvaso\r\n\r\nPotatura") << fixed + QStringList{"Rinvaso", "", "Potatura"};
    QTest::newRow("blanks kept whole")
        << QByteArray(" Cimatura \n") << fixed + QStringList{" Cimatura "};
    QTest::newRow("empty file") << QByteArray() << fixed;
    QTest::newRow("fixed names repeated")
        << QByteArray("Fioritura\n") << fixed + QStringList{"Fioritura"};
}

void TestCareEvent::typeListComesFromTheFile() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    TestApp app;
    addPlainPlant(app);
    writeFile(app.path("trattamenti.txt"), file);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    QCOMPARE(items(f->typeCombo), expected);
    QCOMPARE(f->typeCombo->currentIndex(), -1);
}

void TestCareEvent::typeListIsReadAfreshAtEachOpening() {
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    QStringList installed;
    for (const QString &t : defaultTypes)
        installed << t;
    QCOMPARE(items(f->typeCombo), installed);
    f->close();
    writeFile(app.path("trattamenti.txt"), "Trapianto\n");
    f = openForm(app, plantKey);
    QVERIFY(f);
    QCOMPARE(items(f->typeCombo),
             QStringList({"Annaffiatura", "Concimazione", "Fioritura", "Trapianto"}));
}

void TestCareEvent::windows1252AndUtf8FilesReadAlike() {
    const QString words = QString::fromUtf8("Antiparassitario\nPotatura “forte”\nCaffè – 5€\n");
    TestApp app;
    const QString utf8Path = app.path("utf8.txt");
    const QString ansiPath = app.path("ansi.txt");
    writeFile(utf8Path, words.toUtf8());
    QByteArray ansi = QByteArray("Antiparassitario\r\nPotatura \x93"
                                 "forte\x94\r\nCaff\xE8 \x96 5\x80\r\n");
    writeFile(ansiPath, ansi);
    const auto fromUtf8 = TreatmentTypes::readFile(utf8Path);
    const auto fromAnsi = TreatmentTypes::readFile(ansiPath);
    QVERIFY(fromUtf8 && fromAnsi);
    QCOMPARE(*fromAnsi, *fromUtf8);
    QCOMPARE(fromUtf8->value(2), QString::fromUtf8("Caffè – 5€"));

    // A byte order mark is not part of the first name.
    writeFile(utf8Path, "\xEF\xBB\xBFMalattia\n");
    QCOMPARE(*TreatmentTypes::readFile(utf8Path), QStringList{"Malattia"});

    // Every byte above 0x7F decodes as Windows-1252 does, where the platform can tell.
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high.append(char(b));
    QVERIFY(!LegacyText::isUtf8(high));
    QStringDecoder system("windows-1252");
    if (system.isValid()) {
        const QString reference = system.decode(high);
        const QString ours = LegacyText::fromWindows1252(high);
        for (int i = 0; i < high.size(); ++i) {
            // Bytes left undefined by the code page may come back as U+FFFD or as themselves.
            if (reference.at(i) == QChar(0xFFFD))
                continue;
            QCOMPARE(ours.at(i), reference.at(i));
        }
    }

    QVERIFY(!TreatmentTypes::readFile(app.path("missing.txt")));
    QVERIFY(!TreatmentTypes::readFile(app.dir()));
    const QByteArray fifo = QFile::encodeName(app.path("fifo.txt"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    QVERIFY(!TreatmentTypes::readFile(app.path("fifo.txt"))); // returns, does not wait
}

void TestCareEvent::plantFieldsAreShownAndNeverSaved() {
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    QCOMPARE(f->plantKeyEdit->text(), QString::number(plantKey));
    QCOMPARE(f->identificationEdit->text(), QString("Ficus del salotto"));
    QCOMPARE(f->familyEdit->text(), QString("Moraceae"));
    QCOMPARE(f->genusEdit->text(), QString("Ficus"));
    QCOMPARE(f->speciesEdit->text(), QString("benjamina"));
    QCOMPARE(f->descriptionEdit->toPlainText(), QString("Foglie lucide"));
    QCOMPARE(f->notesEdit->toPlainText(), QString("Poca acqua d'inverno"));

    const QString plantBefore =
        app.sqlValue("SELECT identificazione || famiglia || genere || specie || descrizione || "
                     "note FROM piante")
            .toString();
    for (QLineEdit *e : {f->identificationEdit, f->familyEdit, f->genusEdit, f->speciesEdit})
        e->setText("cambiato");
    f->descriptionEdit->setPlainText("cambiato");
    f->notesEdit->setPlainText("cambiato");
    pick(f->typeCombo, "Rinvaso");
    QVERIFY(f->save());
    QCOMPARE(app.sqlValue("SELECT identificazione || famiglia || genere || specie || "
                          "descrizione || note FROM piante")
                 .toString(),
             plantBefore);
    QCOMPARE(app.count("piante"), 1);
    // The plant's boxes keep what they show after the save.
    QCOMPARE(f->identificationEdit->text(), QString("cambiato"));
    QCOMPARE(f->plantKeyEdit->text(), QString::number(plantKey));
}

void TestCareEvent::pictureIsFittedIntoTheFrame_data() {
    QTest::addColumn<QSize>("twips");
    QTest::addColumn<QSizeF>("paintedTwips");
    QTest::newRow("landscape, wider than the frame") << QSize(9030, 3585) << QSizeF(4515, 1792.5);
    QTest::newRow("portrait, taller than the frame") << QSize(2000, 7170) << QSizeF(1000, 3585);
    QTest::newRow("fits: natural size") << QSize(3000, 2000) << QSizeF(3000, 2000);
}

void TestCareEvent::pictureIsFittedIntoTheFrame() {
    QFETCH(QSize, twips);
    QFETCH(QSizeF, paintedTwips);
    TestApp app;
    addPlainPlant(app, "foto.png");
    app.makePicture(QString("img/%1/foto.png").arg(plantKey), Twips::px(twips.width()),
                    Twips::px(twips.height()), "PNG");
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    QCOMPARE(f->heldPicture.size(), QSize(Twips::px(twips.width()), Twips::px(twips.height())));
    const QSize painted = f->pictureFrame->paintedSize();
    // One pixel is 15 twips; the painted size is rounded to whole pixels.
    QVERIFY2(qAbs(painted.width() * 15 - paintedTwips.width()) <= 15 &&
                 qAbs(painted.height() * 15 - paintedTwips.height()) <= 15,
             qPrintable(QString("%1x%2").arg(painted.width()).arg(painted.height())));
    // The plant's own picture (green), not the placeholder.
    QCOMPARE(f->pictureFrame->image().pixelColor(2, 2), QColor(40, 140, 60));
}

void TestCareEvent::failedLoadShowsThePlaceholderAndStops_data() {
    QTest::addColumn<QString>("broken");
    QTest::addColumn<bool>("typesLoaded");
    QTest::addColumn<bool>("plantLoaded");
    QTest::addColumn<bool>("eventLoaded");
    QTest::addColumn<bool>("ownPicture");
    QTest::newRow("all well") << "nothing" << true << true << true << true;
    QTest::newRow("no trattamenti.txt") << "types" << false << false << false << false;
    QTest::newRow("no archive") << "archive" << true << false << false << false;
    QTest::newRow("plant deleted") << "plant" << true << false << false << false;
    QTest::newRow("event deleted") << "event" << true << true << false << false;
    // A missing picture shows the placeholder but must not keep the event off the screen,
    // or "OK" would overwrite its date and description with the defaults.
    QTest::newRow("picture file missing") << "picture" << true << true << true << false;
    QTest::newRow("plant without picture") << "none" << true << true << true << false;
}

void TestCareEvent::failedLoadShowsThePlaceholderAndStops() {
    QFETCH(QString, broken);
    QFETCH(bool, typesLoaded);
    QFETCH(bool, plantLoaded);
    QFETCH(bool, eventLoaded);
    QFETCH(bool, ownPicture);
    TestApp app;
    addPlainPlant(app, broken == "none" ? "nd.jpg" : "foto.png");
    if (broken != "picture")
        app.makePicture(QString("img/%1/foto.png").arg(plantKey), 50, 40, "PNG");
    app.addEvent(eventKey, plantKey, "Potatura", "2026-03-07", {{"descrizione", "rami secchi"}});
    app.main();
    if (broken == "types")
        QVERIFY(QFile::remove(app.path("trattamenti.txt")));
    if (broken == "archive")
        QVERIFY(QFile::remove(app.path("dbpiante.mdb")));
    if (broken == "plant")
        app.sql("DELETE FROM piante");
    if (broken == "event")
        app.sql("DELETE FROM coltivazione");

    CareEventDialog *f = openForm(app, plantKey, eventKey);
    QVERIFY(f);
    QCOMPARE(app.messages.said.size(), 0);
    QCOMPARE(f->typeCombo->count() > 0, typesLoaded);
    QCOMPARE(f->plantKeyEdit->text().isEmpty(), !plantLoaded);
    QCOMPARE(f->identificationEdit->text().isEmpty(), !plantLoaded);
    QCOMPARE(f->typeCombo->currentText(), QString(eventLoaded ? "Potatura" : ""));
    QCOMPARE(f->dateEdit->text(), QString(eventLoaded ? "07/03/2026" : ""));
    QCOMPARE(f->eventDescriptionEdit->toPlainText(), QString(eventLoaded ? "rami secchi" : ""));

    const QImage placeholder = PictureBox::load(app.path("img/nd.jpg"));
    QVERIFY(!placeholder.isNull());
    if (ownPicture) {
        QCOMPARE(f->heldPicture.size(), QSize(50, 40));
        QCOMPARE(f->pictureFrame->paintedSize(), QSize(50, 40));
        QCOMPARE(f->pictureFrame->image().pixelColor(2, 2), QColor(40, 140, 60));
    } else {
        QCOMPARE(f->heldPicture.pixels(), placeholder);
        QCOMPARE(f->pictureFrame->paintedSize(),
                 FrameFit::paintedSize(placeholder.size(), f->pictureFrame->size()).toSize());
    }
    QVERIFY(!f->pictureFrame->isBlank());
}

void TestCareEvent::storedTypeShowsAsKnownOrOther_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("text3");
    QTest::newRow("fixed") << "Concimazione"
                           << "Concimazione"
                           << "";
    QTest::newRow("from the file") << "Taglio radici"
                                   << "Taglio radici"
                                   << "";
    QTest::newRow("lower case is not known") << "annaffiatura"
                                             << "Altro...."
                                             << "annaffiatura";
    QTest::newRow("free text") << "Trapianto in giardino"
                               << "Altro...."
                               << "Trapianto in giardino";
    QTest::newRow("empty") << ""
                           << "Altro...."
                           << "";
}

void TestCareEvent::storedTypeShowsAsKnownOrOther() {
    QFETCH(QString, stored);
    QFETCH(QString, combo);
    QFETCH(QString, text3);
    TestApp app;
    addPlainPlant(app);
    app.addEvent(eventKey, plantKey, stored, "2026-05-01");
    CareEventDialog *f = openForm(app, plantKey, eventKey);
    QVERIFY(f);
    QCOMPARE(f->typeCombo->currentText(), combo);
    QCOMPARE(f->otherTypeEdit->text(), text3);
    QVERIFY(f->otherTypeEdit->isHidden());
    QCOMPARE(f->dateEdit->text(), QString("01/05/2026"));
}

void TestCareEvent::itemClicksToggleTheFreeTypeBox() {
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    pick(f->typeCombo, "Altro....");
    QVERIFY(f->otherTypeEdit->isVisible());
    f->otherTypeEdit->setText("Trapianto");
    pick(f->typeCombo, "Fioritura");
    QVERIFY(f->otherTypeEdit->isHidden());
    QCOMPARE(f->otherTypeEdit->text(), QString("Trapianto"));
    // Typing the words is not a click on the item.
    f->typeCombo->setEditText("Altro....");
    QVERIFY(f->otherTypeEdit->isHidden());
    // Picking from the keyboard is a click too.
    f->typeCombo->setCurrentIndex(f->typeCombo->count() - 2);
    f->typeCombo->setFocus();
    QTest::keyClick(f->typeCombo, Qt::Key_Down);
    QCOMPARE(f->typeCombo->currentText(), QString("Altro...."));
    QVERIFY(f->otherTypeEdit->isVisible());
}

void TestCareEvent::calendarShowsAndPicksADate() {
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    QVERIFY(f->calendar->isHidden());
    QTest::mouseClick(f->chooseDateButton, Qt::LeftButton);
    QVERIFY(f->calendar->isVisible());
    emit f->calendar->clicked(QDate(2027, 1, 5));
    QCOMPARE(f->dateEdit->text(), QString("5/1/2027"));
    QVERIFY(f->calendar->isHidden());

    // Focus on the date box shows it; Enter on a day picks it.
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    f->dateEdit->setFocus();
    QTRY_VERIFY(f->calendar->isVisible());
    f->calendar->setSelectedDate(QDate(2026, 11, 23));
    QWidget *days = f->calendar->findChild<QAbstractItemView *>();
    QVERIFY(days);
    days->setFocus();
    QTest::keyClick(days, Qt::Key_Return);
    QCOMPARE(f->dateEdit->text(), QString("23/11/2026"));
    QVERIFY(f->calendar->isHidden());
    QCOMPARE(QApplication::focusWidget(), f->dateEdit);
}

void TestCareEvent::savingANewEvent_data() {
    QTest::addColumn<QString>("type"); // item picked, or typed when it starts with "="
    QTest::addColumn<QString>("text3");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("storedType");
    QTest::addColumn<QString>("storedDate");
    QTest::addColumn<QString>("storedDescription");
    QTest::newRow("type only: defaults") << "Concimazione"
                                         << ""
                                         << ""
                                         << ""
                                         << "Concimazione"
                                         << "2026-12-07"
                                         << " ";
    QTest::newRow("no-date text") << "Fioritura"
                                  << ""
                                  << "00/00/0000"
                                  << "rosa"
                                  << "Fioritura"
                                  << "2026-12-07"
                                  << "rosa";
    QTest::newRow("picked date") << "Annaffiatura"
                                 << ""
                                 << "5/1/2027"
                                 << "poca"
                                 << "Annaffiatura"
                                 << "2027-01-05"
                                 << "poca";
    QTest::newRow("other with a free text") << "Altro...."
                                            << "Trapianto in giardino"
                                            << "07/03/2026"
                                            << ""
                                            << "Trapianto in giardino"
                                            << "2026-03-07"
                                            << " ";
    QTest::newRow("other with an empty free text") << "Altro...."
                                                   << ""
                                                   << ""
                                                   << ""
                                                   << ""
                                                   << "2026-12-07"
                                                   << " ";
    QTest::newRow("typed type") << "=Travaso"
                                << ""
                                << ""
                                << ""
                                << "Travaso"
                                << "2026-12-07"
                                << " ";
    QTest::newRow("combo emptied, free text left") << "="
                                                   << "vecchio"
                                                   << ""
                                                   << ""
                                                   << ""
                                                   << "2026-12-07"
                                                   << " ";
}

void TestCareEvent::savingANewEvent() {
    QFETCH(QString, type);
    QFETCH(QString, text3);
    QFETCH(QString, date);
    QFETCH(QString, description);
    QFETCH(QString, storedType);
    QFETCH(QString, storedDate);
    QFETCH(QString, storedDescription);
    TestApp app;
    addPlainPlant(app);
    app.main();
    QCOMPARE(app.state().listMode, ListMode::Plants);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    if (type.startsWith('='))
        f->typeCombo->setEditText(type.mid(1));
    else
        pick(f->typeCombo, type);
    f->otherTypeEdit->setText(text3);
    f->dateEdit->setText(date);
    f->eventDescriptionEdit->setPlainText(description);

    QVERIFY(f->save());
    QCOMPARE(app.messages.texts(), QStringList{"Trattamento inserito correttamente"});
    QCOMPARE(app.messages.said.last().icon, Messages::Icon::Information);
    QCOMPARE(app.count("coltivazione"), 1);
    const qint64 key = TimestampKey::make(app.clock.current);
    QCOMPARE(eventsDigest(app), QString("%1|%2|%3|%4|0.0|0.0|%5")
                                    .arg(key)
                                    .arg(plantKey)
                                    .arg(storedType, storedDate, storedDescription));
    // Event fields emptied, the plant's kept, the free box left as it was.
    for (QLineEdit *e : {f->dateEdit, f->otherTypeEdit, f->temperatureEdit, f->humidityEdit})
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
    QVERIFY(f->typeCombo->currentText().isEmpty());
    QVERIFY(f->eventDescriptionEdit->toPlainText().isEmpty());
    QCOMPARE(f->plantKeyEdit->text(), QString::number(plantKey));
    QCOMPARE(f->otherTypeEdit->isVisible(), type == "Altro....");
    // The main window now lists the plant's events.
    QCOMPARE(app.state().listMode, ListMode::Events);
    QCOMPARE(app.main().listView->list()->rowCount(), 1);
    QCOMPARE(app.main().listView->list()->text(0, 6), QString::number(key));
    QVERIFY(f->isVisible());
}

void TestCareEvent::refusedSaveWritesNothing_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("defaultsWritten");
    QTest::newRow("no type") << ""
                             << ""
                             << "Inserire un tipo di intervento" << false;
    QTest::newRow("not a calendar date") << "Rinvaso"
                                         << "31/02/2026"
                                         << "Controllare i dati inseriti" << true;
    QTest::newRow("not a date at all") << "Rinvaso"
                                       << "ieri"
                                       << "Controllare i dati inseriti" << true;
}

void TestCareEvent::refusedSaveWritesNothing() {
    QFETCH(QString, type);
    QFETCH(QString, date);
    QFETCH(QString, message);
    QFETCH(bool, defaultsWritten);
    TestApp app;
    addPlainPlant(app);
    app.main();
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    if (!type.isEmpty())
        pick(f->typeCombo, type);
    f->dateEdit->setText(date);
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    QVERIFY(!f->save());
    QCOMPARE(app.messages.texts(), QStringList{message});
    QCOMPARE(app.messages.said.last().icon, Messages::Icon::None);
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    QCOMPARE(app.state().listMode, ListMode::Plants);
    // The entry stays, with the defaults when they were reached.
    QCOMPARE(f->typeCombo->currentText(), type);
    QCOMPARE(f->dateEdit->text(), date);
    QCOMPARE(f->temperatureEdit->text(), QString(defaultsWritten ? "0" : ""));
    QCOMPARE(f->eventDescriptionEdit->toPlainText(), QString(defaultsWritten ? " " : ""));
}

void TestCareEvent::changingAnEventKeepsItsKey() {
    TestApp app;
    addPlainPlant(app);
    app.addEvent(eventKey, plantKey, "Potatura", "2026-03-07",
                 {{"descrizione", "rami"}, {"temperatura", 18.5}, {"umidita", 60}});
    CareEventDialog *f = openForm(app, plantKey, eventKey);
    QVERIFY(f);
    pick(f->typeCombo, "Altro....");
    f->otherTypeEdit->setText("Trapianto");
    f->dateEdit->setText("8/3/2026");
    QVERIFY(f->save());
    // Temperature and humidity are never shown, so a change writes 0 into them.
    QCOMPARE(eventsDigest(app),
             QString("%1|%2|Trapianto|2026-03-08|0.0|0.0|rami").arg(eventKey).arg(plantKey));
    // The mode stays: a second "OK" changes the same event again.
    pick(f->typeCombo, "Cimatura");
    QVERIFY(f->save());
    QCOMPARE(app.count("coltivazione"), 1);
    QCOMPARE(eventsDigest(app),
             QString("%1|%2|Cimatura|2026-12-07|0.0|0.0| ").arg(eventKey).arg(plantKey));
    QCOMPARE(app.state().idtratsel, double(eventKey));
}

void TestCareEvent::changeOfADeletedEventWritesNothing() {
    TestApp app;
    addPlainPlant(app);
    app.addEvent(eventKey, plantKey, "Potatura", "2026-03-07");
    app.addEvent(eventKey + 1, plantKey, "Rinvaso", "2026-03-08");
    CareEventDialog *f = openForm(app, plantKey, eventKey);
    QVERIFY(f);
    app.sql("DELETE FROM coltivazione WHERE idtrat = ?", {eventKey});
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    pick(f->typeCombo, "Fioritura");
    QVERIFY(!f->save());
    QCOMPARE(app.messages.texts(), QStringList{"Controllare i dati inseriti"});
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    // The missing event is reported before the type is even looked at.
    app.messages.clear();
    f->typeCombo->setEditText("");
    QVERIFY(!f->save());
    QCOMPARE(app.messages.texts(), QStringList{"Controllare i dati inseriti"});
}

void TestCareEvent::eventsSavedInOneSecondGetTwoKeys() {
    TestApp app;
    addPlainPlant(app);
    const qint64 made = TimestampKey::make(app.clock.current);
    // Another plant's event already holds the made key.
    app.addEvent(made, 99, "Fioritura", "2026-01-01");
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    pick(f->typeCombo, "Annaffiatura");
    QVERIFY(f->save());
    pick(f->typeCombo, "Concimazione");
    QVERIFY(f->save());
    QCOMPARE(app.count("coltivazione"), 3);
    QCOMPARE(app.sqlValue("SELECT idtrat FROM coltivazione WHERE intervento = 'Annaffiatura'")
                 .toLongLong(),
             made + 1);
    QCOMPARE(app.sqlValue("SELECT idtrat FROM coltivazione WHERE intervento = 'Concimazione'")
                 .toLongLong(),
             made + 2);
}

void TestCareEvent::failedListFillIsReported() {
    TestApp app;
    addPlainPlant(app);
    app.main();
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    pick(f->typeCombo, "Annaffiatura");
    // The archive goes away between the save and the list fill.
    app.messages.onSaid = [&](const FakeMessages::Said &s) {
        if (s.text == "Trattamento inserito correttamente")
            QFile::rename(app.path("dbpiante.mdb"), app.path("altrove.mdb"));
    };
    QVERIFY(!f->save());
    QCOMPARE(app.messages.texts(),
             QStringList({"Trattamento inserito correttamente", "Controllare i dati inseriti"}));
    QCOMPARE(app.state().listMode, ListMode::Plants);
}

void TestCareEvent::cancelClosesWithoutSaving() {
    TestApp app;
    addPlainPlant(app);
    app.main();
    QPointer<CareEventDialog> f = openForm(app, plantKey);
    QVERIFY(f);
    pick(f->typeCombo, "Annaffiatura");
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    QTest::mouseClick(f->cancelButton, Qt::LeftButton);
    QTRY_VERIFY(f.isNull());
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    QCOMPARE(app.state().listMode, ListMode::Plants);
    QVERIFY(app.messages.said.isEmpty());

    // Without a selected plant the window does not open at all.
    app.state().idpianta = 0;
    const auto opened = app.modal.opened.size();
    app.main().newEvent();
    QCOMPARE(app.modal.opened.size(), opened);
    QCOMPARE(app.messages.texts(), QStringList{"Seleziona una pianta dall'elenco"});
}

void TestCareEvent::wateringShowsInThePlantList() {
    TestApp app;
    app.addPlant(412202636000, {{"specie", "Olea"}, {"identificazione", "Ulivo"}});
    addPlainPlant(app);
    MainWindow &main = app.main();
    main.show();
    ReportList *list = main.listView;
    QCOMPARE(list->list()->rowCount(), 2);
    // Click the row of the ficus, then "Scheda trattamenti".
    int row = list->list()->text(0, 7) == QString::number(plantKey) ? 0 : 1;
    const QRect cell = list->visualRect(list->list()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(app.state().idpianta, double(plantKey));
    QTest::mouseClick(main.newEventButton, Qt::LeftButton);
    auto *f = qobject_cast<CareEventDialog *>(app.modal.last());
    QVERIFY(f);
    QCOMPARE(f->identificationEdit->text(), QString("Ficus del salotto"));

    pick(f->typeCombo, "Annaffiatura");
    QTest::mouseClick(f->chooseDateButton, Qt::LeftButton);
    emit f->calendar->clicked(QDate(2026, 12, 5));
    QTest::mouseClick(f->okButton, Qt::LeftButton);
    QCOMPARE(app.messages.texts(), QStringList{"Trattamento inserito correttamente"});
    QCOMPARE(app.state().listMode, ListMode::Events);
    QTest::mouseClick(f->cancelButton, Qt::LeftButton);

    QVERIFY(triggerAction(&main, "popupShowPlantsAction"));
    QCOMPARE(app.state().listMode, ListMode::Plants);
    row = list->list()->text(0, 7) == QString::number(plantKey) ? 0 : 1;
    QCOMPARE(list->list()->text(row, 3), QString("2026/12/05 A"));
    QCOMPARE(list->list()->text(1 - row, 3), QString());
}

// Saves pictures of the window in both modes when SILVARO_SHOTS names a folder.
void TestCareEvent::screenshots() {
    if (qEnvironmentVariableIsEmpty("SILVARO_SHOTS"))
        QSKIP("set SILVARO_SHOTS to a folder to get pictures of the window");
    TestApp app;
    addPlainPlant(app, "foto.jpg");
    QImage photo(640, 420, QImage::Format_RGB32);
    photo.fill(QColor(60, 120, 70));
    {
        QPainter p(&photo);
        p.setBrush(QColor(230, 200, 60));
        p.drawEllipse(QPoint(320, 210), 150, 110);
    }
    QDir().mkpath(app.path(QString("img/%1").arg(plantKey)));
    QVERIFY(photo.save(app.path(QString("img/%1/foto.jpg").arg(plantKey))));
    app.addEvent(eventKey, plantKey, "Trapianto in giardino", "2026-03-07",
                 {{"descrizione", "Nuova buca, terriccio e sabbia"}});
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    saveShot(f, "form2-new");
    f->close();
    f = openForm(app, plantKey, eventKey);
    QVERIFY(f);
    pick(f->typeCombo, "Altro....");
    f->showCalendar();
    saveShot(f, "form2-change");
    f->tabPanel->setCurrentIndex(1);
    saveShot(f, "form2-other");
}

QTEST_MAIN(TestCareEvent)
#include "test_careevent.moc"
