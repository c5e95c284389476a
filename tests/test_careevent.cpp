#include "archive/timestampkey.h"
#include "careevent/careeventdialog.h"
#include "careevent/legacytext.h"
#include "careevent/treatmenttypes.h"
#include "mainwindow/mainwindow.h"
#include "support/testapp.h"
#include "ui/framefit.h"
#include "ui/picturebox.h"
#include "ui/picturebutton.h"
#include "ui/reportlist.h"
#include "ui/tabpanel.h"
#include "ui/twips.h"

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
        app.main().Command2_Click();
    else
        app.main().modschetra_Click();
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
    QTest::addColumn<QRect>("twips"); // relative to Frame1, or to SSTab1 for tab controls
    QTest::addColumn<bool>("onTab");
    QTest::addColumn<QString>("caption");
    QTest::newRow("SSTab1") << "SSTab1" << QRect(150, 270, 6165, 6735) << false << "";
    QTest::newRow("Picture1") << "Picture1" << QRect(6660, 570, 4515, 3585) << false << "";
    QTest::newRow("Command1") << "Command1" << QRect(7740, 7200, 1815, 435) << false << "Annulla";
    QTest::newRow("Command2") << "Command2" << QRect(9660, 7200, 1545, 405) << false << "OK";
    QTest::newRow("Text9") << "Text9" << QRect(7440, 8610, 1455, 345) << false << "";
    QTest::newRow("Label12") << "Label12" << QRect(1860, 7965, 1965, 315) << false
                             << "Temperatura °C";
    QTest::newRow("Text11") << "Text11" << QRect(3240, 8415, 1245, 345) << false << "";
    QTest::newRow("Label13") << "Label13" << QRect(1860, 8430, 1965, 315) << false << "Umidità %";
    QTest::newRow("Label7") << "Label7" << QRect(120, 540, 1125, 255) << true << "Identificazione";
    QTest::newRow("Text8") << "Text8" << QRect(2250, 510, 3765, 345) << true << "";
    QTest::newRow("Label5") << "Label5" << QRect(90, 1830, 1965, 315) << true << "Specie";
    QTest::newRow("Text7") << "Text7" << QRect(2250, 1830, 3765, 345) << true << "";
    QTest::newRow("Label1") << "Label1" << QRect(210, 2400, 2205, 285) << true
                            << "Tipo Intervento/Evento";
    QTest::newRow("Combo1") << "Combo1" << QRect(180, 2670, 2835, 315) << true << "";
    QTest::newRow("Label8") << "Label8" << QRect(3180, 2460, 1275, 225) << true << "Data";
    QTest::newRow("Text12") << "Text12" << QRect(3180, 2670, 1545, 285) << true << "";
    QTest::newRow("Command3") << "Command3" << QRect(4800, 2670, 555, 315) << true << "...";
    QTest::newRow("Text3") << "Text3" << QRect(180, 3150, 5355, 345) << true << "";
    QTest::newRow("Label2") << "Label2" << QRect(180, 3660, 3735, 255) << true
                            << "Descrizione trattamento";
    QTest::newRow("Text4") << "Text4" << QRect(180, 3930, 5685, 2535) << true << "";
    QTest::newRow("Calendar1") << "Calendar1" << QRect(2880, 2670, 2490, 2370) << true << "";
    QTest::newRow("Label6") << "Label6" << QRect(180, 450, 1965, 315) << true << "Descrizione";
    QTest::newRow("Text1") << "Text1" << QRect(150, 720, 5715, 2025) << true << "";
    QTest::newRow("Label9") << "Label9" << QRect(180, 2940, 1785, 315) << true << "Note";
    QTest::newRow("Text2") << "Text2" << QRect(150, 3210, 5715, 2025) << true << "";
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
    QCOMPARE(f->Frame1->title(), QString("Dati"));
    QCOMPARE(f->Frame1->geometry(), designRect(30, 60, 11475, 7785));
    QCOMPARE(f->SSTab1->tabText(0), QString("Evento / Trattamento"));
    QCOMPARE(f->SSTab1->tabText(1), QString("Altri dati"));
    QCOMPARE(f->SSTab1->currentIndex(), 0);

    QWidget *w = f->findChild<QWidget *>(name);
    QVERIFY(w);
    QWidget *container = onTab ? static_cast<QWidget *>(f->SSTab1) : f->Frame1;
    QCOMPARE(w->parentWidget()->mapTo(container, w->pos()),
             designRect(twips.x(), twips.y(), twips.width(), twips.height()).topLeft());
    const QSize designed = designRect(0, 0, twips.width(), twips.height()).size();
    if (qobject_cast<QLabel *>(w) || w == f->Calendar1) {
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
    QCOMPARE(f->focusWidget(), f->Combo1);
    QCOMPARE(f->size(), QSize(Twips::px(11640), Twips::px(7920)));
    QCOMPARE(f->minimumSize(), f->maximumSize());
    QVERIFY(!(f->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(f->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(f->Combo1->isEditable());
    QVERIFY(f->Combo1->currentText().isEmpty());
    // Hidden holders, the free type box and the calendar start hidden.
    for (QWidget *w : std::initializer_list<QWidget *>{f->Text9, f->Text10, f->Text11, f->Label12,
                                                       f->Label13, f->Text3, f->Calendar1})
        QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
    QVERIFY(f->Text10->text().isEmpty());
    QVERIFY(f->Text11->text().isEmpty());
    QCOMPARE(f->Calendar1->selectedDate(), app.clock.current.date());
    QCOMPARE(f->Calendar1->firstDayOfWeek(), Qt::Monday);
    QCOMPARE(f->Calendar1->locale().language(), QLocale::Italian);
}

void TestCareEvent::tabOrderFollowsTheLayout() {
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    QTRY_COMPARE(QApplication::focusWidget(), f->Combo1);
    QVERIFY(f->Calendar1->isHidden());

    const auto nameOf = [f](QWidget *w) -> QString {
        if (w == f->SSTab1->tabBar())
            return "SSTab1";
        for (QWidget *c = w; c && c != f; c = c->parentWidget())
            if (c == f->Combo1 || c == f->Calendar1)
                return c->objectName();
        return w ? w->objectName() : QString("none");
    };
    QStringList visited;
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << nameOf(QApplication::focusWidget());
    }
    // Tabbing into the date box shows the calendar, reached after "..."; Text3 is hidden and
    // the plant notes lie on the other tab.
    const QStringList expected = {"Text12",   "Command3", "Calendar1", "Text4",
                                  "Command1", "Command2", "SSTab1",    "Text8",
                                  "Text5",    "Text6",    "Text7",     "Combo1"};
    QCOMPARE(visited, expected);
    QVERIFY(f->Calendar1->isVisible());
    // Shift+Tab walks back the same way.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(nameOf(QApplication::focusWidget()), QString("Text7"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(nameOf(QApplication::focusWidget()), QString("Text6"));
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
    QCOMPARE(items(f->Combo1), expected);
    QCOMPARE(f->Combo1->currentIndex(), -1);
}

void TestCareEvent::typeListIsReadAfreshAtEachOpening() {
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    QStringList installed;
    for (const QString &t : defaultTypes)
        installed << t;
    QCOMPARE(items(f->Combo1), installed);
    f->close();
    writeFile(app.path("trattamenti.txt"), "Trapianto\n");
    f = openForm(app, plantKey);
    QVERIFY(f);
    QCOMPARE(items(f->Combo1),
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
    QCOMPARE(f->Text9->text(), QString::number(plantKey));
    QCOMPARE(f->Text8->text(), QString("Ficus del salotto"));
    QCOMPARE(f->Text5->text(), QString("Moraceae"));
    QCOMPARE(f->Text6->text(), QString("Ficus"));
    QCOMPARE(f->Text7->text(), QString("benjamina"));
    QCOMPARE(f->Text1->toPlainText(), QString("Foglie lucide"));
    QCOMPARE(f->Text2->toPlainText(), QString("Poca acqua d'inverno"));

    const QString plantBefore =
        app.sqlValue("SELECT identificazione || famiglia || genere || specie || descrizione || "
                     "note FROM piante")
            .toString();
    for (QLineEdit *e : {f->Text8, f->Text5, f->Text6, f->Text7})
        e->setText("cambiato");
    f->Text1->setPlainText("cambiato");
    f->Text2->setPlainText("cambiato");
    pick(f->Combo1, "Rinvaso");
    QVERIFY(f->Command2_Click());
    QCOMPARE(app.sqlValue("SELECT identificazione || famiglia || genere || specie || "
                          "descrizione || note FROM piante")
                 .toString(),
             plantBefore);
    QCOMPARE(app.count("piante"), 1);
    // The plant's boxes keep what they show after the save.
    QCOMPARE(f->Text8->text(), QString("cambiato"));
    QCOMPARE(f->Text9->text(), QString::number(plantKey));
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
    QCOMPARE(f->Picture2.size(), QSize(Twips::px(twips.width()), Twips::px(twips.height())));
    const QSize painted = f->Picture1->paintedSize();
    // One pixel is 15 twips; the painted size is rounded to whole pixels.
    QVERIFY2(qAbs(painted.width() * 15 - paintedTwips.width()) <= 15 &&
                 qAbs(painted.height() * 15 - paintedTwips.height()) <= 15,
             qPrintable(QString("%1x%2").arg(painted.width()).arg(painted.height())));
    // The plant's own picture (green), not the placeholder.
    QCOMPARE(f->Picture1->image().pixelColor(2, 2), QColor(40, 140, 60));
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
    QCOMPARE(f->Combo1->count() > 0, typesLoaded);
    QCOMPARE(f->Text9->text().isEmpty(), !plantLoaded);
    QCOMPARE(f->Text8->text().isEmpty(), !plantLoaded);
    QCOMPARE(f->Combo1->currentText(), QString(eventLoaded ? "Potatura" : ""));
    QCOMPARE(f->Text12->text(), QString(eventLoaded ? "07/03/2026" : ""));
    QCOMPARE(f->Text4->toPlainText(), QString(eventLoaded ? "rami secchi" : ""));

    const QImage placeholder = PictureBox::load(app.path("img/nd.jpg"));
    QVERIFY(!placeholder.isNull());
    if (ownPicture) {
        QCOMPARE(f->Picture2.size(), QSize(50, 40));
        QCOMPARE(f->Picture1->paintedSize(), QSize(50, 40));
        QCOMPARE(f->Picture1->image().pixelColor(2, 2), QColor(40, 140, 60));
    } else {
        QCOMPARE(f->Picture2.pixels(), placeholder);
        QCOMPARE(f->Picture1->paintedSize(),
                 FrameFit::paintedSize(placeholder.size(), f->Picture1->size()).toSize());
    }
    QVERIFY(!f->Picture1->isBlank());
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
    QCOMPARE(f->Combo1->currentText(), combo);
    QCOMPARE(f->Text3->text(), text3);
    QVERIFY(f->Text3->isHidden());
    QCOMPARE(f->Text12->text(), QString("01/05/2026"));
}

void TestCareEvent::itemClicksToggleTheFreeTypeBox() {
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    pick(f->Combo1, "Altro....");
    QVERIFY(f->Text3->isVisible());
    f->Text3->setText("Trapianto");
    pick(f->Combo1, "Fioritura");
    QVERIFY(f->Text3->isHidden());
    QCOMPARE(f->Text3->text(), QString("Trapianto"));
    // Typing the words is not a click on the item.
    f->Combo1->setEditText("Altro....");
    QVERIFY(f->Text3->isHidden());
    // Picking from the keyboard is a click too.
    f->Combo1->setCurrentIndex(f->Combo1->count() - 2);
    f->Combo1->setFocus();
    QTest::keyClick(f->Combo1, Qt::Key_Down);
    QCOMPARE(f->Combo1->currentText(), QString("Altro...."));
    QVERIFY(f->Text3->isVisible());
}

void TestCareEvent::calendarShowsAndPicksADate() {
    TestApp app;
    addPlainPlant(app);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    QVERIFY(f->Calendar1->isHidden());
    QTest::mouseClick(f->Command3, Qt::LeftButton);
    QVERIFY(f->Calendar1->isVisible());
    emit f->Calendar1->clicked(QDate(2027, 1, 5));
    QCOMPARE(f->Text12->text(), QString("5/1/2027"));
    QVERIFY(f->Calendar1->isHidden());

    // Focus on the date box shows it; Enter on a day picks it.
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    f->Text12->setFocus();
    QTRY_VERIFY(f->Calendar1->isVisible());
    f->Calendar1->setSelectedDate(QDate(2026, 11, 23));
    QWidget *days = f->Calendar1->findChild<QAbstractItemView *>();
    QVERIFY(days);
    days->setFocus();
    QTest::keyClick(days, Qt::Key_Return);
    QCOMPARE(f->Text12->text(), QString("23/11/2026"));
    QVERIFY(f->Calendar1->isHidden());
    QCOMPARE(QApplication::focusWidget(), f->Text12);
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
    QCOMPARE(app.state().modolista, ProgramState::plantMode);
    CareEventDialog *f = openForm(app, plantKey);
    QVERIFY(f);
    if (type.startsWith('='))
        f->Combo1->setEditText(type.mid(1));
    else
        pick(f->Combo1, type);
    f->Text3->setText(text3);
    f->Text12->setText(date);
    f->Text4->setPlainText(description);

    QVERIFY(f->Command2_Click());
    QCOMPARE(app.messages.texts(), QStringList{"Trattamento inserito correttamente"});
    QCOMPARE(app.messages.said.last().icon, Messages::Icon::Information);
    QCOMPARE(app.count("coltivazione"), 1);
    const qint64 key = TimestampKey::make(app.clock.current);
    QCOMPARE(eventsDigest(app), QString("%1|%2|%3|%4|0.0|0.0|%5")
                                    .arg(key)
                                    .arg(plantKey)
                                    .arg(storedType, storedDate, storedDescription));
    // Event fields emptied, the plant's kept, the free box left as it was.
    for (QLineEdit *e : {f->Text12, f->Text3, f->Text10, f->Text11})
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
    QVERIFY(f->Combo1->currentText().isEmpty());
    QVERIFY(f->Text4->toPlainText().isEmpty());
    QCOMPARE(f->Text9->text(), QString::number(plantKey));
    QCOMPARE(f->Text3->isVisible(), type == "Altro....");
    // The main window now lists the plant's events.
    QCOMPARE(app.state().modolista, ProgramState::eventMode);
    QCOMPARE(app.main().lvw1->list()->rowCount(), 1);
    QCOMPARE(app.main().lvw1->list()->text(0, 6), QString::number(key));
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
        pick(f->Combo1, type);
    f->Text12->setText(date);
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    QVERIFY(!f->Command2_Click());
    QCOMPARE(app.messages.texts(), QStringList{message});
    QCOMPARE(app.messages.said.last().icon, Messages::Icon::None);
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    QCOMPARE(app.state().modolista, ProgramState::plantMode);
    // The entry stays, with the defaults when they were reached.
    QCOMPARE(f->Combo1->currentText(), type);
    QCOMPARE(f->Text12->text(), date);
    QCOMPARE(f->Text10->text(), QString(defaultsWritten ? "0" : ""));
    QCOMPARE(f->Text4->toPlainText(), QString(defaultsWritten ? " " : ""));
}

void TestCareEvent::changingAnEventKeepsItsKey() {
    TestApp app;
    addPlainPlant(app);
    app.addEvent(eventKey, plantKey, "Potatura", "2026-03-07",
                 {{"descrizione", "rami"}, {"temperatura", 18.5}, {"umidita", 60}});
    CareEventDialog *f = openForm(app, plantKey, eventKey);
    QVERIFY(f);
    pick(f->Combo1, "Altro....");
    f->Text3->setText("Trapianto");
    f->Text12->setText("8/3/2026");
    QVERIFY(f->Command2_Click());
    // Temperature and humidity are never shown, so a change writes 0 into them.
    QCOMPARE(eventsDigest(app),
             QString("%1|%2|Trapianto|2026-03-08|0.0|0.0|rami").arg(eventKey).arg(plantKey));
    // The mode stays: a second "OK" changes the same event again.
    pick(f->Combo1, "Cimatura");
    QVERIFY(f->Command2_Click());
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
    pick(f->Combo1, "Fioritura");
    QVERIFY(!f->Command2_Click());
    QCOMPARE(app.messages.texts(), QStringList{"Controllare i dati inseriti"});
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    // The missing event is reported before the type is even looked at.
    app.messages.clear();
    f->Combo1->setEditText("");
    QVERIFY(!f->Command2_Click());
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
    pick(f->Combo1, "Annaffiatura");
    QVERIFY(f->Command2_Click());
    pick(f->Combo1, "Concimazione");
    QVERIFY(f->Command2_Click());
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
    pick(f->Combo1, "Annaffiatura");
    // The archive goes away between the save and the list fill.
    app.messages.onSaid = [&](const FakeMessages::Said &s) {
        if (s.text == "Trattamento inserito correttamente")
            QFile::rename(app.path("dbpiante.mdb"), app.path("altrove.mdb"));
    };
    QVERIFY(!f->Command2_Click());
    QCOMPARE(app.messages.texts(),
             QStringList({"Trattamento inserito correttamente", "Controllare i dati inseriti"}));
    QCOMPARE(app.state().modolista, ProgramState::plantMode);
}

void TestCareEvent::cancelClosesWithoutSaving() {
    TestApp app;
    addPlainPlant(app);
    app.main();
    QPointer<CareEventDialog> f = openForm(app, plantKey);
    QVERIFY(f);
    pick(f->Combo1, "Annaffiatura");
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    QTest::mouseClick(f->Command1, Qt::LeftButton);
    QTRY_VERIFY(f.isNull());
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    QCOMPARE(app.state().modolista, ProgramState::plantMode);
    QVERIFY(app.messages.said.isEmpty());

    // Without a selected plant the window does not open at all.
    app.state().idpianta = 0;
    const auto opened = app.modal.opened.size();
    app.main().Command2_Click();
    QCOMPARE(app.modal.opened.size(), opened);
    QCOMPARE(app.messages.texts(), QStringList{"Seleziona una pianta dall'elenco"});
}

void TestCareEvent::wateringShowsInThePlantList() {
    TestApp app;
    app.addPlant(412202636000, {{"specie", "Olea"}, {"identificazione", "Ulivo"}});
    addPlainPlant(app);
    MainWindow &main = app.main();
    main.show();
    ReportList *list = main.lvw1;
    QCOMPARE(list->list()->rowCount(), 2);
    // Click the row of the ficus, then "Scheda trattamenti".
    int row = list->list()->text(0, 7) == QString::number(plantKey) ? 0 : 1;
    const QRect cell = list->visualRect(list->list()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(app.state().idpianta, double(plantKey));
    QTest::mouseClick(main.Command2, Qt::LeftButton);
    auto *f = qobject_cast<CareEventDialog *>(app.modal.last());
    QVERIFY(f);
    QCOMPARE(f->Text8->text(), QString("Ficus del salotto"));

    pick(f->Combo1, "Annaffiatura");
    QTest::mouseClick(f->Command3, Qt::LeftButton);
    emit f->Calendar1->clicked(QDate(2026, 12, 5));
    QTest::mouseClick(f->Command2, Qt::LeftButton);
    QCOMPARE(app.messages.texts(), QStringList{"Trattamento inserito correttamente"});
    QCOMPARE(app.state().modolista, ProgramState::eventMode);
    QTest::mouseClick(f->Command1, Qt::LeftButton);

    QVERIFY(triggerAction(&main, "vitra"));
    QCOMPARE(app.state().modolista, ProgramState::plantMode);
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
    pick(f->Combo1, "Altro....");
    f->Command3_Click();
    saveShot(f, "form2-change");
    f->SSTab1->setCurrentIndex(1);
    saveShot(f, "form2-other");
}

QTEST_MAIN(TestCareEvent)
#include "test_careevent.moc"
