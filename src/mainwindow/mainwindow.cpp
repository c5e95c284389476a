#include "mainwindow/mainwindow.h"

#include "about/aboutdialog.h"
#include "archive/conversions.h"
#include "archive/photofiles.h"
#include "careevent/careeventdialog.h"
#include "csvimport/csvimportdialog.h"
#include "duecare/duecaredialog.h"
#include "mainwindow/archivestartup.h"
#include "mainwindow/backupcommands.h"
#include "photohistory/photohistorydialog.h"
#include "plantcard/picturechange.h"
#include "plantcard/plantcarddialog.h"
#include "printing/cardprintdialog.h"
#include "printing/cardviewdialog.h"
#include "printing/labelprintdialog.h"
#include "ui/widgets/decorpanel.h"
#include "ui/lists/eventrows.h"
#include "ui/widgets/fonts.h"
#include "ui/platform/openedarchive.h"
#include "ui/widgets/picturebox.h"
#include "ui/widgets/picturebutton.h"
#include "ui/lists/plantrows.h"
#include "ui/lists/reportlist.h"
#include "ui/widgets/twips.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QTimer>

namespace {
namespace T {
const QString caption = QStringLiteral("Silvaro - Gestione e cura piante - versione 1.0");
const QString immagine = QStringLiteral("Immagine");
const QString cerca = QStringLiteral("Cerca");
const QString specie = QStringLiteral("Specie");
const QString identificazione = QStringLiteral("Identificazione");
const QString visualizzaTrattamenti = QStringLiteral("Visualizza trattamenti");
const QString visualizzaElencoPiante = QStringLiteral("Visualizza elenco piante");
const QString schedaTrattamenti = QStringLiteral("Scheda trattamenti");
const QString description = QStringLiteral("Il registro delle tue piante e delle loro cure");
const QString silvaro = QStringLiteral("Silvaro");
const QString version = QStringLiteral("ver 1.0");
const QString count = QStringLiteral("Piante in archivio: ");
const QString selectPlant = QStringLiteral("Seleziona una pianta dall'elenco");
const QString selectEvent = QStringLiteral("Seleziona un trattamento dall'elenco");
const QString chooseField = QStringLiteral("Selezionare un campo di ricerca");
const QString askDeletePlant = QStringLiteral("Vuoi cancellare la scheda della pianta ");
const QString askDeleteEvent = QStringLiteral("Vuoi cancellare il trattamento selezionato? ");
const QString deleteFailed = QStringLiteral("Impossibile cancellare: ");
const QString ripristina = QStringLiteral("&Ripristina copia di sicurezza...");
const QString esporta = QStringLiteral("Esporta in &CSV...");
} // namespace T

const QList<ReportListModel::Column> plantColumns = {{"", 0},
                                                     {"Specie", 2700},
                                                     {"Identificazione", 4700},
                                                     {"Annaffiatura/concime", 1700},
                                                     {"Fioritura", 1200},
                                                     {"Vaso", 1200},
                                                     {"Ultimo intervento/Evento", 9600},
                                                     {"", 0}};

const QList<ReportListModel::Column> eventColumns = {
    {"", 0}, {"", 0}, {"", 0}, {"Trattamento/eventi", 3100}, {"Data", 1300}, {"Descrizione", 14200},
    {"", 0}};

// How long the keys must rest before the picture of the row they reached is painted.
constexpr int keyPauseMs = 150;

// Sub-items holding the keys and the identification (column n is sub-item n-1), and past
// the last column the rowid of the row, which goes with it through sorting.
constexpr int plantKeyItem = 7;
constexpr int plantNameItem = 2;
constexpr int eventKeyItem = 6;
constexpr int plantRowItem = 8;
constexpr int eventRowItem = 7;

// A row's key, or nothing when its stored key is no whole number.
std::optional<qint64> keyOf(const QString &text) {
    return Conversions::parseKey(text);
}

QLabel *label(QWidget *parent, const QString &text, const QFont &font, const QColor &colour) {
    auto *l = new QLabel(text, parent);
    l->setFont(font);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    l->setAttribute(Qt::WA_TranslucentBackground);
    return l;
}

// The little logo of the banner: a leaf in the banner's blue.
class Logo : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(2, 2, -2, -2);
        QPainterPath leaf;
        leaf.moveTo(r.left() + r.width() * 0.5, r.bottom());
        leaf.cubicTo(r.left() - r.width() * 0.2, r.top() + r.height() * 0.6,
                     r.left() + r.width() * 0.3, r.top(), r.right(), r.top());
        leaf.cubicTo(r.right(), r.top() + r.height() * 0.5, r.left() + r.width() * 0.8,
                     r.bottom() - r.height() * 0.2, r.left() + r.width() * 0.5, r.bottom());
        p.setPen(QPen(QColor(20, 60, 110), 1.2));
        p.setBrush(QColor(34, 80, 139));
        p.drawPath(leaf);
        p.setPen(QPen(QColor(200, 220, 240), 1));
        p.drawLine(QPointF(r.left() + r.width() * 0.5, r.bottom()),
                   QPointF(r.right() - 2, r.top() + 2));
    }
};

} // namespace

MainWindow::MainWindow(AppContext &ctx, QWidget *parent)
    : QMainWindow(parent), m_ctx(ctx), m_state(ctx.state) {
    setObjectName("MainWindow");
    setWindowTitle(T::caption);
    auto *client = new QWidget(this);
    client->setObjectName("client");
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, QColor(171, 171, 171)); // application workspace
    client->setPalette(pal);
    setCentralWidget(client);
    buildSidePanel();
    buildMainArea();
    buildMenus();
    resize(Twips::px(11880), Twips::px(7590) + menuBar()->sizeHint().height());
    m_pictureTimer = new QTimer(this);
    m_pictureTimer->setSingleShot(true);
    m_pictureTimer->setInterval(keyPauseMs);
    connect(m_pictureTimer, &QTimer::timeout, this, &MainWindow::paintPlantPicture);
    startup();
}

void MainWindow::buildSidePanel() {
    QWidget *client = centralWidget();
    sidePanel = new DecorPanel(client, QColor(38, 78, 60), QColor(14, 40, 30), true);
    sidePanel->setObjectName("sidePanel");
    sidePanel->setGeometry(0, 0, Twips::px(3105), Twips::px(7590));

    pictureHeader = new DecorPanel(sidePanel, QColor(70, 110, 170), QColor(22, 50, 110));
    pictureHeader->setObjectName("pictureHeader");
    Twips::place(pictureHeader, 90, 60, 2895, 345);
    pictureCaption = label(pictureHeader, T::immagine, Fonts::sans(8.25, true), Qt::white);
    pictureCaption->setObjectName("pictureCaption");
    Twips::place(pictureCaption, 90, 30, 1725, 285);

    pictureFrame = new PictureBox(sidePanel);
    pictureFrame->setObjectName("pictureFrame");
    pictureFrame->setAccessibleName(T::immagine);
    Twips::place(pictureFrame, 90, 450, 2895, 3045);
    pictureFrame->clear();

    searchPanel = new QWidget(sidePanel);
    searchPanel->setObjectName("searchPanel");
    searchPanel->setAutoFillBackground(true);
    QPalette pal = searchPanel->palette();
    pal.setColor(QPalette::Window, QColor(210, 217, 227));
    searchPanel->setPalette(pal);
    Twips::place(searchPanel, 60, 3570, 2925, 975);
    searchLabel = label(searchPanel, T::cerca, Fonts::sans(8.25, true), Qt::black);
    searchLabel->setObjectName("searchLabel");
    Twips::place(searchLabel, 30, 120, 1005, 345);
    searchFieldCombo = new QComboBox(searchPanel);
    searchFieldCombo->setObjectName("searchFieldCombo");
    searchFieldCombo->addItems({T::specie, T::identificazione});
    searchFieldCombo->setCurrentIndex(-1);
    searchFieldCombo->setAccessibleName(T::cerca);
    Twips::place(searchFieldCombo, 720, 90, 2085, 315);
    searchEdit = new QLineEdit(searchPanel);
    searchEdit->setObjectName("searchEdit");
    searchEdit->setAccessibleName(T::cerca);
    searchLabel->setBuddy(searchFieldCombo);
    Twips::place(searchEdit, 60, 480, 2745, 345);
    connect(searchEdit, &QLineEdit::textChanged, this, &MainWindow::onSearchTextChanged);

    showEventsButton = new PictureButton(T::visualizzaTrattamenti, sidePanel);
    showEventsButton->setObjectName("showEventsButton");
    Twips::place(showEventsButton, 90, 4650, 2775, 495);
    showPlantsButton = new PictureButton(T::visualizzaElencoPiante, sidePanel);
    showPlantsButton->setObjectName("showPlantsButton");
    Twips::place(showPlantsButton, 90, 5190, 2775, 495);
    newEventButton = new PictureButton(T::schedaTrattamenti, sidePanel);
    newEventButton->setObjectName("newEventButton");
    Twips::place(newEventButton, 90, 5730, 2775, 495);
    connect(showEventsButton, &QPushButton::clicked, this, command(&MainWindow::switchToEvents));
    connect(showPlantsButton, &QPushButton::clicked, this, command(&MainWindow::switchToPlants));
    connect(newEventButton, &QPushButton::clicked, this, command(&MainWindow::newEvent));

    descriptionLabel = label(sidePanel, T::description, Fonts::sans(8.25), Qt::white);
    descriptionLabel->setObjectName("descriptionLabel");
    descriptionLabel->setWordWrap(true);
    Twips::place(descriptionLabel, 120, 6300, 2775, 825);

    hiddenList = new QListWidget(sidePanel);
    hiddenList->setObjectName("hiddenList");
    Twips::place(hiddenList, 120, 9930, 2865, 3180);
    hiddenList->hide();
}

void MainWindow::buildMainArea() {
    QWidget *client = centralWidget();
    mainArea = new DecorPanel(client, QColor(226, 232, 238), QColor(200, 210, 220));
    mainArea->setObjectName("mainArea");
    mainArea->setGeometry(Twips::px(3105), 0, Twips::px(31915), Twips::px(7590));

    headingStrip = new DecorPanel(mainArea, QColor(70, 110, 170), QColor(22, 50, 110));
    headingStrip->setObjectName("headingStrip");
    Twips::place(headingStrip, 60, 60, 11115, 285);
    headingLabel = label(headingStrip, QString(), Fonts::sans(9.75, true), Qt::white);
    headingLabel->setObjectName("headingLabel");
    Twips::place(headingLabel, 90, 0, 3405, 225);
    headingLabel->setMinimumHeight(Twips::px(285));

    listView = new ReportList(mainArea);
    listView->setObjectName("listView");
    listView->setAccessibleName(QStringLiteral("Elenco"));
    Twips::place(listView, 120, 510, 14175, 5355);
    connect(listView, &ReportList::itemClicked, this, &MainWindow::onRowClicked);
    connect(listView, &ReportList::mouseReleased, this, &MainWindow::onMouseReleased);
    connect(listView, &ReportList::mouseMoved, this, [this] { listView->setTracking(true); });
    connect(listView, &ReportList::headerClicked, this, &MainWindow::onHeaderClicked);
    connect(listView, &ReportList::keyboardSelected, this, &MainWindow::onKeyboardSelected);
    connect(listView, &ReportList::keyReleased, this, &MainWindow::paintPendingPicture);
    connect(listView, &ReportList::menuKeyPressed, this, &MainWindow::onMenuKey);

    banner = new DecorPanel(mainArea, QColor(236, 240, 246), QColor(196, 208, 226));
    banner->setObjectName("banner");
    Twips::place(banner, 120, 5910, 11115, 1695);
    logo = new Logo(banner);
    logo->setObjectName("logo");
    Twips::place(logo, 60, 270, 510, 690);
    const QColor blue(34, 80, 139);
    bannerTitle = label(banner, T::silvaro, Fonts::sans(24, true, true), blue);
    bannerTitle->setObjectName("bannerTitle");
    Twips::place(bannerTitle, 600, 270, 2265, 585);
    bannerVersion = label(banner, T::version, Fonts::sans(8.25, true), blue);
    bannerVersion->setObjectName("bannerVersion");
    Twips::place(bannerVersion, 2580, 540, 1995, 285);
}

// Captions carry their mnemonic as "&": the letter after it is underlined, Alt and the letter
// opens a menu of the bar, the letter alone runs an item of an open menu. Within a menu every
// letter is used once.
void MainWindow::buildMenus() {
    auto action = [this](QMenu *menu, const char *name, const QString &caption,
                         void (MainWindow::*slot)()) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, command(slot));
        return a;
    };
    fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName("fileMenu");
    printAction =
        action(fileMenu, "printAction", QStringLiteral("&Stampa"), &MainWindow::printCard);
    labelsAction = action(fileMenu, "labelsAction", QStringLiteral("Stampa e&tichette..."),
                          &MainWindow::printLabels);
    fileMenu->addSeparator();
    restoreAction = action(fileMenu, "restoreAction", T::ripristina, &MainWindow::restoreCopy);
    exportAction = action(fileMenu, "exportAction", T::esporta, &MainWindow::exportCsv);
    // The spreadsheet import: its window does the rest and refills the list.
    QAction *importAction = fileMenu->addAction(QStringLiteral("&Importa da CSV..."));
    importAction->setObjectName("importAction");
    connect(importAction, &QAction::triggered, this, [this] {
        paintPendingPicture();
        openModal(new CsvImportDialog(m_ctx, *this, this));
    });
    fileMenu->addSeparator();
    quitAction = action(fileMenu, "quitAction", QStringLiteral("&Esci"), &MainWindow::quit);

    plantsMenu = menuBar()->addMenu(QStringLiteral("&Gestione Piante"));
    plantsMenu->setObjectName("plantsMenu");
    showCardAction = action(plantsMenu, "showCardAction", QStringLiteral("&Visualizza scheda"),
                            &MainWindow::showCard);
    newCardAction =
        action(plantsMenu, "newCardAction", QStringLiteral("&Nuova scheda"), &MainWindow::newCard);
    editCardAction = action(plantsMenu, "editCardAction", QStringLiteral("&Modifica scheda"),
                            &MainWindow::editCard);
    newEventAction = action(plantsMenu, "newEventAction", QStringLiteral("&Scheda Trattamenti"),
                            &MainWindow::newEvent);
    // Care that is due: a window beside this one, reached back through MainList.
    plantsMenu
        ->addAction(QStringLiteral("&Cure in scadenza..."), this,
                    [this] { DueCareDialog::open(m_ctx, *this, this); })
        ->setObjectName("dueCareAction");

    aboutAction = menuBar()->addAction(QStringLiteral("&About"));
    aboutAction->setObjectName("aboutAction");
    connect(aboutAction, &QAction::triggered, this, command(&MainWindow::showAbout));

    // The desktop's usual keys, shown beside the menu items they give. Named one by one:
    // some desktops' key schemes have no "quit" key.
    newCardAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    printAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    aboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    findAction = new QAction(this);
    findAction->setObjectName("findAction");
    findAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    addAction(findAction);
    connect(findAction, &QAction::triggered, this, [this] {
        searchEdit->setFocus(Qt::ShortcutFocusReason);
        searchEdit->selectAll();
    });

    // The two pop-up menus are never in the bar; they open over the list's rows.
    plantPopup = new QMenu(QStringLiteral("men"), this);
    plantPopup->setObjectName("plantPopup");
    popupShowCardAction = action(plantPopup, "popupShowCardAction",
                                 QStringLiteral("&Visualizza scheda"), &MainWindow::showCard);
    popupNewEventAction = action(plantPopup, "popupNewEventAction",
                                 QStringLiteral("&Scheda trattamenti"), &MainWindow::newEvent);
    popupEditCardAction = action(plantPopup, "popupEditCardAction",
                                 QStringLiteral("&Modifica scheda"), &MainWindow::editCard);
    deletePlantAction = action(plantPopup, "deletePlantAction", QStringLiteral("&Cancella"),
                               &MainWindow::deletePlant);
    popupShowEventsAction =
        action(plantPopup, "popupShowEventsAction", QStringLiteral("Visualizza &trattamenti"),
               &MainWindow::switchToEvents);
    photoHistoryAction = action(plantPopup, "photoHistoryAction",
                                QStringLiteral("Storia &fotografica"), &MainWindow::showPhotoHistory);

    eventPopup = new QMenu(QStringLiteral("men1"), this);
    eventPopup->setObjectName("eventPopup");
    editEventAction =
        action(eventPopup, "editEventAction", QStringLiteral("&Modifica scheda trattamento"),
               &MainWindow::editEvent);
    deleteEventAction = action(eventPopup, "deleteEventAction", QStringLiteral("&Cancella"),
                               &MainWindow::deleteEvent);
    popupShowPlantsAction =
        action(eventPopup, "popupShowPlantsAction", QStringLiteral("&Visualizza elenco Piante"),
               &MainWindow::switchToPlants);
}

void MainWindow::startup() {
    m_state.listMode = ListMode::Plants;
    ArchiveStartup(m_ctx).run();
    showAllPlants();
    listView->setTracking(false);
    if (m_state.inPlantMode())
        showPlaceholder();
}

void MainWindow::showPlaceholder() {
    // When the placeholder itself is missing or unreadable the frame stays blank.
    heldPicture = pictureFrame->hold(m_ctx.folder.placeholderPath());
    pictureFrame->paintFitted(heldPicture);
}

void MainWindow::showPicture(const HeldPicture &picture) {
    pictureFrame->clear();
    heldPicture = picture;
    if (heldPicture.isNull())
        showPlaceholder();
    else
        pictureFrame->paintFitted(heldPicture);
}

void MainWindow::showAllPlants() {
    fillPlants(false);
}

void MainWindow::showSearchResults() {
    fillPlants(true);
}

void MainWindow::showListAgain() {
    if (!m_state.inPlantMode())
        showEventsOfSelectedPlant();
    else if (searchHasText())
        showSearchResults();
    else
        showAllPlants();
}

bool MainWindow::searchHasText() const {
    return !searchEdit->text().isEmpty();
}

QList<PlantKey> MainWindow::listedPlants() const {
    QList<PlantKey> plants;
    if (m_listShowsEvents) {
        if (m_state.idpianta != 0)
            plants.append({m_state.plantRow(), m_state.idpianta, true});
        return plants;
    }
    const ReportListModel *rows = listView->list();
    for (int r = 0; r < rows->rowCount(); ++r) {
        const auto key = keyOf(rows->text(r, plantKeyItem));
        plants.append({rows->text(r, plantRowItem).toLongLong(), key.value_or(0), key.has_value()});
    }
    return plants;
}

QImage MainWindow::sidePanelPicture() const {
    return pictureFrame->image();
}

QImage MainWindow::sidePanelPicture(qreal scale) const {
    return pictureFrame->image(scale);
}

void MainWindow::fillPlants(bool search) {
    if (m_state.selectedRow == 0)
        m_state.selectedRow = 1;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // The connection of the fill also serves the reads of the other columns that follow;
    // it holds no lock between them, and goes when the last row is read.
    auto kept =
        std::make_shared<std::unique_ptr<OpenedArchive>>(std::make_unique<OpenedArchive>(m_ctx));
    OpenedArchive &archive = **kept;
    std::optional<QList<PlantKey>> plants;
    if (!search)
        plants = archive.plantKeys();
    else if (searchFieldCombo->currentIndex() >= 0)
        plants = archive.searchPlantKeys(searchFieldCombo->currentIndex() == 0
                                             ? SearchField::Specie
                                             : SearchField::Identificazione,
                                         searchEdit->text());
    if (!plants) {
        // The list stays as it was: rows and columns go only once the archive answered.
        pictureFrame->clear();
        return;
    }
    listView->clearAll();
    listView->setColumns(plantColumns);
    m_listShowsEvents = false;
    // The plants' other columns are read for the rows shown first, the others soon after.
    const qsizetype count = plants->size();
    auto connection = [&ctx = m_ctx, kept]() -> OpenedArchive & {
        if (!*kept)
            *kept = std::make_unique<OpenedArchive>(ctx);
        return **kept;
    };
    listView->list()->setRows(std::make_unique<PlantRows>(
        *plants,
        [connection](const QList<qint64> &rowids, bool rest) {
            return connection().plantRowsOf(rowids, rest);
        },
        [connection] { return connection().plantTexts(); }));
    plants.reset();
    if (count > 0)
        headingLabel->setText(T::count + QString::number(count));
    if (listView->list()->rowCount() < m_state.selectedRow)
        m_state.selectedRow = 1;
    if (count == 0) {
        // No row to mark: the frame is blanked.
        m_pictureTimer->stop();
        pictureFrame->clear();
    }
    highlightSelection();
}

bool MainWindow::showEventsOfSelectedPlant() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // As for the plants: the connection serves the reads of the rows that follow.
    auto kept =
        std::make_shared<std::unique_ptr<OpenedArchive>>(std::make_unique<OpenedArchive>(m_ctx));
    const qint64 plant = m_state.idpianta;
    const auto rowids = (*kept)->eventRowids(plant);
    if (!rowids)
        return false;
    listView->clearAll();
    listView->setColumns(eventColumns);
    m_listShowsEvents = true;
    listView->list()->setRows(std::make_unique<EventRows>(
        *rowids, [&ctx = m_ctx, kept, plant](const QList<qint64> &wanted) {
            if (!*kept)
                *kept = std::make_unique<OpenedArchive>(ctx);
            return (*kept)->eventListRows(plant, wanted);
        }));
    highlightSelection();
    return true;
}

void MainWindow::onHeaderClicked(int column) {
    ReportListModel *m = listView->list();
    m->setSortOrder(m->sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder
                                                         : Qt::AscendingOrder);
    m->setSortKey(column);
    m->setSorted(true);
    highlightSelection();
}

void MainWindow::onSearchTextChanged() {
    if (!searchFieldCombo->currentText().isEmpty())
        showSearchResults();
    else
        m_ctx.messages->show(T::chooseField, Messages::Icon::Exclamation);
}

// The row of the list that stands for the selected plant or event, 0 when none does: event
// rows answer to idtratsel, plant rows to idpianta while the list is in plant mode; of rows
// with the same key (another tool's twins), the one whose rowid was selected. Keys are
// compared here and nowhere else: the list shows them as whole numbers, so a key's own text
// is what its cell holds.
int MainWindow::rowOfSelection() const {
    if (!m_listShowsEvents && !m_state.inPlantMode())
        return 0;
    const qint64 key = m_listShowsEvents ? m_state.idtratsel : m_state.idpianta;
    const qint64 rowid = m_listShowsEvents ? m_state.eventRow() : m_state.plantRow();
    const int item = m_listShowsEvents ? eventKeyItem : plantKeyItem;
    const int rowItem = m_listShowsEvents ? eventRowItem : plantRowItem;
    if (key == 0)
        return 0;
    const ReportListModel *m = listView->list();
    if (rowid == 0)
        return m->find({{item, QString::number(key)}}) + 1;
    // A rowid names one row at most: that row is looked for first, as the key of a row may
    // be read only when it is shown.
    const int row = m->find({{rowItem, QString::number(rowid)}});
    return row >= 0 && m->text(row, item) == QString::number(key) ? row + 1 : 0;
}

// The highlighted row is always the selected plant or event: after every fill, sort and click
// the row holding the selected key is marked (and selectedRow follows it), or no row when the
// key is not listed. Marking is not a click: nothing is loaded.
void MainWindow::highlightSelection() {
    const int row = rowOfSelection();
    if (row == 0) {
        listView->clearSelection();
        return;
    }
    m_state.selectedRow = row;
    listView->selectPosition(row);
}

// What a click on a row records: the plant (with its picture) or the event it stands for. A
// row whose stored key is no whole number selects nothing, so no command can act on it, nor
// on the row selected before.
void MainWindow::takeSelection(PictureTiming timing) {
    const int position = listView->selectedPosition();
    if (m_state.inPlantMode()) {
        m_pictureTimer->stop();
        const auto key =
            position == 0 ? std::nullopt : keyOf(listView->selectedSubItem(plantKeyItem));
        if (!key) {
            m_state.selectPlant(0, 0);
            showPicture(QImage());
        } else {
            m_state.selectPlant(*key, listView->selectedSubItem(plantRowItem).toLongLong());
            if (timing == PictureTiming::Now)
                paintPlantPicture();
            else
                m_pictureTimer->start();
        }
    } else if (position != 0) {
        const auto key = keyOf(listView->selectedSubItem(eventKeyItem));
        m_state.selectEvent(key.value_or(0),
                            key ? listView->selectedSubItem(eventRowItem).toLongLong() : 0);
    }
    highlightSelection();
}

// Reads the selected plant's record and paints its picture, or the placeholder.
void MainWindow::paintPlantPicture() {
    m_pictureTimer->stop();
    OpenedArchive archive(m_ctx);
    const auto plant = archive.plant(m_state.idpianta, m_state.plantRow());
    HeldPicture picture;
    if (plant && !plant->value("img").isNull() && !plant->value("img").toString().isEmpty())
        picture = pictureFrame->hold(
            m_ctx.folder.plantPicture(m_state.idpianta, plant->value("img").toString()));
    showPicture(picture);
}

// Every command starts from the picture of the plant it acts on.
std::function<void()> MainWindow::command(void (MainWindow::*slot)()) {
    return [this, slot] {
        paintPendingPicture();
        (this->*slot)();
    };
}

void MainWindow::paintPendingPicture() {
    if (m_pictureTimer->isActive())
        paintPlantPicture();
}

void MainWindow::onRowClicked() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    takeSelection();
    m_takenOnPress = listView->selectedPosition();
}

void MainWindow::onMouseReleased(Qt::MouseButton button, const QPoint &globalPos) {
    // A left click took its row when pressed; its release takes the selection again only
    // when the pointer dragged it to another row.
    const bool taken = m_takenOnPress != 0 && m_takenOnPress == listView->selectedPosition();
    m_takenOnPress = 0;
    if (!taken)
        takeSelection();
    if (button == Qt::RightButton)
        (m_state.inPlantMode() ? plantPopup : eventPopup)->popup(globalPos);
}

// A key that moves the selection acts as a left click on the row it reaches; the picture
// waits until the key is let go or rests, so that holding an arrow decodes no picture per
// row passed.
void MainWindow::onKeyboardSelected(int position) {
    if (position == 0)
        highlightSelection(); // a key may not take the selection away
    else
        takeSelection(PictureTiming::AfterPause);
}

// The context-menu key acts as a right click on the row with the focus frame.
void MainWindow::onMenuKey() {
    const QModelIndex current = listView->currentIndex();
    if (current.isValid() && current.row() + 1 != listView->selectedPosition()) {
        listView->selectPosition(current.row() + 1);
        takeSelection();
    } else {
        paintPendingPicture();
    }
    (m_state.inPlantMode() ? plantPopup : eventPopup)->popup(listView->menuPosition());
}

void MainWindow::resizeEvent(QResizeEvent *e) {
    QMainWindow::resizeEvent(e);
    const int w = width();
    // Below 3500 twips the list keeps its last width.
    if (w - Twips::px(3500) >= 0)
        listView->resize(w - Twips::px(3500), listView->height());
    headingStrip->resize(w, headingStrip->height());
    banner->resize(w, banner->height());
    const int h = centralWidget()->height();
    sidePanel->resize(sidePanel->width(), h);
    mainArea->resize(mainArea->width(), h);
}

void MainWindow::closeEvent(QCloseEvent *e) {
    e->accept();
    QApplication::closeAllWindows();
    QApplication::quit();
}

void MainWindow::openModal(QDialog *window) {
    m_ctx.modal->run(window);
}

void MainWindow::switchToPlants() {
    if (m_state.inPlantMode())
        return;
    m_state.listMode = ListMode::Plants;
    hiddenList->clear();
    showAllPlants();
}

void MainWindow::switchToEvents() {
    if (!m_state.inPlantMode())
        return;
    // The highlighted row is the selected plant's, so no highlight means none is listed.
    if (m_state.idpianta == 0 || listView->selectedPosition() == 0) {
        m_ctx.messages->show(T::selectPlant, Messages::Icon::Exclamation);
        return;
    }
    m_state.listMode = ListMode::Events;
    headingLabel->setText(listView->selectedSubItem(plantNameItem));
    showEventsOfSelectedPlant();
}

void MainWindow::newEvent() {
    if (m_state.idpianta == 0) {
        m_ctx.messages->show(T::selectPlant, Messages::Icon::Exclamation);
        return;
    }
    m_state.idtratsel = 0;
    highlightSelection();
    openModal(new CareEventDialog(m_ctx, *this, m_state.selectedPlant(), EventKey{}, this));
}

void MainWindow::newCard() {
    m_state.idpianta = 0;
    highlightSelection();
    listView->setTracking(false);
    pictureFrame->clear();
    heldPicture = QImage();
    auto *editor = new PlantCardDialog(m_ctx, *this, PlantKey{}, this);
    // With no plant chosen afterwards, the frame shows the placeholder again rather than
    // staying blank.
    connect(editor, &QDialog::finished, this, [this] {
        if (m_state.idpianta == 0 && m_state.inPlantMode() && heldPicture.isNull())
            showPlaceholder();
    });
    openCardEditor(editor);
}

// Whatever the editor stored, the list shows the plants again once it closes: those the
// search finds while the search box holds text, else all of them.
void MainWindow::openCardEditor(PlantCardDialog *editor) {
    connect(editor, &PlantCardDialog::closing, this, [this] {
        m_state.listMode = ListMode::Plants;
        showListAgain();
    });
    openModal(editor);
}

void MainWindow::editCard() {
    if (m_state.idpianta == 0) {
        m_ctx.messages->show(T::selectPlant, Messages::Icon::Exclamation);
        return;
    }
    listView->setTracking(false);
    openCardEditor(new PlantCardDialog(m_ctx, *this, m_state.selectedPlant(), this));
}

void MainWindow::editEvent() {
    if (m_state.idtratsel == 0) {
        m_ctx.messages->show(T::selectEvent, Messages::Icon::Exclamation);
        return;
    }
    listView->setTracking(false);
    openModal(new CareEventDialog(m_ctx, *this, m_state.selectedPlant(), m_state.selectedEvent(),
                                  this));
}

void MainWindow::deletePlant() {
    OpenedArchive archive(m_ctx);
    if (!archive.isOpen())
        return;
    const auto plant = archive.plant(m_state.idpianta, m_state.plantRow());
    if (m_state.idpianta == 0 || !plant) {
        m_ctx.messages->show(T::selectPlant, Messages::Icon::Exclamation);
        return;
    }
    if (!m_ctx.messages->askYesNo(T::askDeletePlant + plant->value("identificazione").toString() +
                                  " ?"))
        return;
    // The plant, its events and its photo rows go together, in one transaction, or not at
    // all; the photo files once that is done.
    QStringList photos;
    if (!archive.deletePlantWithEvents(m_state.idpianta, m_state.plantRow(), &photos))
        m_ctx.messages->show(T::deleteFailed + archive.lastError(), Messages::Icon::Exclamation);
    else
        PhotoFiles(m_ctx.folder).removeFiles(m_state.idpianta, photos);
    showAllPlants();
}

void MainWindow::deleteEvent() {
    OpenedArchive archive(m_ctx);
    if (!archive.isOpen())
        return;
    if (m_state.idtratsel == 0 || !archive.event(m_state.idtratsel, m_state.eventRow())) {
        m_ctx.messages->show(T::selectEvent, Messages::Icon::Exclamation);
        return;
    }
    if (!m_ctx.messages->askYesNo(T::askDeleteEvent))
        return;
    if (!archive.deleteEvent(m_state.idtratsel, m_state.eventRow()))
        m_ctx.messages->show(T::deleteFailed + archive.lastError(), Messages::Icon::Exclamation);
    showEventsOfSelectedPlant();
}

void MainWindow::showCard() {
    openModal(new CardViewDialog(m_ctx, *this, this));
}

void MainWindow::printCard() {
    openModal(new CardPrintDialog(m_ctx, *this, this));
}

void MainWindow::printLabels() {
    openModal(new LabelPrintDialog(m_ctx, *this, this));
}

void MainWindow::showAbout() {
    openModal(new AboutDialog(m_ctx, this));
}

void MainWindow::quit() {
    close();
}

void MainWindow::restoreCopy() {
    BackupCommands(m_ctx, *this).restore();
}

void MainWindow::showPhotoHistory() {
    if (m_state.idpianta == 0) {
        m_ctx.messages->show(T::selectPlant, Messages::Icon::Exclamation);
        return;
    }
    openPhotoHistory(m_state.idpianta, this);
}

void MainWindow::openPhotoHistory(qint64 key, QWidget *over,
                                  const PictureChoice &useAsCardPicture) {
    listView->setTracking(false);
    const qint64 rowid = key == m_state.idpianta ? m_state.plantRow() : 0;
    // From the list, the card takes the photo at once, by the editor's own safe change.
    PictureChoice change = useAsCardPicture;
    if (!change)
        change = [this, key, rowid](const QString &photo, QString *error) {
            const QString name = QStringLiteral("scheda-") + QFileInfo(photo).fileName();
            OpenedArchive archive(m_ctx);
            if (!archive.isOpen()) {
                *error = archive.lastError();
                return false;
            }
            PictureChange picture(m_ctx.folder, key, rowid, name);
            if (!picture.stage(photo, error))
                return false;
            if (!archive.updatePlant(key, {{QStringLiteral("img"), name}}, rowid,
                                     [&](const Record &row, QString *why) {
                                         return picture.noteRow(row, why);
                                     })) {
                *error = archive.lastError();
                return false;
            }
            if (!picture.finish(error))
                return false;
            if (m_state.inPlantMode() && m_state.idpianta == key)
                takeSelection(PictureTiming::Now); // the side panel shows the new picture
            return true;
        };
    openModal(new PhotoHistoryDialog(m_ctx, key, change, over));
}

void MainWindow::exportCsv() {
    BackupCommands(m_ctx, *this).exportCsv();
}

// From the window of care that is due: the plant becomes the selected one, its events are
// listed under its name and its picture, and this window comes forward.
bool MainWindow::showEventsOfPlant(qint64 plantId, qint64 rowid) {
    OpenedArchive archive(m_ctx);
    const auto plant = archive.plant(plantId, rowid);
    if (!plant)
        return false;
    m_state.selectPlant(plantId, rowid);
    m_state.listMode = ListMode::Events;
    m_state.idtratsel = 0;
    headingLabel->setText(plant->value("identificazione").toString());
    paintPlantPicture();
    if (!showEventsOfSelectedPlant())
        return false;
    raise();
    activateWindow();
    return true;
}
