#include "careevent/careeventdialog.h"

#include "archive/conversions.h"
#include "archive/timestampkey.h"
#include "careevent/treatmenttypes.h"
#include "ui/widgets/caption.h"
#include "ui/widgets/fonts.h"
#include "ui/mainlist.h"
#include "ui/widgets/memotext.h"
#include "ui/platform/openedarchive.h"
#include "ui/widgets/picturebox.h"
#include "ui/widgets/tabpanel.h"
#include "ui/widgets/twips.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>

namespace {
namespace T {
const QString caption = QStringLiteral("Scheda coltivazione Pianta");
const QString dati = QStringLiteral("Dati");
const QString eventTab = QStringLiteral("Evento / Trattamento");
const QString otherTab = QStringLiteral("Altri dati");
const QString annulla = QStringLiteral("Annulla");
const QString ok = QStringLiteral("OK");
const QString dots = QStringLiteral("...");
const QString temperatura = QStringLiteral("Temperatura °C");
const QString umidita = QStringLiteral("Umidità %");
const QString identificazione = QStringLiteral("Identificazione");
const QString famiglia = QStringLiteral("Famiglia");
const QString genere = QStringLiteral("Genere");
const QString specie = QStringLiteral("Specie");
const QString tipo = QStringLiteral("Tipo Intervento/Evento");
const QString data = QStringLiteral("Data");
const QString descrizioneTrattamento = QStringLiteral("Descrizione trattamento");
const QString descrizione = QStringLiteral("Descrizione");
const QString note = QStringLiteral("Note");
// Names for screen readers of the controls that have no label of their own.
const QString immagine = QStringLiteral("Immagine della pianta");
const QString altroTipo = QStringLiteral("Altro tipo di intervento");
const QString calendario = QStringLiteral("Calendario");
const QString pianta = QStringLiteral("Codice pianta");
const QString scegliData = QStringLiteral("Scegli la data");
// Messages.
const QString noType = QStringLiteral("Inserire un tipo di intervento");
const QString saved = QStringLiteral("Trattamento inserito correttamente");
const QString checkData = QStringLiteral("Controllare i dati inseriti");
const QString noDate = QStringLiteral("00/00/0000");
} // namespace T

template <class W> W *make(QWidget *parent, const char *name, const QString &accessible) {
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setAccessibleName(accessible);
    return w;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption) {
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(caption);
    // Return presses the focused button; in a box it is "OK", the window's default.
    b->setAutoDefault(true);
    return b;
}

QPlainTextEdit *makeMemo(QWidget *parent, const char *name, const QString &accessible) {
    auto *m = make<QPlainTextEdit>(parent, name, accessible);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m->setTabChangesFocus(true);
    return m;
}

} // namespace

CareEventDialog::CareEventDialog(AppContext &ctx, MainList &main, const PlantKey &plant,
                                 const EventKey &event, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main), m_plant(plant), m_event(event) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("CareEventDialog");
    setWindowTitle(T::caption);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(Fonts::sans(8.25));
    setFixedSize(Twips::px(11640), Twips::px(7920));
    buildWindow();
    orderTabs();
    load();
    // The first box of the event itself; the date box would bring its calendar up.
    typeCombo->setFocus(Qt::OtherFocusReason);
}

void CareEventDialog::buildWindow() {
    dataGroup = new QGroupBox(T::dati, this);
    dataGroup->setObjectName("dataGroup");
    dataGroup->setAccessibleName(T::dati);
    Twips::place(dataGroup, 30, 60, 11475, 7785);

    tabPanel = make<TabPanel>(dataGroup, "tabPanel", T::dati);
    Twips::place(tabPanel, 150, 270, 6165, 6735);
    QWidget *eventPage = tabPanel->addTab(T::eventTab);
    eventPage->setObjectName("eventPage");
    QWidget *otherPage = tabPanel->addTab(T::otherTab);
    otherPage->setObjectName("otherPage");
    tabPanel->setCurrentIndex(0);
    buildEventTab(eventPage);
    buildOtherTab(otherPage);

    pictureFrame = new PictureBox(dataGroup);
    pictureFrame->setObjectName("pictureFrame");
    pictureFrame->setAccessibleName(T::immagine);
    Twips::place(pictureFrame, 6660, 570, 4515, 3585);
    pictureFrame->clear();

    cancelButton = makeButton(dataGroup, "cancelButton", T::annulla);
    Twips::place(cancelButton, 7740, 7200, 1815, 435);
    okButton = makeButton(dataGroup, "okButton", T::ok);
    Twips::place(okButton, 9660, 7200, 1545, 405);
    okButton->setDefault(true);
    connect(cancelButton, &QPushButton::clicked, this, &CareEventDialog::cancel);
    connect(okButton, &QPushButton::clicked, this, &CareEventDialog::save);

    // Hidden holders, below the visible part of the frame.
    plantKeyEdit = make<QLineEdit>(dataGroup, "plantKeyEdit", T::pianta);
    Twips::place(plantKeyEdit, 7440, 8610, 1455, 345);
    temperatureLabel = Caption::make(dataGroup, "temperatureLabel", T::temperatura);
    Twips::place(temperatureLabel, 1860, 7965, 1965, 315);
    temperatureEdit = make<QLineEdit>(dataGroup, "temperatureEdit", T::temperatura);
    Twips::place(temperatureEdit, 3240, 7965, 1215, 345);
    humidityLabel = Caption::make(dataGroup, "humidityLabel", T::umidita);
    Twips::place(humidityLabel, 1860, 8430, 1965, 315);
    humidityEdit = make<QLineEdit>(dataGroup, "humidityEdit", T::umidita);
    Twips::place(humidityEdit, 3240, 8415, 1245, 345);
    Caption::name(temperatureLabel, temperatureEdit);
    Caption::name(humidityLabel, humidityEdit);
    for (QWidget *w : std::initializer_list<QWidget *>{
             plantKeyEdit, temperatureLabel, temperatureEdit, humidityLabel, humidityEdit})
        w->hide();
}

void CareEventDialog::buildEventTab(QWidget *page) {
    identificationLabel = Caption::make(page, "identificationLabel", T::identificazione);
    placeOnTab(identificationLabel, 120, 540, 1125, 255);
    identificationEdit = make<QLineEdit>(page, "identificationEdit", T::identificazione);
    placeOnTab(identificationEdit, 2250, 510, 3765, 345);
    familyLabel = Caption::make(page, "familyLabel", T::famiglia);
    placeOnTab(familyLabel, 90, 915, 1965, 315);
    familyEdit = make<QLineEdit>(page, "familyEdit", T::famiglia);
    placeOnTab(familyEdit, 2250, 915, 3765, 345);
    genusLabel = Caption::make(page, "genusLabel", T::genere);
    placeOnTab(genusLabel, 90, 1365, 1965, 315);
    genusEdit = make<QLineEdit>(page, "genusEdit", T::genere);
    placeOnTab(genusEdit, 2250, 1365, 3765, 345);
    speciesLabel = Caption::make(page, "speciesLabel", T::specie);
    placeOnTab(speciesLabel, 90, 1830, 1965, 315);
    speciesEdit = make<QLineEdit>(page, "speciesEdit", T::specie);
    placeOnTab(speciesEdit, 2250, 1830, 3765, 345);

    typeLabel = Caption::make(page, "typeLabel", T::tipo);
    placeOnTab(typeLabel, 210, 2400, 2205, 285);
    typeCombo = make<QComboBox>(page, "typeCombo", T::tipo);
    typeCombo->setEditable(true);
    typeCombo->setInsertPolicy(QComboBox::NoInsert);
    typeCombo->setCompleter(nullptr); // a typed type stays exactly as typed
    placeOnTab(typeCombo, 180, 2670, 2835, 315);
    connect(typeCombo, &QComboBox::activated, this, &CareEventDialog::updateOtherTypeBox);

    dateLabel = Caption::make(page, "dateLabel", T::data);
    placeOnTab(dateLabel, 3180, 2460, 1275, 225);
    dateEdit = make<QLineEdit>(page, "dateEdit", T::data);
    placeOnTab(dateEdit, 3180, 2670, 1545, 285);
    dateEdit->installEventFilter(this);
    chooseDateButton = makeButton(page, "chooseDateButton", T::dots);
    chooseDateButton->setAccessibleName(T::scegliData);
    placeOnTab(chooseDateButton, 4800, 2670, 555, 315);
    connect(chooseDateButton, &QPushButton::clicked, this, &CareEventDialog::showCalendar);

    otherTypeEdit = make<QLineEdit>(page, "otherTypeEdit", T::altroTipo);
    placeOnTab(otherTypeEdit, 180, 3150, 5355, 345);
    otherTypeEdit->hide();

    eventDescriptionLabel = Caption::make(page, "eventDescriptionLabel", T::descrizioneTrattamento);
    placeOnTab(eventDescriptionLabel, 180, 3660, 3735, 255);
    eventDescriptionEdit = makeMemo(page, "eventDescriptionEdit", T::descrizioneTrattamento);
    placeOnTab(eventDescriptionEdit, 180, 3930, 5685, 2535);

    calendar = make<QCalendarWidget>(page, "calendar", T::calendario);
    calendar->setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    calendar->setFirstDayOfWeek(Qt::Monday);
    calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    calendar->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    placeOnTab(calendar, 2880, 2670, 2490, 2370);
    calendar->hide();
    connect(calendar, &QCalendarWidget::clicked, this, &CareEventDialog::pickDate);
    // Enter on a day picks it too, so the date can be chosen from the keyboard.
    connect(calendar, &QCalendarWidget::activated, this, &CareEventDialog::pickDate);

    Caption::name(identificationLabel, identificationEdit);
    Caption::name(familyLabel, familyEdit);
    Caption::name(genusLabel, genusEdit);
    Caption::name(speciesLabel, speciesEdit);
    Caption::name(typeLabel, typeCombo);
    Caption::name(dateLabel, dateEdit);
    Caption::name(eventDescriptionLabel, eventDescriptionEdit);
}

void CareEventDialog::buildOtherTab(QWidget *page) {
    descriptionLabel = Caption::make(page, "descriptionLabel", T::descrizione);
    placeOnTab(descriptionLabel, 180, 450, 1965, 315);
    descriptionEdit = makeMemo(page, "descriptionEdit", T::descrizione);
    placeOnTab(descriptionEdit, 150, 720, 5715, 2025);
    notesLabel = Caption::make(page, "notesLabel", T::note);
    placeOnTab(notesLabel, 180, 2940, 1785, 315);
    notesEdit = makeMemo(page, "notesEdit", T::note);
    placeOnTab(notesEdit, 150, 3210, 5715, 2025);
    Caption::name(descriptionLabel, descriptionEdit);
    Caption::name(notesLabel, notesEdit);
}

void CareEventDialog::orderTabs() {
    // The boxes as they are laid out, top to bottom and left to right: "..." after its date
    // box, then the calendar, so that Tab reaches it while it is shown; the buttons last.
    m_tabOrder = {tabPanel->tabBar(), identificationEdit,   familyEdit,
                  genusEdit,          speciesEdit,          typeCombo,
                  dateEdit,           chooseDateButton,     calendar,
                  otherTypeEdit,      eventDescriptionEdit, descriptionEdit,
                  notesEdit,          cancelButton,         okButton};
    for (QWidget *w : std::initializer_list<QWidget *>{plantKeyEdit, temperatureEdit, humidityEdit,
                                                       pictureFrame})
        w->setFocusPolicy(Qt::NoFocus);
}

// Tab and Shift+Tab walk the design order, skipping what is hidden or disabled. The order is
// kept here rather than in the toolkit's focus chain, which compound controls (calendar,
// editable combo, scrolled text boxes) can split when it is rearranged.
bool CareEventDialog::focusNextPrevChild(bool next) {
    const QWidget *current = focusWidget();
    qsizetype at = -1;
    for (qsizetype i = 0; i < m_tabOrder.size() && at < 0; ++i)
        if (m_tabOrder.at(i) == current || m_tabOrder.at(i)->isAncestorOf(current))
            at = i;
    if (at < 0)
        return QDialog::focusNextPrevChild(next);
    const qsizetype n = m_tabOrder.size();
    for (qsizetype step = 1; step < n; ++step) {
        QWidget *w = m_tabOrder.at(((next ? at + step : at - step) % n + n) % n);
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return true;
}

// Tab pages cover the whole panel, so the design's rectangles apply as they are. The design's
// sizes were measured for a narrower face: a caption or the calendar grows to the size it
// needs rather than being cut off.
void CareEventDialog::placeOnTab(QWidget *w, int left, int top, int width, int height) {
    QRect g = Twips::rect(left, top, width, height);
    if (qobject_cast<QLabel *>(w) || w == calendar)
        g.setSize(g.size().expandedTo(w->minimumSizeHint()));
    w->setGeometry(g);
}

bool CareEventDialog::eventFilter(QObject *watched, QEvent *event) {
    if (watched == dateEdit && event->type() == QEvent::FocusIn)
        showCalendar();
    return QDialog::eventFilter(watched, event);
}

// Loading: every step needs the ones before it. A failure ends the load with the placeholder
// picture, leaving the later fields empty; no message is shown.
void CareEventDialog::load() {
    calendar->setSelectedDate(m_ctx.clock->today());
    QString img;
    if (!loadTypes() || !loadPlant(&img)) {
        showPlaceholder();
        return;
    }
    // A picture that cannot be shown does not keep the event from loading: in change mode
    // its fields must be on screen, or "OK" would overwrite them with the defaults.
    if (!loadPicture(img))
        showPlaceholder();
    if (m_event.idtrat != 0 && !loadEvent())
        showPlaceholder();
}

bool CareEventDialog::loadTypes() {
    const auto lines = TreatmentTypes::readFile(m_ctx.folder.treatmentsPath());
    if (!lines)
        return false;
    typeCombo->addItems(TreatmentTypes::fixed());
    typeCombo->addItems(*lines);
    typeCombo->setCurrentIndex(-1);
    typeCombo->clearEditText();
    return true;
}

bool CareEventDialog::loadPlant(QString *img) {
    OpenedArchive archive(m_ctx);
    const auto plant = archive.plant(m_plant.id, m_plant.rowid);
    if (!plant)
        return false;
    const auto text = [&](const char *field) {
        return Conversions::displayText(plant->value(QString::fromLatin1(field)));
    };
    plantKeyEdit->setText(Conversions::displayText(plant->value("id")));
    identificationEdit->setText(text("identificazione"));
    familyEdit->setText(text("famiglia"));
    genusEdit->setText(text("genere"));
    speciesEdit->setText(text("specie"));
    descriptionEdit->setPlainText(text("descrizione"));
    notesEdit->setPlainText(text("note"));
    *img = plant->value("img").toString();
    return true;
}

bool CareEventDialog::loadPicture(const QString &img) {
    heldPicture = QImage();
    pictureFrame->clear();
    const QString path = img == QLatin1String("nd.jpg")
                             ? m_ctx.folder.placeholderPath()
                             : m_ctx.folder.plantPicture(m_plant.id, img);
    heldPicture = pictureFrame->hold(path);
    if (heldPicture.isNull())
        return false;
    pictureFrame->paintFitted(heldPicture);
    return true;
}

bool CareEventDialog::loadEvent() {
    OpenedArchive archive(m_ctx);
    const auto event = archive.event(m_event.idtrat, m_event.rowid);
    if (!event)
        return false;
    setType(event->value("intervento").toString());
    dateEdit->setText(Conversions::displayText(event->value("datatratt")));
    eventDescriptionEdit->setPlainText(Conversions::displayText(event->value("descrizione")));
    plantKeyEdit->setText(Conversions::displayText(event->value("id")));
    return true;
}

void CareEventDialog::showPlaceholder() {
    // When the placeholder itself cannot be read the frame stays blank.
    pictureFrame->clear();
    heldPicture = pictureFrame->hold(m_ctx.folder.placeholderPath());
    pictureFrame->paintFitted(heldPicture);
}

// Shows a stored type: a known one as itself, anything else as "Altro...." with the text
// in the free box, whose visibility stays as it is.
void CareEventDialog::setType(const QString &type) {
    const QString shown = TreatmentTypes::isKnown(type) ? type : TreatmentTypes::other;
    const int index = typeCombo->findText(shown, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        typeCombo->setCurrentIndex(index);
    else
        typeCombo->setEditText(shown);
    if (shown == TreatmentTypes::other)
        otherTypeEdit->setText(type);
}

QString CareEventDialog::typeToSave() const {
    return typeCombo->currentText() == TreatmentTypes::other ? otherTypeEdit->text()
                                                             : typeCombo->currentText();
}

void CareEventDialog::updateOtherTypeBox() {
    otherTypeEdit->setVisible(typeCombo->currentText() == TreatmentTypes::other);
}

void CareEventDialog::showCalendar() {
    calendar->show();
    calendar->raise();
}

void CareEventDialog::pickDate(const QDate &date) {
    dateEdit->setText(Conversions::pickedDate(date));
    hideCalendar();
}

void CareEventDialog::hideCalendar() {
    // Focus goes back to the date box before the calendar goes, so it does not wander off.
    if (calendar->isAncestorOf(focusWidget()))
        dateEdit->setFocus(Qt::OtherFocusReason);
    calendar->hide();
}

// Escape puts the calendar away when it is shown; only without it does it close the window
// as "Annulla" does.
void CareEventDialog::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Cancel) && calendar->isVisible()) {
        hideCalendar();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CareEventDialog::cancel() {
    close();
}

bool CareEventDialog::save() {
    const auto failed = [this] {
        m_ctx.messages->show(T::checkData, Messages::Icon::None);
        return false;
    };
    const bool change = m_event.idtrat != 0;
    qint64 idtrat = m_event.idtrat;
    const qint64 rowid = m_event.rowid;
    {
        OpenedArchive archive(m_ctx);
        if (!archive.isOpen() || (change && !archive.event(idtrat, rowid)))
            return failed();

        if (typeCombo->currentText().isEmpty() && otherTypeEdit->text().isEmpty()) {
            m_ctx.messages->show(T::noType, Messages::Icon::None);
            return false;
        }

        const QDate today = m_ctx.clock->today();
        if (dateEdit->text().isEmpty() || dateEdit->text() == T::noDate)
            dateEdit->setText(Conversions::editorDate(today));
        if (temperatureEdit->text().isEmpty())
            temperatureEdit->setText(QStringLiteral("0"));
        if (humidityEdit->text().isEmpty())
            humidityEdit->setText(QStringLiteral("0"));
        if (MemoText::of(eventDescriptionEdit).isEmpty())
            eventDescriptionEdit->setPlainText(QStringLiteral(" "));

        const FieldTexts fields = {
            {QStringLiteral("id"), plantKeyEdit->text()},
            {QStringLiteral("intervento"), typeToSave()},
            {QStringLiteral("temperatura"), temperatureEdit->text()},
            {QStringLiteral("umidita"), humidityEdit->text()},
            {QStringLiteral("descrizione"), MemoText::of(eventDescriptionEdit)},
            {QStringLiteral("datatratt"), dateEdit->text()},
        };
        bool saved = false;
        if (change) {
            saved = archive.updateEvent(idtrat, fields, rowid);
        } else {
            // Keys come from the clock; two events saved within one second take the next
            // free number rather than colliding.
            const auto key = archive.freeEventKey(TimestampKey::make(m_ctx.clock->now()));
            saved = key && archive.insertEvent(*key, fields);
            if (saved)
                idtrat = *key;
        }
        if (!saved)
            return failed();
    }

    typeCombo->setCurrentIndex(-1);
    typeCombo->clearEditText();
    dateEdit->clear();
    otherTypeEdit->clear();
    eventDescriptionEdit->clear();
    temperatureEdit->clear();
    humidityEdit->clear();
    m_ctx.messages->show(T::saved, Messages::Icon::Information);
    emit eventSaved(idtrat);
    if (!m_main.showEventsOfSelectedPlant())
        return failed();
    m_ctx.state.listMode = ListMode::Events;
    return true;
}
