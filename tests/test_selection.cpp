#include "mainwindow/mainwindow.h"
#include "support/testapp.h"
#include "ui/widgets/picturebutton.h"
#include "ui/lists/reportlist.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

namespace {
constexpr int plantKey = 7; // sub-items holding the keys
constexpr int eventKey = 6;

QPoint rowCentre(MainWindow &w, int position) {
    int col = 0;
    while (w.listView->isColumnHidden(col))
        ++col;
    return w.listView->visualRect(w.listView->list()->index(position - 1, col)).center();
}

void clickRow(MainWindow &w, int position, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(w.listView->viewport(), button, {}, rowCentre(w, position));
}

void clickHeader(MainWindow &w, int col) {
    QHeaderView *h = w.listView->header();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(col) + 5, h->height() / 2));
}

// The key written in the highlighted row; 0 when no row is highlighted.
qint64 highlighted(MainWindow &w, int item) {
    return w.listView->selectedSubItem(item).toLongLong();
}

qint64 selectedPlant(TestApp &app) {
    return static_cast<qint64>(app.state().idpianta);
}
qint64 selectedEvent(TestApp &app) {
    return static_cast<qint64>(app.state().idtratsel);
}

void key(QWidget *w, QEvent::Type type, Qt::Key k, bool autoRepeat = false) {
    QKeyEvent e(type, k, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(w, &e);
}

void showWindow(MainWindow &w) {
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
}
} // namespace

class TestSelection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { closeAllWindows(); }
    void highlightStaysOnTheSelectedRowWhenRowsMove_data();
    void highlightStaysOnTheSelectedRowWhenRowsMove();
    void modeTestComesBeforeTheSelectionTest();
    void oneClickReadsThePictureOnce();
    void keysActAsALeftClickAndPaintWhenTheyRest();
    void menuKeysOpenThePopupOfTheRow_data();
    void menuKeysOpenThePopupOfTheRow();
    void altAndALetterOpensAMenu();
};

void TestSelection::highlightStaysOnTheSelectedRowWhenRowsMove_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("new card on top") << "card";
    QTest::newRow("search") << "search";
    QTest::newRow("header sort") << "sort";
    QTest::newRow("header sort of events") << "sort events";
}

void TestSelection::highlightStaysOnTheSelectedRowWhenRowsMove() {
    QFETCH(QString, change);
    TestApp app;
    app.addPlant(1, {{"specie", "Pino nero"}, {"identificazione", "Il nero"}});
    app.addPlant(2, {{"specie", "Ficus"}, {"identificazione", "Il ficus"}});
    app.addPlant(3, {{"specie", "Pino bianco"}, {"identificazione", "Il bianco"}});
    app.addPlant(4, {{"specie", "Acer"}, {"identificazione", "L'acero"}});
    app.addEvent(10, 1, "Rinvaso", "2026-01-01");
    app.addEvent(11, 1, "Annaffiatura", "2026-02-01");
    app.addEvent(12, 1, "Potatura", "2026-03-01");
    MainWindow &w = app.main();
    showWindow(w);
    // Rows: Acer, Pino bianco, Ficus, Pino nero.
    clickRow(w, 4);
    QCOMPARE(selectedPlant(app), 1);
    if (change == "card") {
        app.addPlant(5, {{"specie", "Zelkova"}});
        w.showAllPlants();
    } else if (change == "search") {
        w.searchFieldCombo->setCurrentIndex(0);
        w.searchEdit->setText("Pino");
        QCOMPARE(w.listView->list()->rowCount(), 2);
    } else if (change == "sort") {
        clickHeader(w, 1);
        QCOMPARE(w.listView->selectedPosition(), 1);
        saveShot(&w, "main-sorted");
    } else {
        w.showEventsButton->click();
        clickRow(w, 2); // events newest first: Potatura, Annaffiatura, Rinvaso
        QCOMPARE(selectedEvent(app), 11);
        clickHeader(w, 3);
        clickHeader(w, 3);
        QCOMPARE(highlighted(w, eventKey), 11);
        QCOMPARE(w.listView->selectedPosition(), 1); // ascending by kind: Annaffiatura first
        QCOMPARE(app.state().selectedRow, 1);
        return;
    }
    QCOMPARE(highlighted(w, plantKey), 1);
    QCOMPARE(app.state().selectedRow, w.listView->selectedPosition());
    // The next command works on the highlighted plant.
    w.showEventsButton->click();
    QVERIFY(app.messages.said.isEmpty());
    QCOMPARE(w.headingLabel->text(), QString("Il nero"));
    QCOMPARE(w.listView->list()->rowCount(), 3);
}

void TestSelection::modeTestComesBeforeTheSelectionTest() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}});
    app.addEvent(10, 1, "Rinvaso", "2026-01-01");
    app.addEvent(11, 1, "Potatura", "2026-02-01");
    MainWindow &w = app.main();
    showWindow(w);
    clickRow(w, 1);
    w.showEventsButton->click();
    clickRow(w, 1);
    QCOMPARE(selectedEvent(app), 11);
    app.messages.answerNext(true);
    w.deleteEventAction->trigger();
    app.messages.clear();
    // The deleted event stays selected but is no longer listed: no row is highlighted.
    QCOMPARE(w.listView->list()->rowCount(), 1);
    QCOMPARE(w.listView->selectedPosition(), 0);
    w.showEventsButton->click();
    w.popupShowEventsAction->trigger();
    QVERIFY(app.messages.said.isEmpty());
    QCOMPARE(w.listView->list()->columnCount(), 7);
    // Back to the plants, a click selects and highlights the plant, as before the events.
    w.showPlantsButton->click();
    clickRow(w, 1);
    QCOMPARE(selectedPlant(app), 1);
    QCOMPARE(w.listView->selectedPosition(), 1);
}

void TestSelection::oneClickReadsThePictureOnce() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}, {"img", "a.jpg"}});
    app.makePicture("img/1/a.jpg", 120, 80);
    MainWindow &w = app.main();
    showWindow(w);
    QTest::mousePress(w.listView->viewport(), Qt::LeftButton, {}, rowCentre(w, 1));
    QCOMPARE(w.heldPicture.size(), QSize(120, 80));
    // The picture changes on disk between press and release: the release reads nothing.
    app.makePicture("img/1/a.jpg", 60, 90);
    QTest::mouseRelease(w.listView->viewport(), Qt::LeftButton, {}, rowCentre(w, 1));
    QCOMPARE(w.heldPicture.size(), QSize(120, 80));
    // A second click on the same row reads it again.
    clickRow(w, 1);
    QCOMPARE(w.heldPicture.size(), QSize(60, 90));
}

void TestSelection::keysActAsALeftClickAndPaintWhenTheyRest() {
    TestApp app;
    const QList<QSize> sizes = {{40, 30}, {50, 30}, {60, 30}, {70, 30}, {80, 30}};
    for (int i = 0; i < sizes.size(); ++i) {
        app.addPlant(i + 1, {{"specie", QString("S%1").arg(i + 1)}, {"img", "p.jpg"}});
        app.makePicture(QString("img/%1/p.jpg").arg(i + 1), sizes[i].width(), sizes[i].height());
    }
    MainWindow &w = app.main();
    showWindow(w);
    // Rows show keys 5, 4, 3, 2, 1. Nothing is highlighted yet: the first arrow takes row 1.
    w.listView->setFocus();
    QTest::keyClick(w.listView, Qt::Key_Down);
    QCOMPARE(selectedPlant(app), 5);
    QCOMPARE(w.heldPicture.size(), sizes[4]);
    QTest::keyClick(w.listView, Qt::Key_Down);
    QCOMPARE(selectedPlant(app), 4);
    QCOMPARE(app.state().selectedRow, 2);
    QCOMPARE(w.heldPicture.size(), sizes[3]);
    // Holding the arrow: each row reached is selected, no picture is decoded on the way.
    key(w.listView, QEvent::KeyPress, Qt::Key_Down);
    key(w.listView, QEvent::KeyPress, Qt::Key_Down, true);
    QCOMPARE(selectedPlant(app), 2);
    QCOMPARE(highlighted(w, plantKey), 2);
    QCOMPARE(w.heldPicture.size(), sizes[3]);
    key(w.listView, QEvent::KeyRelease, Qt::Key_Down);
    QCOMPARE(w.heldPicture.size(), sizes[1]);
    // Without a release the picture comes after a short pause.
    key(w.listView, QEvent::KeyPress, Qt::Key_Home);
    QCOMPARE(selectedPlant(app), 5);
    QCOMPARE(w.heldPicture.size(), sizes[1]);
    QTRY_COMPARE(w.heldPicture.size(), sizes[4]);
    QTest::keyClick(w.listView, Qt::Key_End);
    QCOMPARE(selectedPlant(app), 1);
    QCOMPARE(w.heldPicture.size(), sizes[0]);
    // A command given before the keys rest still works on the picture of the row reached.
    key(w.listView, QEvent::KeyPress, Qt::Key_Up);
    w.showEventsButton->click();
    QCOMPARE(w.heldPicture.size(), sizes[1]);
    // Event rows: the arrow selects the event, the picture stays.
    app.addEvent(20, 2, "Rinvaso", "2026-01-01");
    app.addEvent(21, 2, "Potatura", "2026-02-01");
    w.showEventsOfSelectedPlant();
    w.listView->setFocus();
    QTest::keyClick(w.listView, Qt::Key_Down);
    QCOMPARE(selectedEvent(app), 21);
    QTest::keyClick(w.listView, Qt::Key_Down);
    QCOMPARE(selectedEvent(app), 20);
    QCOMPARE(selectedPlant(app), 2);
    QCOMPARE(w.heldPicture.size(), sizes[1]);
}

void TestSelection::menuKeysOpenThePopupOfTheRow_data() {
    QTest::addColumn<bool>("events");
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("menu key, plant") << false << int(Qt::Key_Menu) << int(Qt::NoModifier);
    QTest::newRow("shift+F10, plant") << false << int(Qt::Key_F10) << int(Qt::ShiftModifier);
    QTest::newRow("shift+F10, event") << true << int(Qt::Key_F10) << int(Qt::ShiftModifier);
}

void TestSelection::menuKeysOpenThePopupOfTheRow() {
    QFETCH(bool, events);
    QFETCH(int, keyCode);
    QFETCH(int, modifiers);
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}});
    app.addPlant(2, {{"specie", "Acer"}});
    app.addEvent(10, 1, "Rinvaso", "2026-01-01");
    MainWindow &w = app.main();
    showWindow(w);
    clickRow(w, 2);
    if (events)
        w.showEventsButton->click();
    w.listView->setFocus();
    // Plants: no row below the selected one, it stays; events: none is highlighted yet, the
    // arrow takes the first.
    QTest::keyClick(w.listView, Qt::Key_Down);
    QTest::keyClick(w.listView, Qt::Key(keyCode), Qt::KeyboardModifiers(modifiers));
    QMenu *expected = events ? w.eventPopup : w.plantPopup;
    QMenu *other = events ? w.plantPopup : w.eventPopup;
    QTRY_VERIFY(expected->isVisible());
    QVERIFY(!other->isVisible());
    // It opens below the row, as a right click opens at the pointer.
    const QRect row = w.listView->visualRect(w.listView->currentIndex());
    QCOMPARE(w.listView->viewport()->mapFromGlobal(expected->pos()).y(), row.bottom());
    QCOMPARE(selectedPlant(app), 1);
    if (events)
        QCOMPARE(selectedEvent(app), 10);
    // The menu's own letters run its items: "Visualizza &trattamenti" / "&Visualizza elenco".
    QTest::keyClick(expected, events ? Qt::Key_V : Qt::Key_T);
    QTRY_VERIFY(!expected->isVisible());
    QCOMPARE(app.state().listMode, events ? ListMode::Plants : ListMode::Events);
}

void TestSelection::altAndALetterOpensAMenu() {
    TestApp app;
    MainWindow &w = app.main();
    showWindow(w);
    QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(w.fileMenu->isVisible());
    QCOMPARE(w.fileMenu->activeAction(), w.printAction);
    QTest::keyClick(w.fileMenu, Qt::Key_Escape);
    QTRY_VERIFY(!w.fileMenu->isVisible());
    QTest::keyClick(&w, Qt::Key_G, Qt::AltModifier);
    QTRY_VERIFY(w.plantsMenu->isVisible());
}

QTEST_MAIN(TestSelection)
#include "test_selection.moc"
