// The keyboard as on any desktop program: what is typed into a window that just opened goes
// into its first box, Return is "OK" (or the focused button), Ctrl+Tab turns the pages, the list's
// keys work from the row they show, the usual shortcuts, and a second start that calls the running
// window.

#include "about/aboutdialog.h"
#include "careevent/careeventdialog.h"
#include "mainwindow/mainwindow.h"
#include "plantcard/plantcarddialog.h"
#include "printing/cardprintdialog.h"
#include "support/testapp.h"
#include "ui/platform/instancechannel.h"
#include "ui/widgets/picturebutton.h"
#include "ui/lists/reportlist.h"
#include "ui/widgets/tabpanel.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <future>

namespace {
const qint64 plantKey = 512202636000;

QDialog *openEditor(TestApp &app, const QString &which) {
    MainWindow &w = app.main();
    if (which == "new card") {
        w.newCard();
    } else {
        app.state().idpianta = double(plantKey);
        app.state().idtratsel = 0;
        w.newEvent();
    }
    QDialog *d = app.modal.last();
    if (d) {
        d->activateWindow();
        if (!QTest::qWaitForWindowActive(d))
            return nullptr;
    }
    return d;
}

void pressKey(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, mods);
}
} // namespace

class TestKeyboard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { closeAllWindows(); }

    void returnPressesTheFocusedButtonElseOk_data();
    void returnPressesTheFocusedButtonElseOk();
    void ctrlTabTurnsThePages_data();
    void ctrlTabTurnsThePages();
    void listKeysMoveFromTheRowTheListShows_data();
    void listKeysMoveFromTheRowTheListShows();
    void usualShortcutsGiveTheirCommands_data();
    void usualShortcutsGiveTheirCommands();
    void newCardLeftWithoutSavingShowsThePlaceholderAgain();
    void sideButtonsShowAPlainFocusMark();
    void secondStartBringsTheRunningWindowForward();
};

void TestKeyboard::returnPressesTheFocusedButtonElseOk_data() {
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>("focused"); // empty: the first box keeps the focus
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("added");
    QTest::addColumn<bool>("closed");
    QTest::newRow("plant card, in a box") << "new card"
                                          << ""
                                          << "piante" << 1 << false;
    QTest::newRow("plant card, on OK") << "new card"
                                       << "okButton"
                                       << "piante" << 1 << false;
    QTest::newRow("plant card, on Annulla") << "new card"
                                            << "cancelButton"
                                            << "piante" << 0 << true;
    QTest::newRow("care event, in a box") << "care event"
                                          << ""
                                          << "coltivazione" << 1 << false;
    QTest::newRow("care event, on Annulla") << "care event"
                                            << "cancelButton"
                                            << "coltivazione" << 0 << true;
}

void TestKeyboard::returnPressesTheFocusedButtonElseOk() {
    QFETCH(QString, editor);
    QFETCH(QString, focused);
    QFETCH(QString, table);
    QFETCH(int, added);
    QFETCH(bool, closed);
    TestApp app;
    app.addPlant(plantKey, {{"specie", "Ficus"}});
    const int before = app.count(table);
    QPointer<QDialog> d = openEditor(app, editor);
    QVERIFY(d);
    // What is typed first goes into the first box, the editor's own.
    QCOMPARE(QApplication::focusWidget()->objectName(),
             QString(editor == "new card" ? "famiglia" : "typeCombo"));
    QTest::keyClicks(QApplication::focusWidget(), "Annaffiatura");
    if (!focused.isEmpty())
        d->findChild<QPushButton *>(focused)->setFocus(Qt::TabFocusReason);
    pressKey(Qt::Key_Return);
    QCOMPARE(app.count(table), before + added);
    QTRY_COMPARE(d.isNull() || !d->isVisible(), closed);
}

void TestKeyboard::ctrlTabTurnsThePages_data() {
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QList<int>>("forward"); // the page after each Ctrl+Tab from page 0
    QTest::newRow("plant card") << "new card" << QList<int>{1, 2, 0};
    QTest::newRow("care event") << "care event" << QList<int>{1, 0};
}

void TestKeyboard::ctrlTabTurnsThePages() {
    QFETCH(QString, editor);
    QFETCH(QList<int>, forward);
    TestApp app;
    app.addPlant(plantKey, {{"specie", "Ficus"}});
    QDialog *d = openEditor(app, editor);
    QVERIFY(d);
    auto *tabs = d->findChild<TabPanel *>();
    QVERIFY(tabs);
    for (int page : forward) {
        pressKey(Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), page);
        QVERIFY(QApplication::focusWidget());
        QVERIFY(QApplication::focusWidget()->isVisible());
    }
    pressKey(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(tabs->currentIndex(), forward.at(forward.size() - 2));
    // No calendar came up on the way.
    QVERIFY(d->findChild<QCalendarWidget *>()->isHidden());
}

void TestKeyboard::listKeysMoveFromTheRowTheListShows_data() {
    QTest::addColumn<int>("highlighted"); // 0: none
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("reached");
    QTest::newRow("Home, then Down three times")
        << 0 << QList<int>{Qt::Key_Home, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << 4;
    QTest::newRow("End") << 0 << QList<int>{Qt::Key_End} << 6;
    QTest::newRow("Down from the highlighted row") << 3 << QList<int>{Qt::Key_Down} << 4;
    QTest::newRow("Home from the highlighted row") << 5 << QList<int>{Qt::Key_Home} << 1;
}

void TestKeyboard::listKeysMoveFromTheRowTheListShows() {
    QFETCH(int, highlighted);
    QFETCH(QList<int>, keys);
    QFETCH(int, reached);
    TestApp app;
    for (int i = 1; i <= 6; ++i)
        app.addPlant(i, {{"specie", QString("S%1").arg(i)}});
    MainWindow &w = app.main();
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    if (highlighted > 0) {
        w.listView->selectPosition(highlighted);
        emit w.listView->itemClicked(highlighted);
    }
    // The focus frame was left elsewhere, in the hidden first column, and the list is
    // reached with Tab.
    w.listView->selectionModel()->setCurrentIndex(w.listView->list()->index(0, 0),
                                                  QItemSelectionModel::NoUpdate);
    w.searchEdit->setFocus(Qt::OtherFocusReason);
    w.listView->setFocus(Qt::TabFocusReason);
    for (int key : keys)
        QTest::keyClick(w.listView, Qt::Key(key));
    QCOMPARE(w.listView->selectedPosition(), reached);
    QCOMPARE(app.state().idpianta, double(7 - reached)); // rows show the newest key first
}

void TestKeyboard::usualShortcutsGiveTheirCommands_data() {
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("opens"); // class of the window opened, or what else happens
    QTest::newRow("Ctrl+N") << QKeySequence(Qt::CTRL | Qt::Key_N) << "PlantCardDialog";
    QTest::newRow("Ctrl+P") << QKeySequence(Qt::CTRL | Qt::Key_P) << "CardPrintDialog";
    QTest::newRow("F1") << QKeySequence(Qt::Key_F1) << "AboutDialog";
    QTest::newRow("Ctrl+F") << QKeySequence(Qt::CTRL | Qt::Key_F) << "search box";
    QTest::newRow("Ctrl+Q") << QKeySequence(Qt::CTRL | Qt::Key_Q) << "closed";
}

void TestKeyboard::usualShortcutsGiveTheirCommands() {
    QFETCH(QKeySequence, keys);
    QFETCH(QString, opens);
    TestApp app;
    app.addPlant(plantKey, {{"specie", "Ficus"}});
    MainWindow &w = app.main();
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.listView->setFocus();
    QTest::keySequence(&w, keys);
    if (opens == "search box") {
        QCOMPARE(QApplication::focusWidget(), w.searchEdit);
    } else if (opens == "closed") {
        QTRY_VERIFY(!w.isVisible());
    } else {
        QVERIFY(app.modal.last());
        QCOMPARE(app.modal.last()->metaObject()->className(), qPrintable(opens));
    }
}

void TestKeyboard::newCardLeftWithoutSavingShowsThePlaceholderAgain() {
    TestApp app;
    MainWindow &w = app.main();
    QVERIFY(!w.heldPicture.isNull());
    QDialog *d = openEditor(app, "new card");
    QVERIFY(d);
    QVERIFY(w.heldPicture.isNull()); // blank while the editor is open
    pressKey(Qt::Key_Escape);
    QTRY_VERIFY(!w.heldPicture.isNull());
}

void TestKeyboard::sideButtonsShowAPlainFocusMark() {
    TestApp app;
    MainWindow &w = app.main();
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const auto brightPixels = [&w] {
        const QImage face = w.showEventsButton->grab().toImage();
        int n = 0;
        for (int y = 0; y < face.height(); ++y)
            for (int x = 0; x < face.width(); ++x)
                n += qRed(face.pixel(x, y)) > 200 && qBlue(face.pixel(x, y)) < 140;
        return n;
    };
    const int unfocused = brightPixels();
    w.showEventsButton->setFocus(Qt::TabFocusReason);
    // A ring round the face, not a few dots: at least its outline in bright pixels.
    QVERIFY2(brightPixels() - unfocused >=
                 w.showEventsButton->width() + w.showEventsButton->height(),
             "the focused button's mark is hard to see");
}

void TestKeyboard::secondStartBringsTheRunningWindowForward() {
    QTemporaryDir dir;
    const QString name = dir.filePath("silvaro-test.socket");
    // Nobody listening: the second start is told so at once.
    QVERIFY(!InstanceChannel::callRunning(name, 500));

    // What a killed program left at the socket's name is taken over.
    {
        QFile left(name);
        QVERIFY(left.open(QIODevice::WriteOnly));
    }
    QWidget running, other;
    running.setWindowTitle("running");
    other.setWindowTitle("other");
    InstanceChannel channel;
    QVERIFY(channel.listen(name));
    channel.setWindow(&running);
    running.show();
    other.show();
    running.showMinimized();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));

    auto call =
        std::async(std::launch::async, [name] { return InstanceChannel::callRunning(name); });
    QTRY_VERIFY(call.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
    QVERIFY(call.get());
    QTRY_VERIFY(running.isActiveWindow());
    QVERIFY(!running.isMinimized());
}

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
