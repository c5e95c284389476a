#include "mainwindow/mainwindow.h"

#include "about/aboutdialog.h"
#include "archive/conversions.h"
#include "archive/photofiles.h"
#include "careevent/careeventdialog.h"
#include "mainwindow/archivestartup.h"
#include "mainwindow/backupcommands.h"
#include "photohistory/photohistorydialog.h"
#include "plantcard/picturechange.h"
#include "plantcard/plantcarddialog.h"
#include "printing/cardprintdialog.h"
#include "printing/cardviewdialog.h"
#include "ui/decorpanel.h"
#include "ui/eventrows.h"
#include "ui/fonts.h"
#include "ui/openedarchive.h"
#include "ui/picturebox.h"
#include "ui/picturebutton.h"
#include "ui/plantrows.h"
#include "ui/reportlist.h"
#include "ui/twips.h"

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
    Picture1 = new DecorPanel(client, QColor(38, 78, 60), QColor(14, 40, 30), true);
    Picture1->setObjectName("Picture1");
    Picture1->setGeometry(0, 0, Twips::px(3105), Twips::px(7590));

    Picture8 = new DecorPanel(Picture1, QColor(70, 110, 170), QColor(22, 50, 110));
    Picture8->setObjectName("Picture8");
    Twips::place(Picture8, 90, 60, 2895, 345);
    Label6 = label(Picture8, T::immagine, Fonts::sans(8.25, true), Qt::white);
    Label6->setObjectName("Label6");
    Twips::place(Label6, 90, 30, 1725, 285);

    Picture3 = new PictureBox(Picture1);
    Picture3->setObjectName("Picture3");
    Picture3->setAccessibleName(T::immagine);
    Twips::place(Picture3, 90, 450, 2895, 3045);
    Picture3->clear();

    Picture7 = new QWidget(Picture1);
    Picture7->setObjectName("Picture7");
    Picture7->setAutoFillBackground(true);
    QPalette pal = Picture7->palette();
    pal.setColor(QPalette::Window, QColor(210, 217, 227));
    Picture7->setPalette(pal);
    Twips::place(Picture7, 60, 3570, 2925, 975);
    Label1 = label(Picture7, T::cerca, Fonts::sans(8.25, true), Qt::black);
    Label1->setObjectName("Label1");
    Twips::place(Label1, 30, 120, 1005, 345);
    Combo1 = new QComboBox(Picture7);
    Combo1->setObjectName("Combo1");
    Combo1->addItems({T::specie, T::identificazione});
    Combo1->setCurrentIndex(-1);
    Combo1->setAccessibleName(T::cerca);
    Twips::place(Combo1, 720, 90, 2085, 315);
    Text1 = new QLineEdit(Picture7);
    Text1->setObjectName("Text1");
    Text1->setAccessibleName(T::cerca);
    Label1->setBuddy(Combo1);
    Twips::place(Text1, 60, 480, 2745, 345);
    connect(Text1, &QLineEdit::textChanged, this, &MainWindow::onSearchTextChanged);

    Command3 = new PictureButton(T::visualizzaTrattamenti, Picture1);
    Command3->setObjectName("Command3");
    Twips::place(Command3, 90, 4650, 2775, 495);
    Command1 = new PictureButton(T::visualizzaElencoPiante, Picture1);
    Command1->setObjectName("Command1");
    Twips::place(Command1, 90, 5190, 2775, 495);
    Command2 = new PictureButton(T::schedaTrattamenti, Picture1);
    Command2->setObjectName("Command2");
    Twips::place(Command2, 90, 5730, 2775, 495);
    connect(Command3, &QPushButton::clicked, this, command(&MainWindow::Command3_Click));
    connect(Command1, &QPushButton::clicked, this, command(&MainWindow::Command1_Click));
    connect(Command2, &QPushButton::clicked, this, command(&MainWindow::Command2_Click));

    Label3 = label(Picture1, T::description, Fonts::sans(8.25), Qt::white);
    Label3->setObjectName("Label3");
    Label3->setWordWrap(true);
    Twips::place(Label3, 120, 6300, 2775, 825);

    List1 = new QListWidget(Picture1);
    List1->setObjectName("List1");
    Twips::place(List1, 120, 9930, 2865, 3180);
    List1->hide();
}

void MainWindow::buildMainArea() {
    QWidget *client = centralWidget();
    Picture2 = new DecorPanel(client, QColor(226, 232, 238), QColor(200, 210, 220));
    Picture2->setObjectName("Picture2");
    Picture2->setGeometry(Twips::px(3105), 0, Twips::px(31915), Twips::px(7590));

    Picture6 = new DecorPanel(Picture2, QColor(70, 110, 170), QColor(22, 50, 110));
    Picture6->setObjectName("Picture6");
    Twips::place(Picture6, 60, 60, 11115, 285);
    Label2 = label(Picture6, QString(), Fonts::sans(9.75, true), Qt::white);
    Label2->setObjectName("Label2");
    Twips::place(Label2, 90, 0, 3405, 225);
    Label2->setMinimumHeight(Twips::px(285));

    lvw1 = new ReportList(Picture2);
    lvw1->setObjectName("lvw1");
    lvw1->setAccessibleName(QStringLiteral("Elenco"));
    Twips::place(lvw1, 120, 510, 14175, 5355);
    connect(lvw1, &ReportList::itemClicked, this, &MainWindow::onRowClicked);
    connect(lvw1, &ReportList::mouseReleased, this, &MainWindow::onMouseReleased);
    connect(lvw1, &ReportList::mouseMoved, this, [this] { lvw1->setTracking(true); });
    connect(lvw1, &ReportList::headerClicked, this, &MainWindow::onHeaderClicked);
    connect(lvw1, &ReportList::keyboardSelected, this, &MainWindow::onKeyboardSelected);
    connect(lvw1, &ReportList::keyReleased, this, &MainWindow::paintPendingPicture);
    connect(lvw1, &ReportList::menuKeyPressed, this, &MainWindow::onMenuKey);

    Picture9 = new DecorPanel(Picture2, QColor(236, 240, 246), QColor(196, 208, 226));
    Picture9->setObjectName("Picture9");
    Twips::place(Picture9, 120, 5910, 11115, 1695);
    Picture10 = new Logo(Picture9);
    Picture10->setObjectName("Picture10");
    Twips::place(Picture10, 60, 270, 510, 690);
    const QColor blue(34, 80, 139);
    Label8 = label(Picture9, T::silvaro, Fonts::sans(24, true, true), blue);
    Label8->setObjectName("Label8");
    Twips::place(Label8, 600, 270, 2265, 585);
    Label4 = label(Picture9, T::version, Fonts::sans(8.25, true), blue);
    Label4->setObjectName("Label4");
    Twips::place(Label4, 2580, 540, 1995, 285);
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
    filemnu = menuBar()->addMenu(QStringLiteral("&File"));
    filemnu->setObjectName("filemnu");
    sta = action(filemnu, "sta", QStringLiteral("&Stampa"), &MainWindow::sta_Click);
    filemnu->addSeparator();
    ripristina = action(filemnu, "ripristina", T::ripristina, &MainWindow::ripristina_Click);
    esporta = action(filemnu, "esporta", T::esporta, &MainWindow::esporta_Click);
    filemnu->addSeparator();
    esci = action(filemnu, "esci", QStringLiteral("&Esci"), &MainWindow::esci_Click);

    gepia = menuBar()->addMenu(QStringLiteral("&Gestione Piante"));
    gepia->setObjectName("gepia");
    vischenosta = action(gepia, "vischenosta", QStringLiteral("&Visualizza scheda"),
                         &MainWindow::vischenosta_Click);
    inscheda =
        action(gepia, "inscheda", QStringLiteral("&Nuova scheda"), &MainWindow::inscheda_Click);
    vische = action(gepia, "vische", QStringLiteral("&Modifica scheda"), &MainWindow::vische_Click);
    schecolti = action(gepia, "schecolti", QStringLiteral("&Scheda Trattamenti"),
                       &MainWindow::Command2_Click);

    aboutmnu = menuBar()->addAction(QStringLiteral("&About"));
    aboutmnu->setObjectName("aboutmnu");
    connect(aboutmnu, &QAction::triggered, this, command(&MainWindow::aboutmnu_Click));

    // The desktop's usual keys, shown beside the menu items they give. Named one by one:
    // some desktops' key schemes have no "quit" key.
    inscheda->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    sta->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    esci->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    aboutmnu->setShortcut(QKeySequence(Qt::Key_F1));
    findAction = new QAction(this);
    findAction->setObjectName("findAction");
    findAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    addAction(findAction);
    connect(findAction, &QAction::triggered, this, [this] {
        Text1->setFocus(Qt::ShortcutFocusReason);
        Text1->selectAll();
    });

    // The two pop-up menus are never in the bar; they open over the list's rows.
    meme = new QMenu(QStringLiteral("men"), this);
    meme->setObjectName("meme");
    vischenost = action(meme, "vischenost", QStringLiteral("&Visualizza scheda"),
                        &MainWindow::vischenosta_Click);
    vissche =
        action(meme, "vissche", QStringLiteral("&Scheda trattamenti"), &MainWindow::Command2_Click);
    modische =
        action(meme, "modische", QStringLiteral("&Modifica scheda"), &MainWindow::vische_Click);
    cancella = action(meme, "cancella", QStringLiteral("&Cancella"), &MainWindow::cancella_Click);
    vistrattamenti = action(meme, "vistrattamenti", QStringLiteral("Visualizza &trattamenti"),
                            &MainWindow::Command3_Click);
    storiafoto = action(meme, "storiafoto", QStringLiteral("Storia &fotografica"),
                        &MainWindow::storiafoto_Click);

    meme1 = new QMenu(QStringLiteral("men1"), this);
    meme1->setObjectName("meme1");
    modschetra = action(meme1, "modschetra", QStringLiteral("&Modifica scheda trattamento"),
                        &MainWindow::modschetra_Click);
    canctra = action(meme1, "canctra", QStringLiteral("&Cancella"), &MainWindow::canctra_Click);
    vitra = action(meme1, "vitra", QStringLiteral("&Visualizza elenco Piante"),
                   &MainWindow::Command1_Click);
}

void MainWindow::startup() {
    m_state.modolista = ProgramState::plantMode;
    ArchiveStartup(m_ctx).run();
    showAllPlants();
    lvw1->setTracking(false);
    if (m_state.inPlantMode())
        showPlaceholder();
}

void MainWindow::showPlaceholder() {
    // When the placeholder itself is missing or unreadable the frame stays blank.
    Picture5 = Picture3->hold(m_ctx.folder.placeholderPath());
    Picture3->paintFitted(Picture5);
}

void MainWindow::showPicture(const HeldPicture &picture) {
    Picture3->clear();
    Picture5 = picture;
    if (Picture5.isNull())
        showPlaceholder();
    else
        Picture3->paintFitted(Picture5);
}

void MainWindow::showAllPlants() {
    fillPlants(false);
}

void MainWindow::showSearchResults() {
    fillPlants(true);
}

bool MainWindow::searchHasText() const {
    return !Text1->text().isEmpty();
}

QImage MainWindow::sidePanelPicture() const {
    return Picture3->image();
}

QImage MainWindow::sidePanelPicture(qreal scale) const {
    return Picture3->image(scale);
}

void MainWindow::fillPlants(bool search) {
    if (m_state.rigasel == 0)
        m_state.rigasel = 1;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // The connection of the fill also serves the reads of the other columns that follow;
    // it holds no lock between them, and goes when the last row is read.
    auto kept =
        std::make_shared<std::unique_ptr<OpenedArchive>>(std::make_unique<OpenedArchive>(m_ctx));
    OpenedArchive &archive = **kept;
    std::optional<QList<PlantKey>> plants;
    if (!search)
        plants = archive.plantKeys();
    else if (Combo1->currentIndex() >= 0)
        plants = archive.searchPlantKeys(Combo1->currentIndex() == 0 ? SearchField::Specie
                                                                     : SearchField::Identificazione,
                                         Text1->text());
    if (!plants) {
        // The list stays as it was: rows and columns go only once the archive answered.
        Picture3->clear();
        return;
    }
    lvw1->clearAll();
    lvw1->setColumns(plantColumns);
    m_listShowsEvents = false;
    // The plants' other columns are read for the rows shown first, the others soon after.
    const qsizetype count = plants->size();
    auto connection = [&ctx = m_ctx, kept]() -> OpenedArchive & {
        if (!*kept)
            *kept = std::make_unique<OpenedArchive>(ctx);
        return **kept;
    };
    lvw1->list()->setRows(std::make_unique<PlantRows>(
        *plants,
        [connection](const QList<qint64> &rowids, bool rest) {
            return connection().plantRowsOf(rowids, rest);
        },
        [connection] { return connection().plantTexts(); }));
    plants.reset();
    if (count > 0)
        Label2->setText(T::count + QString::number(count));
    if (lvw1->list()->rowCount() < m_state.rigasel)
        m_state.rigasel = 1;
    if (count == 0) {
        // No row to mark: the frame is blanked.
        m_pictureTimer->stop();
        Picture3->clear();
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
    lvw1->clearAll();
    lvw1->setColumns(eventColumns);
    m_listShowsEvents = true;
    lvw1->list()->setRows(std::make_unique<EventRows>(
        *rowids, [&ctx = m_ctx, kept, plant](const QList<qint64> &wanted) {
            if (!*kept)
                *kept = std::make_unique<OpenedArchive>(ctx);
            return (*kept)->eventListRows(plant, wanted);
        }));
    highlightSelection();
    return true;
}

void MainWindow::onHeaderClicked(int column) {
    ReportListModel *m = lvw1->list();
    m->setSortOrder(m->sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder
                                                         : Qt::AscendingOrder);
    m->setSortKey(column);
    m->setSorted(true);
    highlightSelection();
}

void MainWindow::onSearchTextChanged() {
    if (!Combo1->currentText().isEmpty())
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
    const ReportListModel *m = lvw1->list();
    if (rowid == 0)
        return m->find({{item, QString::number(key)}}) + 1;
    // A rowid names one row at most: that row is looked for first, as the key of a row may
    // be read only when it is shown.
    const int row = m->find({{rowItem, QString::number(rowid)}});
    return row >= 0 && m->text(row, item) == QString::number(key) ? row + 1 : 0;
}

// The highlighted row is always the selected plant or event: after every fill, sort and click
// the row holding the selected key is marked (and rigasel follows it), or no row when the
// key is not listed. Marking is not a click: nothing is loaded.
void MainWindow::highlightSelection() {
    const int row = rowOfSelection();
    if (row == 0) {
        lvw1->clearSelection();
        return;
    }
    m_state.rigasel = row;
    lvw1->selectPosition(row);
}

// What a click on a row records: the plant (with its picture) or the event it stands for. A
// row whose stored key is no whole number selects nothing, so no command can act on it, nor
// on the row selected before.
void MainWindow::takeSelection(PictureTiming timing) {
    const int position = lvw1->selectedPosition();
    if (m_state.inPlantMode()) {
        m_pictureTimer->stop();
        const auto key = position == 0 ? std::nullopt : keyOf(lvw1->selectedSubItem(plantKeyItem));
        if (!key) {
            m_state.selectPlant(0, 0);
            showPicture(QImage());
        } else {
            m_state.selectPlant(*key, lvw1->selectedSubItem(plantRowItem).toLongLong());
            if (timing == PictureTiming::Now)
                paintPlantPicture();
            else
                m_pictureTimer->start();
        }
    } else if (position != 0) {
        const auto key = keyOf(lvw1->selectedSubItem(eventKeyItem));
        m_state.selectEvent(key.value_or(0),
                            key ? lvw1->selectedSubItem(eventRowItem).toLongLong() : 0);
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
        picture = Picture3->hold(
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
    m_takenOnPress = lvw1->selectedPosition();
}

void MainWindow::onMouseReleased(Qt::MouseButton button, const QPoint &globalPos) {
    // A left click took its row when pressed; its release takes the selection again only
    // when the pointer dragged it to another row.
    const bool taken = m_takenOnPress != 0 && m_takenOnPress == lvw1->selectedPosition();
    m_takenOnPress = 0;
    if (!taken)
        takeSelection();
    if (button == Qt::RightButton)
        (m_state.inPlantMode() ? meme : meme1)->popup(globalPos);
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
    const QModelIndex current = lvw1->currentIndex();
    if (current.isValid() && current.row() + 1 != lvw1->selectedPosition()) {
        lvw1->selectPosition(current.row() + 1);
        takeSelection();
    } else {
        paintPendingPicture();
    }
    (m_state.inPlantMode() ? meme : meme1)->popup(lvw1->menuPosition());
}

void MainWindow::resizeEvent(QResizeEvent *e) {
    QMainWindow::resizeEvent(e);
    const int w = width();
    // Below 3500 twips the list keeps its last width.
    if (w - Twips::px(3500) >= 0)
        lvw1->resize(w - Twips::px(3500), lvw1->height());
    Picture6->resize(w, Picture6->height());
    Picture9->resize(w, Picture9->height());
    const int h = centralWidget()->height();
    Picture1->resize(Picture1->width(), h);
    Picture2->resize(Picture2->width(), h);
}

void MainWindow::closeEvent(QCloseEvent *e) {
    e->accept();
    QApplication::closeAllWindows();
    QApplication::quit();
}

void MainWindow::openModal(QDialog *window) {
    m_ctx.modal->run(window);
}

void MainWindow::Command1_Click() {
    if (m_state.inPlantMode())
        return;
    m_state.modolista = ProgramState::plantMode;
    List1->clear();
    showAllPlants();
}

void MainWindow::Command3_Click() {
    if (!m_state.inPlantMode())
        return;
    // The highlighted row is the selected plant's, so no highlight means none is listed.
    if (m_state.idpianta == 0 || lvw1->selectedPosition() == 0) {
        m_ctx.messages->show(T::selectPlant, Messages::Icon::Exclamation);
        return;
    }
    m_state.modolista = ProgramState::eventMode;
    Label2->setText(lvw1->selectedSubItem(plantNameItem));
    showEventsOfSelectedPlant();
}

void MainWindow::Command2_Click() {
    if (m_state.idpianta == 0) {
        m_ctx.messages->show(T::selectPlant, Messages::Icon::Exclamation);
        return;
    }
    m_state.idtratsel = 0;
    highlightSelection();
    openModal(new CareEventDialog(m_ctx, *this, this));
}

void MainWindow::inscheda_Click() {
    m_state.idpianta = 0;
    highlightSelection();
    lvw1->setTracking(false);
    Picture3->clear();
    Picture5 = QImage();
    auto *editor = new PlantCardDialog(m_ctx, *this, this);
    // With no plant chosen afterwards, the frame shows the placeholder again rather than
    // staying blank.
    connect(editor, &QDialog::finished, this, [this] {
        if (m_state.idpianta == 0 && m_state.inPlantMode() && Picture5.isNull())
            showPlaceholder();
    });
    openModal(editor);
}

void MainWindow::vische_Click() {
    if (m_state.idpianta == 0) {
        m_ctx.messages->show(T::selectPlant, Messages::Icon::Exclamation);
        return;
    }
    lvw1->setTracking(false);
    openModal(new PlantCardDialog(m_ctx, *this, this));
}

void MainWindow::modschetra_Click() {
    if (m_state.idtratsel == 0) {
        m_ctx.messages->show(T::selectEvent, Messages::Icon::Exclamation);
        return;
    }
    lvw1->setTracking(false);
    openModal(new CareEventDialog(m_ctx, *this, this));
}

void MainWindow::cancella_Click() {
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

void MainWindow::canctra_Click() {
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

void MainWindow::vischenosta_Click() {
    openModal(new CardViewDialog(m_ctx, *this, this));
}

void MainWindow::sta_Click() {
    openModal(new CardPrintDialog(m_ctx, *this, this));
}

void MainWindow::aboutmnu_Click() {
    openModal(new AboutDialog(m_ctx, this));
}

void MainWindow::esci_Click() {
    close();
}

void MainWindow::ripristina_Click() {
    BackupCommands(m_ctx, *this).restore();
}

void MainWindow::storiafoto_Click() {
    if (m_state.idpianta == 0) {
        m_ctx.messages->show(T::selectPlant, Messages::Icon::Exclamation);
        return;
    }
    openPhotoHistory(m_state.idpianta, this);
}

void MainWindow::openPhotoHistory(qint64 key, QWidget *over,
                                  const PictureChoice &useAsCardPicture) {
    lvw1->setTracking(false);
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

void MainWindow::esporta_Click() {
    BackupCommands(m_ctx, *this).exportCsv();
}
