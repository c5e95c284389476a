#include "plantcard/plantcarddialog.h"

#include "archive/conversions.h"
#include "archive/timestampkey.h"
#include "plantcard/picturechange.h"
#include "plantcard/picturecopy.h"
#include "ui/caption.h"
#include "ui/fonts.h"
#include "ui/mainlist.h"
#include "ui/memotext.h"
#include "ui/openedarchive.h"
#include "ui/picturebox.h"
#include "ui/tabpanel.h"
#include "ui/twips.h"

#include <QCalendarWidget>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {
namespace T {
const QString caption = QStringLiteral("Inserimento dati Pianta");
const QString dati = QStringLiteral("Dati");
const QString identificazione = QStringLiteral("Identificazione");
const QString coltivazione = QStringLiteral("Coltivazione");
const QString altriDati = QStringLiteral("Altri dati");
const QString famiglia = QStringLiteral("Famiglia");
const QString genere = QStringLiteral("Genere");
const QString specie = QStringLiteral("Specie");
const QString habitat = QStringLiteral("Habitat");
const QString tempMinEstiva = QStringLiteral("Temperatura min Estiva");
const QString tempMaxEstiva = QStringLiteral("Temperatura Max Estiva");
const QString tempMinInvernale = QStringLiteral("Temperatura Min. Invernale");
const QString tempMaxInvernale = QStringLiteral("Temperatura Max Invernale");
const QString umidita = QStringLiteral("Umidità");
const QString concimazioneInizio = QStringLiteral("Concimazione  Inizio");
const QString fine = QStringLiteral("Fine");
const QString descrizione = QStringLiteral("Descrizione");
const QString dataAcquisto = QStringLiteral("Data di acquisto");
const QString prezzo = QStringLiteral("Prezzo");
const QString eta = QStringLiteral("Età");
const QString fioritura = QStringLiteral("Periodo fioritura");
const QString vaso = QStringLiteral("Tipo di Vaso/Stile");
const QString note = QStringLiteral("Note sulla coltivazione");
const QString sfoglia = QStringLiteral("Sfoglia....");
const QString annulla = QStringLiteral("Annulla");
const QString ok = QStringLiteral("OK");
const QString showCalendar = QStringLiteral("...");
const QString calendario = QStringLiteral("Calendario");
const QString immagine = QStringLiteral("Immagine");
const QString saved = QStringLiteral("Scheda inserita correttamente");
const QString saveError = QStringLiteral("Errore controllare i dati immessi");
const QString noKey = QStringLiteral("Nessuna scheda corrisponde alla chiave \"%1\"");
const QString noFolder = QStringLiteral("Impossibile creare la cartella \"%1\"");
// Shown as its first part; the patterns after it also take the capitals cameras write.
const QString pictureFilter =
    QStringLiteral("Immagini (*.bmp; *.gif; *.jpg) (*.bmp *.gif *.jpg *.jpeg *.png "
                   "*.BMP *.GIF *.JPG *.JPEG *.PNG)");
} // namespace T

// The picture name of a card without a picture of its own.
const QString noPicture = QStringLiteral("nd.jpg");
// What a date box holds for "no date".
const QString noDateTyped = QStringLiteral("00/00/0000");
QString noDateStored() {
    return Conversions::editorDate(QDate(1900, 1, 1));
}

// Box <- field, in the order a card is loaded.
const QList<QPair<QString, QString>> loadOrder = {{"Text17", "identificazione"},
                                                  {"Text5", "famiglia"},
                                                  {"Text6", "genere"},
                                                  {"Text7", "specie"},
                                                  {"Text19", "id"},
                                                  {"Text9", "habitat"},
                                                  {"Text10", "temperatura"},
                                                  {"Text11", "umdita"},
                                                  {"Text12", "temperaturaid"},
                                                  {"Text1", "descrizione"},
                                                  {"Text13", "dataacquisto"},
                                                  {"Text14", "eta"},
                                                  {"Text2", "note"},
                                                  {"Text3", "fioritura"},
                                                  {"Text4", "vaso"},
                                                  {"Text8", "prezzo"},
                                                  {"Text16", "r1"},
                                                  {"Text20", "r2"},
                                                  {"Text21", "r3"},
                                                  {"Text22", "r4"}};

// Field <- box, in the order a card is written.
const QList<QPair<QString, QString>> writeOrder = {
    {"famiglia", "Text5"},     {"genere", "Text6"},
    {"specie", "Text7"},       {"habitat", "Text9"},
    {"temperatura", "Text10"}, {"temperaturaid", "Text12"},
    {"umdita", "Text11"},      {"descrizione", "Text1"},
    {"img", "Text18"},         {"dataacquisto", "Text13"},
    {"eta", "Text14"},         {"note", "Text2"},
    {"fioritura", "Text3"},    {"vaso", "Text4"},
    {"prezzo", "Text8"},       {"identificazione", "Text17"},
    {"r1", "Text16"},          {"r2", "Text20"},
    {"r3", "Text21"},          {"r4", "Text22"}};

// Boxes that get their default before saving; "picture" is the picture rule of each mode.
const QStringList updateDefaults = {"Text16", "Text20", "Text21",  "Text22", "Text8",
                                    "Text4",  "Text3",  "Text5",   "Text6",  "Text7",
                                    "Text9",  "Text10", "Text11",  "Text12", "Text1",
                                    "Text13", "Text14", "picture", "Text2",  "Text17"};
const QStringList insertDefaults = {"Text16", "Text20",  "Text21", "Text22", "Text4",
                                    "Text3",  "Text5",   "Text6",  "Text7",  "Text9",
                                    "Text10", "Text11",  "Text12", "Text1",  "Text13",
                                    "Text14", "picture", "Text2",  "Text8",  "Text17"};
const QStringList numberBoxes = {"Text10", "Text11", "Text12", "Text14", "Text8"};

// Boxes emptied after a successful save.
const QStringList updateEmptied = {"Text5",  "Text6",  "Text7",  "Text9",  "Text10",
                                   "Text11", "Text12", "Text1",  "Text13", "Text14",
                                   "Text15", "Text2",  "Text3",  "Text4",  "Text8",
                                   "Text16", "Text21", "Text20", "Text22", "Text17"};
const QStringList insertEmptied = {"Text5",  "Text6",  "Text7",  "Text9",  "Text10", "Text11",
                                   "Text12", "Text1",  "Text13", "Text14", "Text15", "Text2",
                                   "Text3",  "Text4",  "Text8",  "Text16", "Text20", "Text21",
                                   "Text22", "Text17", "Text18"};
} // namespace

PlantCardDialog::PlantCardDialog(AppContext &ctx, MainList &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("PlantCardDialog"));
    setWindowTitle(T::caption);
    // Fixed single border: no resizing, no minimise or maximise button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Twips::px(11925), Twips::px(7515));
    setFont(Fonts::sans(8.25));
    buildFrame();
    load();
    // The first letters typed go into the first box, and Return is "OK".
    Text5->setFocus(Qt::OtherFocusReason);
}

// ----- layout -----

QLabel *PlantCardDialog::label(QWidget *parent, const char *name, const QString &text, int left,
                               int top) {
    QLabel *l = Caption::make(parent, name, text);
    l->adjustSize();
    l->move(Twips::px(left), Twips::px(top));
    return l;
}

// The labels were drawn for a narrow face; where the program's face runs wider, a label
// shrinks a little rather than slip under its box.
void PlantCardDialog::fitBefore(QLabel *caption, QWidget *box) {
    const int room = box->x() - caption->x() - 2;
    if (room <= 0)
        return;
    QFont f = caption->font();
    while (caption->sizeHint().width() > room && f.pointSizeF() > 6.5) {
        f.setPointSizeF(f.pointSizeF() - 0.25);
        caption->setFont(f);
    }
    caption->adjustSize();
}

QLineEdit *PlantCardDialog::lineBox(QWidget *parent, const char *name, QLabel *caption, int left,
                                    int top, int width, int height) {
    auto *box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    Twips::place(box, left, top, width, height);
    if (caption) {
        Caption::name(caption, box);
        fitBefore(caption, box);
    }
    m_boxes.insert(box->objectName(), box);
    return box;
}

QPlainTextEdit *PlantCardDialog::notesBox(QWidget *parent, const char *name, QLabel *caption,
                                          int left, int top, int width, int height) {
    auto *box = new QPlainTextEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setTabChangesFocus(true);
    Twips::place(box, left, top, width, height);
    Caption::name(caption, box);
    m_boxes.insert(box->objectName(), box);
    return box;
}

void PlantCardDialog::buildFrame() {
    Frame1 = new QGroupBox(T::dati, this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setAccessibleName(T::dati);
    Twips::place(Frame1, 30, 90, 11775, 7305);

    SSTab1 = new TabPanel(Frame1);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    Twips::place(SSTab1, 90, 270, 6645, 5835);
    buildIdentificazione(SSTab1->addTab(T::identificazione));
    buildColtivazione(SSTab1->addTab(T::coltivazione));
    buildAltriDati(SSTab1->addTab(T::altriDati));
    SSTab1->setCurrentIndex(0);

    Picture1 = new PictureBox(Frame1);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setAccessibleName(T::immagine);
    Twips::place(Picture1, 6990, 240, 4635, 5745);
    Picture1->clear();

    Command3 = new QPushButton(T::sfoglia, Frame1);
    Command3->setObjectName(QStringLiteral("Command3"));
    Twips::place(Command3, 10050, 6060, 1545, 405);
    Command1 = new QPushButton(T::annulla, Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));
    Twips::place(Command1, 8220, 6720, 1545, 405);
    Command2 = new QPushButton(T::ok, Frame1);
    Command2->setObjectName(QStringLiteral("Command2"));
    Twips::place(Command2, 10050, 6720, 1545, 405);
    // Return presses the focused button; in a box it is "OK".
    for (QPushButton *b : {Command3, Command1, Command2})
        b->setAutoDefault(true);
    Command2->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &PlantCardDialog::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &PlantCardDialog::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &PlantCardDialog::Command3_Click);

    // Holders below the frame's visible area, never shown.
    Text19 = lineBox(Frame1, "Text19", nullptr, 8250, 9510, 1395, 345);
    Text15 = lineBox(Frame1, "Text15", nullptr, 8070, 8220, 5445, 345);
    Text18 = lineBox(Frame1, "Text18", nullptr, 8040, 8640, 4515, 345);
    for (QLineEdit *holder : {Text19, Text15, Text18}) {
        holder->hide();
        holder->setFocusPolicy(Qt::NoFocus);
    }
}

void PlantCardDialog::buildIdentificazione(QWidget *page) {
    Label3 = label(page, "Label3", T::famiglia, 120, 765);
    Text5 = lineBox(page, "Text5", Label3, 1560, 630, 4815, 345);
    Label4 = label(page, "Label4", T::genere, 120, 1140);
    Text6 = lineBox(page, "Text6", Label4, 1560, 1020, 4815, 345);
    Label5 = label(page, "Label5", T::specie, 120, 1515);
    Text7 = lineBox(page, "Text7", Label5, 1560, 1410, 4815, 345);
    Label16 = label(page, "Label16", T::identificazione, 120, 1890);
    Text17 = lineBox(page, "Text17", Label16, 1560, 1800, 4815, 345);
}

void PlantCardDialog::buildColtivazione(QWidget *page) {
    Label11 = label(page, "Label11", T::habitat, 210, 690);
    Text9 = lineBox(page, "Text9", Label11, 2340, 630, 4095, 345);
    Label12 = label(page, "Label12", T::tempMinEstiva, 210, 1110);
    Text10 = lineBox(page, "Text10", Label12, 2340, 1095, 1005, 345);
    Label15 = label(page, "Label15", T::tempMaxEstiva, 210, 1620);
    Text12 = lineBox(page, "Text12", Label15, 2340, 1560, 1005, 345);
    Label18 = label(page, "Label18", T::tempMinInvernale, 210, 2100);
    Text21 = lineBox(page, "Text21", Label18, 2340, 2025, 1035, 345);
    Label19 = label(page, "Label19", T::tempMaxInvernale, 210, 2520);
    Text22 = lineBox(page, "Text22", Label19, 2340, 2490, 1035, 345);
    Label13 = label(page, "Label13", T::umidita, 210, 2970);
    Text11 = lineBox(page, "Text11", Label13, 2340, 2955, 1035, 345);
    Label14 = label(page, "Label14", T::concimazioneInizio, 210, 3420);
    Text16 = lineBox(page, "Text16", Label14, 2340, 3420, 1725, 345);
    Label17 = label(page, "Label17", T::fine, 4290, 3450);
    Text20 = lineBox(page, "Text20", Label17, 4770, 3390, 1605, 345);
    // The box covers its label almost entirely.
    Label6 = label(page, "Label6", T::descrizione, 210, 4050);
    Text1 = notesBox(page, "Text1", Label6, 210, 4080, 6195, 1365);
}

void PlantCardDialog::buildAltriDati(QWidget *page) {
    Label7 = label(page, "Label7", T::dataAcquisto, 210, 600);
    Text13 = lineBox(page, "Text13", Label7, 2160, 510, 1785, 345);
    Command4 = new QPushButton(T::showCalendar, page);
    Command4->setObjectName(QStringLiteral("Command4"));
    Command4->setAccessibleName(T::showCalendar);
    Command4->setAccessibleDescription(T::calendario);
    Command4->setAutoDefault(true);
    Twips::place(Command4, 4110, 540, 495, 285);
    Label10 = label(page, "Label10", T::prezzo, 210, 1020);
    Text8 = lineBox(page, "Text8", Label10, 2160, 960, 1365, 345);
    Label8 = label(page, "Label8", T::eta, 210, 1440);
    Text14 = lineBox(page, "Text14", Label8, 2160, 1380, 1815, 345);
    Label1 = label(page, "Label1", T::fioritura, 210, 1830);
    Text3 = lineBox(page, "Text3", Label1, 2160, 1830, 4185, 345);
    Label2 = label(page, "Label2", T::vaso, 210, 2280);
    Text4 = lineBox(page, "Text4", Label2, 2160, 2250, 4185, 315);
    Label9 = label(page, "Label9", T::note, 210, 2670);
    Text2 = notesBox(page, "Text2", Label9, 240, 2910, 6195, 1215);

    Calendar1 = new QCalendarWidget(page);
    Calendar1->setObjectName(QStringLiteral("Calendar1"));
    Calendar1->setAccessibleName(T::dataAcquisto);
    Calendar1->setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    Calendar1->setFirstDayOfWeek(Qt::Monday);
    Calendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    Calendar1->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    Calendar1->setFont(Fonts::sans(7.5));
    Twips::place(Calendar1, 2100, 540, 2490, 2370);
    Calendar1->hide();
    // A click on a day picks it; Enter is the keyboard's way to do the same.
    connect(Calendar1, &QCalendarWidget::clicked, this, &PlantCardDialog::Calendar1_Click);
    connect(Calendar1, &QCalendarWidget::activated, this, &PlantCardDialog::Calendar1_Click);
    connect(Command4, &QPushButton::clicked, this, &PlantCardDialog::Command4_Click);
    Text13->installEventFilter(this);
}

// ----- boxes -----

QString PlantCardDialog::text(const QString &box) const {
    QWidget *w = m_boxes.value(box);
    if (auto *line = qobject_cast<QLineEdit *>(w))
        return line->text();
    if (auto *notes = qobject_cast<QPlainTextEdit *>(w))
        return MemoText::of(notes);
    Q_ASSERT_X(false, "PlantCardDialog::text", qPrintable(box));
    return {};
}

void PlantCardDialog::setText(const QString &box, const QString &value) {
    QWidget *w = m_boxes.value(box);
    if (auto *line = qobject_cast<QLineEdit *>(w))
        line->setText(value);
    else if (auto *notes = qobject_cast<QPlainTextEdit *>(w))
        notes->setPlainText(value);
    else
        Q_ASSERT_X(false, "PlantCardDialog::setText", qPrintable(box));
}

void PlantCardDialog::emptyBoxes(const QStringList &names) {
    for (const QString &name : names)
        setText(name, QString());
}

// ----- loading -----

// Nothing here shows a message: whatever cannot be read is left out, and the card shows
// what could be read.
void PlantCardDialog::load() {
    ProgramState &state = m_ctx.state;
    Calendar1->setSelectedDate(m_ctx.clock->today());
    if (state.idpianta == 0)
        return;

    OpenedArchive archive(m_ctx);
    const std::optional<Record> card = archive.plant(state.idpianta, state.plantRow());
    if (card)
        for (const auto &[box, field] : loadOrder)
            setText(box, Conversions::displayText(card->value(field)));
    if (Text13->text() == noDateStored())
        Text13->clear();

    state.cambiaimg = 0;
    Picture1->clear();
    Picture2 = QImage();
    const QVariant img = card ? card->value("img") : QVariant();
    if (img.isNull() || img.toString() == noPicture) {
        Text15->clear();
        Text18->clear();
        Picture2 = Picture1->hold(m_ctx.folder.placeholderPath());
    } else {
        Text15->setText(m_ctx.folder.plantPicture(state.idpianta, img.toString()));
        Text18->setText(img.toString());
        Picture2 = Picture1->hold(Text15->text());
    }
    Picture1->paintFitted(Picture2);
}

// ----- calendar -----

void PlantCardDialog::Command4_Click() {
    Calendar1->show();
    Calendar1->raise();
}

void PlantCardDialog::Calendar1_Click(const QDate &date) {
    Text13->setText(Conversions::pickedDate(date));
    hideCalendar();
}

void PlantCardDialog::hideCalendar() {
    // Hiding the focused calendar hands the focus on; that must not bring it back.
    Text13->removeEventFilter(this);
    Calendar1->hide();
    Text13->installEventFilter(this);
}

// Escape puts the calendar away when it is shown; only without it does it close the window
// as "Annulla" does.
void PlantCardDialog::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Cancel) && Calendar1->isVisible()) {
        hideCalendar();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool PlantCardDialog::eventFilter(QObject *watched, QEvent *event) {
    // Coming into the date box shows the calendar; the window merely coming back to the
    // front does not.
    if (watched == Text13 && event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            Command4_Click();
    }
    return QDialog::eventFilter(watched, event);
}

// ----- picture choice -----

void PlantCardDialog::Command3_Click() {
    ProgramState &state = m_ctx.state;
    state.imgpath = Text15->text();
    state.imgfile = Text18->text();
    const QString chosen = m_ctx.files->openFile(this, T::pictureFilter);
    bool ok = !chosen.isEmpty();
    if (ok) {
        Text15->setText(chosen);
        Text18->setText(chosen.split(QLatin1Char('/')).last());
        Picture1->clear();
        Picture2 = Picture1->hold(chosen);
        ok = !Picture2.isNull();
    }
    if (!ok) {
        // The preview stays as it is now: untouched after a cancel, blank after a bad file.
        Text15->setText(state.imgpath);
        Text18->setText(state.imgfile);
        return;
    }
    Picture1->paintFitted(Picture2);
    state.cambiaimg = 1;
}

// ----- saving -----

void PlantCardDialog::Command2_Click() {
    if (m_ctx.state.idpianta != 0)
        aggiorna();
    else
        inserisci();
}

void PlantCardDialog::Command1_Click() {
    reject();
}

void PlantCardDialog::writeDefaults(Mode mode) {
    for (const QString &box : mode == Mode::Update ? updateDefaults : insertDefaults) {
        if (box == QLatin1String("picture")) {
            // A card whose picture path is empty has no picture of its own.
            const bool none =
                mode == Mode::Update ? Text15->text().isEmpty() : Text18->text().isEmpty();
            if (none)
                Text18->setText(noPicture);
        } else if (box == QLatin1String("Text13")) {
            if (Text13->text().isEmpty())
                Text13->setText(noDateStored());
            if (Text13->text() == noDateTyped)
                Text13->setText(noDateStored());
        } else if (text(box).isEmpty()) {
            setText(box, numberBoxes.contains(box) ? QStringLiteral("0") : QStringLiteral(" "));
        }
    }
}

FieldTexts PlantCardDialog::fieldTexts() const {
    FieldTexts texts;
    for (const auto &[field, box] : writeOrder)
        texts.append({field, text(box)});
    return texts;
}

void PlantCardDialog::aggiorna() {
    QString error;
    if (!updateCard(&error)) {
        m_ctx.messages->show(T::saveError + QLatin1Char(' ') + error, Messages::Icon::None);
        return;
    }
    m_ctx.messages->show(T::saved, Messages::Icon::None);
    emptyBoxes(updateEmptied);
    Picture1->clear();
    Picture2 = QImage();
    accept();
}

// Every text is checked before any file is touched, so a refused value leaves the plant's
// folder as it was.
bool PlantCardDialog::updateCard(QString *error) {
    ProgramState &state = m_ctx.state;
    OpenedArchive archive(m_ctx);
    if (!archive.isOpen()) {
        *error = archive.lastError();
        return false;
    }
    const std::optional<qint64> read = Conversions::parseKey(Text19->text());
    if (!read) {
        *error = T::noKey.arg(Text19->text());
        return false;
    }
    const qint64 key = *read;
    const qint64 rowid = key == state.idpianta ? state.plantRow() : 0;
    if (!archive.plant(key, rowid)) {
        *error = archive.lastError();
        return false;
    }
    writeDefaults(Mode::Update);
    const FieldTexts texts = fieldTexts();
    if (!archive.checkPlantTexts(texts)) {
        *error = archive.lastError();
        return false;
    }
    // The plant's folder exists since the card was inserted; it is not made again here. The
    // new picture waits beside the old one until the row is stored, so a failed update keeps
    // the old picture even when the new one has the same name.
    if (state.cambiaimg != 1) {
        if (archive.updatePlant(key, texts, rowid))
            return true;
        *error = archive.lastError();
        return false;
    }
    PictureChange picture(m_ctx.folder, key, rowid, Text18->text());
    if (!picture.stage(Text15->text(), error))
        return false;
    if (!archive.updatePlant(key, texts, rowid, [&](const Record &row, QString *why) {
            return picture.noteRow(row, why);
        })) {
        *error = archive.lastError();
        return false;
    }
    return picture.finish(error);
}

void PlantCardDialog::inserisci() {
    QString error;
    if (!insertCard(&error)) {
        m_ctx.messages->show(T::saveError, Messages::Icon::None);
        return;
    }
    m_ctx.messages->show(T::saved, Messages::Icon::None);
    emptyBoxes(insertEmptied);
    Picture1->clear();
    Picture2 = QImage();
}

// Every text is checked before the plant's folder is made, so a refused value leaves no
// folder behind. Keys come from the clock; one already taken, by a card or by a folder,
// gives way to the next free number.
bool PlantCardDialog::insertCard(QString *error) {
    OpenedArchive archive(m_ctx);
    if (!archive.isOpen()) {
        *error = archive.lastError();
        return false;
    }
    writeDefaults(Mode::Insert);
    const FieldTexts texts = fieldTexts();
    if (!archive.checkPlantTexts(texts)) {
        *error = archive.lastError();
        return false;
    }
    const qint64 made = TimestampKey::make(m_ctx.clock->now());
    const std::optional<qint64> key = archive.freePlantKey(
        made, [this](qint64 k) { return QFileInfo::exists(m_ctx.folder.plantDir(k)); });
    if (!key) {
        *error = archive.lastError();
        return false;
    }
    const QString folder = m_ctx.folder.plantDir(*key);
    // mkdir, not mkpath: without the picture folder "img" the card is not stored.
    if (!QDir().mkdir(folder)) {
        *error = T::noFolder.arg(folder);
        return false;
    }
    if (Text18->text() != noPicture &&
        !PictureCopy::copy(Text15->text(), m_ctx.folder.plantPicture(*key, Text18->text()), error))
        return false;
    if (!archive.insertPlant(*key, texts)) {
        *error = archive.lastError();
        return false;
    }
    return true;
}

// ----- closing -----

// Every way out (Annulla, the title bar, Escape, a saved change) passes here once.
void PlantCardDialog::done(int result) {
    if (!m_closing) {
        m_closing = true;
        ProgramState &state = m_ctx.state;
        state.imgpath.clear();
        state.imgfile.clear();
        state.listMode = ListMode::Plants;
        if (m_main.searchHasText())
            m_main.showSearchResults();
        else
            m_main.showAllPlants();
    }
    QDialog::done(result);
}
