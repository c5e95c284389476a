#include "mainwindow/mainwindow.h"
#include "support/testapp.h"
#include "ui/widgets/picturebox.h"
#include "ui/widgets/picturebutton.h"
#include "ui/lists/reportlist.h"

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QtTest>

namespace {
// The visible cells of a plant row: species, identification, columns 4 to 7, key.
QStringList row(MainWindow &w, int position) {
    // The visible and hidden columns; past them the row carries its rowid.
    QStringList r = w.listView->list()->row(position - 1).mid(0, w.listView->list()->columnCount());
    r.removeFirst();
    return r;
}

QStringList column(MainWindow &w, int col) {
    QStringList c;
    for (int i = 0; i < w.listView->list()->rowCount(); ++i)
        c << w.listView->list()->text(i, col);
    return c;
}

void clickRow(MainWindow &w, int position, Qt::MouseButton button = Qt::LeftButton) {
    int col = 0;
    while (w.listView->isColumnHidden(col))
        ++col;
    const QModelIndex idx = w.listView->list()->index(position - 1, col);
    QTest::mouseClick(w.listView->viewport(), button, {}, w.listView->visualRect(idx).center());
}
} // namespace

class TestPlantList : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { closeAllWindows(); }
    void derivedColumnsShowTheNewestEventOfEachKind();
    void rowsShowNewestStoredFirstWithTheCount();
    void aNewPlantGoesOnTopAndTheHighlightFollowsThePlant();
    void headerClicksSortOneDirectionForTheWholeList();
    void searchFindsPrefixesSafely_data();
    void searchFindsPrefixesSafely();
    void searchWithoutAFieldWarnsAndKeepsTheList();
    void searchWithoutMatchKeepsTheCountAndBlanksThePicture();
    void searchInEventModeListsPlantsButKeepsTheMode();
    void rowClickSelectsThePlantAndPaintsItsPicture();
    void eventListShowsNewestFirstWithBlanks();
    void modeSwitchesFollowTheirGuards();
    void rightClickOpensThePopupOfTheMode();
    void deletingAPlantTakesItsEventsOrNothing();
    void deletingAnEventKeepsTheEventList();
    void deletionWithoutARecordWarnsAndDeletesNothing();
};

void TestPlantList::derivedColumnsShowTheNewestEventOfEachKind() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}, {"identificazione", "Senza eventi"}, {"vaso", "Ovale"}});
    app.addPlant(2, {{"specie", "Acer"}, {"identificazione", "Acqua"}, {"vaso", QVariant()}});
    app.addEvent(20, 2, "Concimazione", "2026-03-01");
    app.addEvent(21, 2, "Annaffiatura", "2026-03-05");
    app.addEvent(22, 2, "Fioritura", "2025-05-01");
    app.addEvent(23, 2, "Fioritura", "2025-04-30");
    app.addEvent(24, 2, "Rinvaso", "2024-02-01");
    app.addEvent(25, 2, "annaffiatura", "2026-04-01"); // another tool's spelling
    app.addPlant(3, {{"specie", " "}, {"identificazione", "Concime"}, {"vaso", ""}});
    app.addEvent(30, 3, "Annaffiatura", "2026-01-01");
    app.addEvent(31, 3, "Concimazione", "2026-02-01");
    app.addEvent(32, 3, "Potatura tardiva", "2026-02-01");
    app.addEvent(33, 3, "Cimatura", "2026-02-01"); // same date, stored later: loses
    app.addPlant(3112202686399LL, {{"specie", "Pinus"}, {"identificazione", "Tredici cifre"}});
    app.addEvent(40, 3112202686399LL, "Annaffiatura", "2026-06-01");
    app.addEvent(41, 3112202686399LL, "Concimazione", "2026-06-01"); // tie: first stored wins
    app.addEvent(42, 3112202686399LL, QString(), "2026-07-01");      // no kind at all
    MainWindow &w = app.main();
    QCOMPARE(w.listView->list()->rowCount(), 4);
    QCOMPARE(row(w, 1),
             QStringList({"Pinus", "Tredici cifre", "2026/06/01 A", "", "", "", "3112202686399"}));
    QCOMPARE(row(w, 2), QStringList({"", "Concime", "2026/02/01 C", "", "",
                                     "Potatura tardiva 2026/02/01", "3"}));
    QCOMPARE(row(w, 3), QStringList({"Acer", "Acqua", "2026/03/05 A", "2025/05/01", "",
                                     "annaffiatura 2026/04/01", "2"}));
    QCOMPARE(row(w, 4), QStringList({"Ficus", "Senza eventi", "", "", "Ovale", "", "1"}));
}

void TestPlantList::rowsShowNewestStoredFirstWithTheCount() {
    TestApp app;
    for (int i = 1; i <= 5; ++i)
        app.addPlant(100 - i, {{"specie", QString("S%1").arg(i)}});
    MainWindow &w = app.main();
    QCOMPARE(column(w, 1), QStringList({"S5", "S4", "S3", "S2", "S1"}));
    QCOMPARE(w.headingLabel->text(), QString("Piante in archivio: 5"));
    // No plant is selected yet, so no row is highlighted.
    QCOMPARE(w.listView->selectedPosition(), 0);
    QCOMPARE(app.state().idpianta, 0.0);
}

void TestPlantList::aNewPlantGoesOnTopAndTheHighlightFollowsThePlant() {
    TestApp app;
    for (int i = 1; i <= 3; ++i)
        app.addPlant(i, {{"specie", QString("S%1").arg(i)}});
    MainWindow &w = app.main();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    clickRow(w, 2);
    QCOMPARE(app.state().selectedRow, 2);
    QCOMPARE(app.state().idpianta, 2.0);
    app.addPlant(4, {{"specie", "S4"}});
    w.showAllPlants();
    QCOMPARE(column(w, 1), QStringList({"S4", "S3", "S2", "S1"}));
    QCOMPARE(w.listView->selectedPosition(), 3);
    QCOMPARE(w.listView->selectedSubItem(1), QString("S2"));
    QCOMPARE(app.state().selectedRow, 3);
    QCOMPARE(app.state().idpianta, 2.0);
    // A remembered position beyond the last row falls back to the first; a selected plant
    // that is not listed leaves no row highlighted.
    app.state().selectedRow = 9;
    app.state().idpianta = 77;
    w.showAllPlants();
    QCOMPARE(app.state().selectedRow, 1);
    QCOMPARE(w.listView->selectedPosition(), 0);
}

void TestPlantList::headerClicksSortOneDirectionForTheWholeList() {
    TestApp app;
    app.addPlant(1, {{"specie", "ficus"}, {"identificazione", "b"}});
    app.addPlant(2, {{"specie", "Àcero"}, {"identificazione", "a"}});
    app.addPlant(3, {{"specie", "Zelkova"}, {"identificazione", "c"}});
    app.addPlant(4, {{"specie", "Buxus"}, {"identificazione", "d"}});
    app.addEvent(10, 1, "Annaffiatura", "2026-01-02");
    app.addEvent(11, 2, "Annaffiatura", "2025-12-31");
    app.addEvent(12, 3, "Concimazione", "2026-10-01");
    MainWindow &w = app.main();
    QHeaderView *h = w.listView->header();
    const auto click = [&](int col) {
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(col) + 5, h->height() / 2));
    };
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    click(1); // ascending -> descending
    QCOMPARE(column(w, 1), QStringList({"Zelkova", "ficus", "Buxus", "Àcero"}));
    click(1); // same header again: ascending
    QCOMPARE(column(w, 1), QStringList({"Àcero", "Buxus", "ficus", "Zelkova"}));
    click(3); // another header reverses the one direction again: descending by date
    QCOMPARE(column(w, 3), QStringList({"2026/10/01 C", "2026/01/02 A", "2025/12/31 A", ""}));
    // Sorting stays on across fills.
    w.showAllPlants();
    QCOMPARE(column(w, 3), QStringList({"2026/10/01 C", "2026/01/02 A", "2025/12/31 A", ""}));
}

void TestPlantList::searchFindsPrefixesSafely_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("found");
    const QStringList all = {"Quercus 50%", "Pinus_mugo", "Olea d'Europa", "àcero",
                             "Àcero rosso", "Fico",       "fico d'India",  "FIcus"};
    QTest::newRow("empty text: every plant with a value") << 0 << "" << all;
    QTest::newRow("case ignored") << 0 << "fi" << QStringList({"Fico", "fico d'India", "FIcus"});
    QTest::newRow("prefix only") << 0 << "co" << QStringList();
    QTest::newRow("quote") << 0 << "Olea d'" << QStringList({"Olea d'Europa"});
    QTest::newRow("quote inside") << 0 << "fico d'" << QStringList({"fico d'India"});
    QTest::newRow("percent is itself") << 0 << "%" << QStringList();
    QTest::newRow("percent matched") << 0 << "Quercus 50%" << QStringList({"Quercus 50%"});
    QTest::newRow("underscore is itself") << 0 << "Pinus_" << QStringList({"Pinus_mugo"});
    QTest::newRow("underscore not a wildcard") << 0 << "Pinus m" << QStringList();
    QTest::newRow("star") << 0 << "*India" << QStringList({"fico d'India"});
    QTest::newRow("question mark") << 0 << "F?cus" << QStringList({"FIcus"});
    QTest::newRow("accented capital") << 0 << "àcero" << QStringList({"àcero", "Àcero rosso"});
    QTest::newRow("decomposed accent")
        << 0 << QString("a\u0300cero") << QStringList({"àcero", "Àcero rosso"});
    QTest::newRow("sql fragment") << 0 << "' OR 1=1 --" << QStringList();
    QTest::newRow("backslash") << 0 << "\\" << QStringList();
    QTest::newRow("identification field") << 1 << "id" << QStringList({"Fico"});
}

void TestPlantList::searchFindsPrefixesSafely() {
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QStringList, found);
    TestApp app;
    const QStringList species = {"Quercus 50%", "Pinus_mugo", "Olea d'Europa", "àcero",
                                 "Àcero rosso", "Fico",       "fico d'India",  "FIcus"};
    for (int i = 0; i < species.size(); ++i)
        app.addPlant(i + 1,
                     {{"specie", species[i]}, {"identificazione", i == 5 ? "Id fico" : "pianta"}});
    app.addPlant(99, {{"specie", QVariant()}, {"identificazione", QVariant()}});
    MainWindow &w = app.main();
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    w.searchFieldCombo->setCurrentIndex(field);
    w.searchEdit->setText(typed.isEmpty() ? "x" : typed);
    if (typed.isEmpty())
        w.searchEdit->clear();
    QStringList got = column(w, 1);
    std::reverse(got.begin(), got.end()); // rows go on top: back to stored order
    QCOMPARE(got, found);
    QCOMPARE(w.listView->list()->columnCount(), 8);
    QVERIFY(app.messages.said.isEmpty());
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
}

void TestPlantList::searchWithoutAFieldWarnsAndKeepsTheList() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}});
    app.addPlant(2, {{"specie", "Acer"}});
    MainWindow &w = app.main();
    QTest::keyClicks(w.searchEdit, "ab");
    QCOMPARE(app.messages.texts(),
             QStringList({"Selezionare un campo di ricerca", "Selezionare un campo di ricerca"}));
    QCOMPARE(app.messages.said.first().icon, Messages::Icon::Exclamation);
    QCOMPARE(w.searchEdit->text(), QString("ab"));
    QCOMPARE(w.listView->list()->rowCount(), 2);
    // A refill from the search without a field fails and leaves the list as it was.
    w.showSearchResults();
    QCOMPARE(w.listView->list()->rowCount(), 2);
}

void TestPlantList::searchWithoutMatchKeepsTheCountAndBlanksThePicture() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}});
    MainWindow &w = app.main();
    QCOMPARE(w.headingLabel->text(), QString("Piante in archivio: 1"));
    QVERIFY(!w.pictureFrame->isBlank());
    w.searchFieldCombo->setCurrentIndex(0);
    w.searchEdit->setText("zz");
    QCOMPARE(w.listView->list()->rowCount(), 0);
    QCOMPARE(w.listView->list()->columnCount(), 8);
    QCOMPARE(w.headingLabel->text(), QString("Piante in archivio: 1"));
    QVERIFY(w.pictureFrame->isBlank());
}

void TestPlantList::searchInEventModeListsPlantsButKeepsTheMode() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}, {"identificazione", "Mio ficus"}});
    app.addEvent(10, 1, "Rinvaso", "2026-01-01");
    MainWindow &w = app.main();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    clickRow(w, 1);
    w.showEventsButton->click();
    QCOMPARE(app.state().listMode, ListMode::Events);
    QCOMPARE(w.headingLabel->text(), QString("Mio ficus"));
    w.searchFieldCombo->setCurrentIndex(0);
    w.searchEdit->setText("F");
    QCOMPARE(w.listView->list()->columnCount(), 8);
    QCOMPARE(app.state().listMode, ListMode::Events);
    // A click on such a row acts as on an event row: no key can be read, so no event is
    // selected (a command must not fall back on the event selected before).
    app.state().idtratsel = 10;
    clickRow(w, 1);
    QCOMPARE(app.state().idtratsel, 0);
    QCOMPARE(app.state().idpianta, 1.0);
}

void TestPlantList::rowClickSelectsThePlantAndPaintsItsPicture() {
    TestApp app;
    app.addPlant(1, {{"specie", "Senza foto"}, {"img", "nd.jpg"}});
    app.addPlant(2, {{"specie", "Con foto"}, {"img", "foto.jpg"}});
    app.addPlant(3, {{"specie", "Cartella sparita"}, {"img", "foto.jpg"}});
    app.makePicture("img/2/foto.jpg", 300, 200);
    MainWindow &w = app.main();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Rows: 3 (no folder), 2 (picture), 1 (nd.jpg).
    clickRow(w, 2);
    QCOMPARE(app.state().idpianta, 2.0);
    QCOMPARE(app.state().selectedRow, 2);
    QCOMPARE(w.heldPicture.size(), QSize(300, 200));
    QVERIFY(!w.pictureFrame->isBlank());
    QCOMPARE(w.pictureFrame->paintedSize().width(), w.pictureFrame->width());
    const QImage own = w.pictureFrame->image();
    clickRow(w, 1);
    QCOMPARE(app.state().idpianta, 3.0);
    const QImage placeholder = PictureBox::load(app.path("img/nd.jpg"));
    QCOMPARE(w.heldPicture.size(), placeholder.size());
    QVERIFY(w.pictureFrame->image() != own);
    clickRow(w, 3);
    QCOMPARE(app.state().idpianta, 1.0);
    QCOMPARE(w.heldPicture.size(), placeholder.size());
    // A plant deleted by another tool meanwhile: the placeholder, the key still taken.
    app.sql("DELETE FROM piante WHERE id = 2");
    clickRow(w, 2);
    QCOMPARE(app.state().idpianta, 2.0);
    QCOMPARE(w.heldPicture.size(), placeholder.size());
}

void TestPlantList::eventListShowsNewestFirstWithBlanks() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}});
    app.addEvent(10, 1, "Rinvaso", "2026-03-01",
                 {{"temperatura", 0}, {"umidita", 0}, {"descrizione", " "}});
    app.addEvent(11, 1, "Potatura", "2026-04-02",
                 {{"temperatura", 18.5}, {"umidita", 60}, {"descrizione", "Rami alti"}});
    app.addEvent(12, 1, "Fioritura", "2026-03-05");
    app.addEvent(13, 1, "Cimatura", "2026-03-05"); // same date, stored later
    app.addEvent(14, 2, "Rinvaso", "2026-03-05");  // another plant
    MainWindow &w = app.main();
    app.state().idpianta = 1;
    w.listView->setFocus();
    QVERIFY(w.showEventsOfSelectedPlant());
    const auto &columns = w.listView->list()->columns();
    QStringList headers;
    for (const auto &c : columns)
        headers << c.header;
    QCOMPARE(headers, QStringList({"", "", "", "Trattamento/eventi", "Data", "Descrizione", ""}));
    QCOMPARE(w.listView->list()->rowCount(), 4);
    QCOMPARE(w.listView->list()->row(0).mid(0, 7),
             QStringList({"", "18,5", "60", "Potatura", "2026/04/02", "Rami alti", "11"}));
    QCOMPARE(column(w, 3), QStringList({"Potatura", "Cimatura", "Fioritura", "Rinvaso"}));
    QCOMPARE(w.listView->list()->row(3).mid(0, 7),
             QStringList({"", "", "", "Rinvaso", "2026/03/01", " ", "10"}));
    QCOMPARE(w.listView->selectedPosition(), 0);
    // A plant without events: seven columns, no rows.
    app.state().idpianta = 5;
    QVERIFY(w.showEventsOfSelectedPlant());
    QCOMPARE(w.listView->list()->columnCount(), 7);
    QCOMPARE(w.listView->list()->rowCount(), 0);
}

void TestPlantList::modeSwitchesFollowTheirGuards() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}, {"identificazione", "Mio"}});
    app.addEvent(10, 1, "Rinvaso", "2026-03-01");
    MainWindow &w = app.main();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // "Visualizza elenco piante" in plant mode: nothing at all.
    w.showPlantsButton->click();
    QCOMPARE(app.state().listMode, ListMode::Plants);
    QVERIFY(app.messages.said.isEmpty());
    clickRow(w, 1);
    w.showEventsButton->click();
    QCOMPARE(app.state().listMode, ListMode::Events);
    QCOMPARE(w.listView->list()->columnCount(), 7);
    clickRow(w, 1);
    QCOMPARE(app.state().idtratsel, 10.0);
    QCOMPARE(app.state().idpianta, 1.0);
    // "Visualizza trattamenti" while the events show: nothing happens.
    w.showEventsButton->click();
    QVERIFY(app.messages.said.isEmpty());
    QCOMPARE(w.listView->list()->columnCount(), 7);
    w.hiddenList->addItem("x");
    w.showPlantsButton->click();
    QCOMPARE(app.state().listMode, ListMode::Plants);
    QCOMPARE(w.listView->list()->columnCount(), 8);
    QCOMPARE(w.hiddenList->count(), 0);
    QCOMPARE(w.headingLabel->text(), QString("Piante in archivio: 1"));
}

void TestPlantList::rightClickOpensThePopupOfTheMode() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}, {"img", "manca.jpg"}});
    app.addPlant(2, {{"specie", "Acer"}});
    app.addEvent(10, 1, "Rinvaso", "2026-03-01");
    MainWindow &w = app.main();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    clickRow(w, 2, Qt::RightButton);
    QCOMPARE(app.state().idpianta, 1.0);
    QCOMPARE(app.state().selectedRow, 2);
    QVERIFY(!w.pictureFrame->isBlank()); // the placeholder stands in for the missing picture
    QTRY_VERIFY(w.plantPopup->isVisible());
    w.plantPopup->close();
    w.popupShowEventsAction->trigger();
    QCOMPARE(app.state().listMode, ListMode::Events);
    clickRow(w, 1, Qt::RightButton);
    QCOMPARE(app.state().idtratsel, 10.0);
    QTRY_VERIFY(w.eventPopup->isVisible());
    QVERIFY(!w.plantPopup->isVisible());
    w.eventPopup->close();
    // A left click opens no pop-up.
    clickRow(w, 1);
    QVERIFY(!w.eventPopup->isVisible());
}

void TestPlantList::deletingAPlantTakesItsEventsOrNothing() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}, {"identificazione", "Il vecchio"}});
    app.addPlant(2, {{"specie", "Acer"}});
    for (int i = 0; i < 3; ++i)
        app.addEvent(10 + i, 1, "Rinvaso", "2026-03-01");
    app.addEvent(20, 2, "Rinvaso", "2026-03-01");
    QDir().mkpath(app.path("img/1"));
    MainWindow &w = app.main();
    app.state().idpianta = 1;
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    app.messages.answerNext(false);
    w.deletePlantAction->trigger();
    QCOMPARE(app.messages.texts(),
             QStringList{"Vuoi cancellare la scheda della pianta Il vecchio ?"});
    QVERIFY(app.messages.said.first().question);
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    QCOMPARE(w.listView->list()->rowCount(), 2);

    app.messages.answerNext(true);
    w.deletePlantAction->trigger();
    QCOMPARE(app.count("piante"), 1);
    QCOMPARE(app.count("coltivazione"), 1);
    QCOMPARE(w.listView->list()->rowCount(), 1);
    QCOMPARE(app.state().idpianta, 1.0); // the deleted key stays
    QVERIFY(QDir(app.path("img/1")).exists());

    // A deletion that fails half-way leaves the plant and every event.
    for (int i = 0; i < 3; ++i)
        app.addEvent(30 + i, 2, "Rinvaso", "2026-03-01");
    app.sql(
        "CREATE TRIGGER stop BEFORE DELETE ON coltivazione BEGIN SELECT RAISE(ABORT, 'x'); END");
    app.state().idpianta = 2;
    app.messages.clear();
    app.messages.answerNext(true);
    w.deletePlantAction->trigger();
    QCOMPARE(app.count("piante"), 1);
    QCOMPARE(app.count("coltivazione"), 4);
    QCOMPARE(app.messages.said.size(), 2);
    QVERIFY(app.messages.said.last().text.startsWith("Impossibile cancellare"));
}

void TestPlantList::deletingAnEventKeepsTheEventList() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}});
    app.addEvent(10, 1, "Rinvaso", "2026-03-01");
    app.addEvent(11, 1, "Potatura", "2026-03-02");
    MainWindow &w = app.main();
    app.state().idpianta = 1;
    app.state().listMode = ListMode::Events;
    QVERIFY(w.showEventsOfSelectedPlant());
    app.state().idtratsel = 11;
    app.messages.answerNext(false);
    w.deleteEventAction->trigger();
    QCOMPARE(app.messages.texts(), QStringList{"Vuoi cancellare il trattamento selezionato? "});
    QCOMPARE(app.count("coltivazione"), 2);
    app.messages.answerNext(true);
    w.deleteEventAction->trigger();
    QCOMPARE(app.count("coltivazione"), 1);
    QCOMPARE(column(w, 3), QStringList{"Rinvaso"});
    QCOMPARE(app.state().listMode, ListMode::Events);
    QCOMPARE(app.state().idtratsel, 11.0);
}

void TestPlantList::deletionWithoutARecordWarnsAndDeletesNothing() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}});
    app.addEvent(10, 1, "Rinvaso", "2026-03-01");
    MainWindow &w = app.main();
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    app.state().idpianta = 0;
    w.deletePlantAction->trigger();
    app.state().idpianta = 77;
    w.deletePlantAction->trigger();
    app.state().idtratsel = 0;
    w.deleteEventAction->trigger();
    app.state().idtratsel = 77;
    w.deleteEventAction->trigger();
    QCOMPARE(app.messages.texts(),
             QStringList({"Seleziona una pianta dall'elenco", "Seleziona una pianta dall'elenco",
                          "Seleziona un trattamento dall'elenco",
                          "Seleziona un trattamento dall'elenco"}));
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
}

QTEST_MAIN(TestPlantList)
#include "test_plantlist.moc"
