#include "plantcard/plantcarddialog.h"

#include "archive/conversions.h"
#include "archive/fieldtable.h"
#include "archive/timestampkey.h"
#include "plantcard/picturechange.h"
#include "plantcard/picturecopy.h"
#include "ui/widgets/caption.h"
#include "ui/widgets/fonts.h"
#include "ui/mainlist.h"
#include "ui/widgets/memotext.h"
#include "ui/platform/openedarchive.h"
#include "ui/widgets/picturebox.h"
#include "ui/widgets/tabpanel.h"
#include "ui/widgets/twips.h"

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
const QString storiaFoto = QStringLiteral("Storia &fotografica");
const QString unreadable = QStringLiteral("Impossibile leggere l'immagine \"%1\"");
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

// Where each field's box sits: the page, its caption's corner, the box, in twips. A box
// is a one-line box unless it is for notes. The boxes are made in this order, which is
// also the order Tab goes through them.
struct Place {
    int page;
    int labelLeft, labelTop;
    int left, top, width, height;
    bool notes = false;
};
const QList<QPair<QString, Place>> places = {
    {"famiglia", {0, 120, 765, 1560, 630, 4815, 345}},
    {"genere", {0, 120, 1140, 1560, 1020, 4815, 345}},
    {"specie", {0, 120, 1515, 1560, 1410, 4815, 345}},
    {"identificazione", {0, 120, 1890, 1560, 1800, 4815, 345}},
    {"habitat", {1, 210, 690, 2340, 630, 4095, 345}},
    {"temperatura", {1, 210, 1110, 2340, 1095, 1005, 345}},
    {"temperaturaid", {1, 210, 1620, 2340, 1560, 1005, 345}},
    {"r3", {1, 210, 2100, 2340, 2025, 1035, 345}},
    {"r4", {1, 210, 2520, 2340, 2490, 1035, 345}},
    {"umdita", {1, 210, 2970, 2340, 2955, 1035, 345}},
    {"r1", {1, 210, 3420, 2340, 3420, 1725, 345}},
    {"r2", {1, 4290, 3450, 4770, 3390, 1605, 345}},
    // The box covers its caption almost entirely.
    {"descrizione", {1, 210, 4050, 210, 4080, 6195, 1365, true}},
    {"dataacquisto", {2, 210, 600, 2160, 510, 1785, 345}},
    {"prezzo", {2, 210, 1020, 2160, 960, 1365, 345}},
    {"eta", {2, 210, 1440, 2160, 1380, 1815, 345}},
    {"fioritura", {2, 210, 1830, 2160, 1830, 4185, 345}},
    {"vaso", {2, 210, 2280, 2160, 2250, 4185, 315}},
    {"note", {2, 210, 2670, 240, 2910, 6195, 1215, true}},
};
// A field without a place of its own goes on "Altri dati", one row each below the notes.
Place placeOfNewField(int n) {
    const int top = 4230 + n * 420;
    return {2, 210, top + 60, 2160, top, 4185, 345};
}
// The field whose box has the calendar beside it.
const QString purchaseDate = QStringLiteral("dataacquisto");
const QString pictureField = QStringLiteral("img");

// The captions were drawn for a narrow face; where the program's face runs wider, a caption
// shrinks a little rather than slip under its box.
void fitBefore(QLabel *caption, QWidget *box) {
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

// A field's caption and box on its page, named by its column.
QWidget *makeEditor(QWidget *page, const Field &field, const Place &at) {
    QLabel *caption =
        Caption::make(page, qPrintable(field.column + QStringLiteral("Label")), field.label);
    caption->adjustSize();
    caption->move(Twips::px(at.labelLeft), Twips::px(at.labelTop));
    QWidget *box = nullptr;
    if (at.notes) {
        auto *notes = new QPlainTextEdit(page);
        notes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        notes->setTabChangesFocus(true);
        box = notes;
    } else {
        box = new QLineEdit(page);
    }
    box->setObjectName(field.column);
    Twips::place(box, at.left, at.top, at.width, at.height);
    Caption::name(caption, box);
    if (!at.notes)
        fitBefore(caption, box);
    return box;
}
} // namespace

PlantCardDialog::PlantCardDialog(AppContext &ctx, MainList &main, const PlantKey &card,
                                 QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main), m_key(card.id), m_row(card.rowid) {
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
    editor(places.first().first)->setFocus(Qt::OtherFocusReason);
}

QLineEdit *PlantCardDialog::lineEdit(const QString &column) const {
    return qobject_cast<QLineEdit *>(editor(column));
}

// ----- layout -----

void PlantCardDialog::buildFrame() {
    dataFrame = new QGroupBox(T::dati, this);
    dataFrame->setObjectName(QStringLiteral("dataFrame"));
    dataFrame->setAccessibleName(T::dati);
    Twips::place(dataFrame, 30, 90, 11775, 7305);

    tabs = new TabPanel(dataFrame);
    tabs->setObjectName(QStringLiteral("tabs"));
    Twips::place(tabs, 90, 270, 6645, 5835);
    for (const QString &page : {T::identificazione, T::coltivazione, T::altriDati})
        tabs->addTab(page);
    buildEditors();
    tabs->setCurrentIndex(0);

    picturePreview = new PictureBox(dataFrame);
    picturePreview->setObjectName(QStringLiteral("picturePreview"));
    picturePreview->setAccessibleName(T::immagine);
    Twips::place(picturePreview, 6990, 240, 4635, 5745);
    picturePreview->clear();

    browseButton = new QPushButton(T::sfoglia, dataFrame);
    browseButton->setObjectName(QStringLiteral("browseButton"));
    Twips::place(browseButton, 10050, 6060, 1545, 405);
    // A photo chosen there becomes this editor's own choice, stored with the card.
    photosButton = new QPushButton(T::storiaFoto, dataFrame);
    photosButton->setObjectName(QStringLiteral("photosButton"));
    photosButton->setAccessibleName(QString(T::storiaFoto).remove(QLatin1Char('&')));
    Twips::place(photosButton, 8220, 6060, 1545, 405);
    photosButton->setEnabled(m_key != 0);
    connect(photosButton, &QPushButton::clicked, this, [this] {
        m_main.openPhotoHistory(m_key, this, [this](const QString &photo, QString *error) {
            if (takePicture(photo, QStringLiteral("scheda-") + QFileInfo(photo).fileName()))
                return true;
            *error = T::unreadable.arg(photo);
            return false;
        });
    });
    cancelButton = new QPushButton(T::annulla, dataFrame);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    Twips::place(cancelButton, 8220, 6720, 1545, 405);
    okButton = new QPushButton(T::ok, dataFrame);
    okButton->setObjectName(QStringLiteral("okButton"));
    Twips::place(okButton, 10050, 6720, 1545, 405);
    // Return presses the focused button; in a box it is "OK".
    for (QPushButton *b : {browseButton, photosButton, cancelButton, okButton})
        b->setAutoDefault(true);
    okButton->setDefault(true);
    connect(cancelButton, &QPushButton::clicked, this, &PlantCardDialog::reject);
    connect(okButton, &QPushButton::clicked, this, &PlantCardDialog::saveCard);
    connect(browseButton, &QPushButton::clicked, this, &PlantCardDialog::choosePicture);
}

// One box for every field the user types: at its place, or below the notes when it has
// none yet.
void PlantCardDialog::buildEditors() {
    QList<const Field *> typed;
    for (const Field &f : FieldTable::plant())
        if (!f.label.isEmpty() && f.column != pictureField)
            typed << &f;
    for (const auto &[column, at] : places) {
        const Field *f = FieldTable::find(FieldTable::plants, column);
        if (!f || !typed.contains(f))
            continue;
        m_editors.insert(column, makeEditor(tabs->page(at.page), *f, at));
        if (column == purchaseDate)
            buildCalendar(tabs->page(at.page));
    }
    int unplaced = 0;
    for (const Field *f : typed)
        if (!m_editors.contains(f->column))
            m_editors.insert(f->column, makeEditor(tabs->page(2), *f, placeOfNewField(unplaced++)));
}

void PlantCardDialog::buildCalendar(QWidget *page) {
    calendarButton = new QPushButton(T::showCalendar, page);
    calendarButton->setObjectName(QStringLiteral("calendarButton"));
    calendarButton->setAccessibleName(T::showCalendar);
    calendarButton->setAccessibleDescription(T::calendario);
    calendarButton->setAutoDefault(true);
    Twips::place(calendarButton, 4110, 540, 495, 285);

    purchaseCalendar = new QCalendarWidget(page);
    purchaseCalendar->setObjectName(QStringLiteral("purchaseCalendar"));
    purchaseCalendar->setAccessibleName(T::dataAcquisto);
    purchaseCalendar->setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    purchaseCalendar->setFirstDayOfWeek(Qt::Monday);
    purchaseCalendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    purchaseCalendar->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    purchaseCalendar->setFont(Fonts::sans(7.5));
    Twips::place(purchaseCalendar, 2100, 540, 2490, 2370);
    purchaseCalendar->hide();
    // A click on a day picks it; Enter is the keyboard's way to do the same.
    connect(purchaseCalendar, &QCalendarWidget::clicked, this, &PlantCardDialog::pickDate);
    connect(purchaseCalendar, &QCalendarWidget::activated, this, &PlantCardDialog::pickDate);
    connect(calendarButton, &QPushButton::clicked, this, &PlantCardDialog::showCalendar);
    editor(purchaseDate)->installEventFilter(this);
}

// ----- boxes -----

QString PlantCardDialog::text(const QString &column) const {
    QWidget *w = editor(column);
    if (auto *line = qobject_cast<QLineEdit *>(w))
        return line->text();
    if (auto *notes = qobject_cast<QPlainTextEdit *>(w))
        return MemoText::of(notes);
    Q_ASSERT_X(false, "PlantCardDialog::text", qPrintable(column));
    return {};
}

void PlantCardDialog::setText(const QString &column, const QString &value) {
    QWidget *w = editor(column);
    if (auto *line = qobject_cast<QLineEdit *>(w))
        line->setText(value);
    else if (auto *notes = qobject_cast<QPlainTextEdit *>(w))
        notes->setPlainText(value);
    else
        Q_ASSERT_X(false, "PlantCardDialog::setText", qPrintable(column));
}

void PlantCardDialog::emptyBoxes() {
    for (auto it = m_editors.cbegin(); it != m_editors.cend(); ++it)
        setText(it.key(), QString());
    m_picturePath.clear();
    m_pictureName.clear();
    picturePreview->clear();
    heldPicture = QImage();
}

void PlantCardDialog::stagePicture(const QString &path, const QString &name) {
    m_picturePath = path;
    m_pictureName = name;
}

// ----- loading -----

// Nothing here shows a message: whatever cannot be read is left out, and the card shows
// what could be read.
void PlantCardDialog::load() {
    purchaseCalendar->setSelectedDate(m_ctx.clock->today());
    if (m_key == 0)
        return;

    OpenedArchive archive(m_ctx);
    const std::optional<Plant> card = archive.plant(m_key, m_row);
    if (card)
        for (auto it = m_editors.cbegin(); it != m_editors.cend(); ++it)
            setText(it.key(), Conversions::displayText(card->value(it.key())));
    if (text(purchaseDate) == noDateStored())
        setText(purchaseDate, QString());

    m_pictureChanged = false;
    picturePreview->clear();
    heldPicture = QImage();
    const QVariant img = card ? card->value(pictureField) : QVariant();
    if (img.isNull() || img.toString() == noPicture) {
        stagePicture({}, {});
        heldPicture = picturePreview->hold(m_ctx.folder.placeholderPath());
    } else {
        stagePicture(m_ctx.folder.plantPicture(m_key, img.toString()), img.toString());
        heldPicture = picturePreview->hold(m_picturePath);
    }
    picturePreview->paintFitted(heldPicture);
}

// ----- calendar -----

void PlantCardDialog::showCalendar() {
    purchaseCalendar->show();
    purchaseCalendar->raise();
}

void PlantCardDialog::pickDate(const QDate &date) {
    setText(purchaseDate, Conversions::pickedDate(date));
    hideCalendar();
}

void PlantCardDialog::hideCalendar() {
    // Hiding the focused calendar hands the focus on; that must not bring it back.
    QWidget *dateBox = editor(purchaseDate);
    dateBox->removeEventFilter(this);
    purchaseCalendar->hide();
    dateBox->installEventFilter(this);
}

// Escape puts the calendar away when it is shown; only without it does it close the window
// as "Annulla" does.
void PlantCardDialog::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Cancel) && purchaseCalendar->isVisible()) {
        hideCalendar();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool PlantCardDialog::eventFilter(QObject *watched, QEvent *event) {
    // Coming into the date box shows the calendar; the window merely coming back to the
    // front does not.
    if (watched == editor(purchaseDate) && event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            showCalendar();
    }
    return QDialog::eventFilter(watched, event);
}

// ----- picture choice -----

void PlantCardDialog::choosePicture() {
    const QString chosen = m_ctx.files->openFile(this, T::pictureFilter);
    if (chosen.isEmpty())
        return; // the preview and the staged picture stay as they are
    takePicture(chosen, chosen.split(QLatin1Char('/')).last());
}

bool PlantCardDialog::takePicture(const QString &path, const QString &name) {
    picturePreview->clear();
    heldPicture = picturePreview->hold(path);
    if (heldPicture.isNull())
        return false; // blank after a bad file; the staged picture stays
    stagePicture(path, name);
    picturePreview->paintFitted(heldPicture);
    m_pictureChanged = true;
    return true;
}

// ----- saving -----

void PlantCardDialog::saveCard() {
    QString error;
    const bool update = m_key != 0;
    if (!(update ? updateCard(&error) : insertCard(&error))) {
        // A new card's refusal is told without its reason.
        m_ctx.messages->show(update ? T::saveError + QLatin1Char(' ') + error : T::saveError,
                             Messages::Icon::None);
        return;
    }
    m_ctx.messages->show(T::saved, Messages::Icon::None);
    emptyBoxes();
    if (update)
        accept();
}

// An empty box is stored as its field's empty text; a card without a picture of its own
// names the common one.
void PlantCardDialog::fillEmptyBoxes() {
    for (auto it = m_editors.cbegin(); it != m_editors.cend(); ++it) {
        const Field *f = FieldTable::find(FieldTable::plants, it.key());
        const QString typed = text(it.key());
        if (f->kind == Schema::Kind::Date) {
            if (typed.isEmpty() || typed == noDateTyped)
                setText(it.key(), noDateStored());
        } else if (typed.isEmpty()) {
            setText(it.key(), f->emptyText);
        }
    }
    if (m_picturePath.isEmpty())
        m_pictureName = noPicture;
}

FieldTexts PlantCardDialog::fieldTexts() const {
    FieldTexts texts;
    for (const Field &f : FieldTable::plant()) {
        if (f.column == pictureField)
            texts.append({f.column, m_pictureName});
        else if (m_editors.contains(f.column))
            texts.append({f.column, text(f.column)});
    }
    return texts;
}

// Every text is checked before any file is touched, so a refused value leaves the plant's
// folder as it was.
bool PlantCardDialog::updateCard(QString *error) {
    OpenedArchive archive(m_ctx);
    if (!archive.isOpen()) {
        *error = archive.lastError();
        return false;
    }
    if (!archive.plant(m_key, m_row)) {
        *error = archive.lastError();
        if (error->isEmpty())
            *error = T::noKey.arg(m_key);
        return false;
    }
    fillEmptyBoxes();
    const FieldTexts texts = fieldTexts();
    if (!archive.checkPlantTexts(texts)) {
        *error = archive.lastError();
        return false;
    }
    // The plant's folder exists since the card was inserted; it is not made again here. The
    // new picture waits beside the old one until the row is stored, so a failed update keeps
    // the old picture even when the new one has the same name.
    if (!m_pictureChanged) {
        if (archive.updatePlant(m_key, texts, m_row)) {
            emit cardSaved(m_key);
            return true;
        }
        *error = archive.lastError();
        return false;
    }
    PictureChange picture(m_ctx.folder, m_key, m_row, m_pictureName);
    if (!picture.stage(m_picturePath, error))
        return false;
    if (!archive.updatePlant(m_key, texts, m_row, [&](const Record &row, QString *why) {
            return picture.noteRow(row, why);
        })) {
        *error = archive.lastError();
        return false;
    }
    if (!picture.finish(error))
        return false;
    emit cardSaved(m_key);
    return true;
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
    fillEmptyBoxes();
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
    if (m_pictureName != noPicture &&
        !PictureCopy::copy(m_picturePath, m_ctx.folder.plantPicture(*key, m_pictureName), error))
        return false;
    if (!archive.insertPlant(*key, texts)) {
        *error = archive.lastError();
        return false;
    }
    emit cardSaved(*key);
    return true;
}

// ----- closing -----

// Every way out (Annulla, the title bar, Escape, a saved change) passes here once.
void PlantCardDialog::done(int result) {
    if (!m_closing) {
        m_closing = true;
        emit closing();
    }
    QDialog::done(result);
}
