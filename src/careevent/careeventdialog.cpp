#include "careevent/careeventdialog.h"

#include "archive/conversions.h"
#include "archive/timestampkey.h"
#include "careevent/treatmenttypes.h"
#include "ui/caption.h"
#include "ui/fonts.h"
#include "ui/mainlist.h"
#include "ui/memotext.h"
#include "ui/openedarchive.h"
#include "ui/picturebox.h"
#include "ui/tabpanel.h"
#include "ui/twips.h"

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

CareEventDialog::CareEventDialog(AppContext &ctx, MainList &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main) {
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
    Combo1->setFocus(Qt::OtherFocusReason);
}

void CareEventDialog::buildWindow() {
    Frame1 = new QGroupBox(T::dati, this);
    Frame1->setObjectName("Frame1");
    Frame1->setAccessibleName(T::dati);
    Twips::place(Frame1, 30, 60, 11475, 7785);

    SSTab1 = make<TabPanel>(Frame1, "SSTab1", T::dati);
    Twips::place(SSTab1, 150, 270, 6165, 6735);
    QWidget *eventPage = SSTab1->addTab(T::eventTab);
    eventPage->setObjectName("eventPage");
    QWidget *otherPage = SSTab1->addTab(T::otherTab);
    otherPage->setObjectName("otherPage");
    SSTab1->setCurrentIndex(0);
    buildEventTab(eventPage);
    buildOtherTab(otherPage);

    Picture1 = new PictureBox(Frame1);
    Picture1->setObjectName("Picture1");
    Picture1->setAccessibleName(T::immagine);
    Twips::place(Picture1, 6660, 570, 4515, 3585);
    Picture1->clear();

    Command1 = makeButton(Frame1, "Command1", T::annulla);
    Twips::place(Command1, 7740, 7200, 1815, 435);
    Command2 = makeButton(Frame1, "Command2", T::ok);
    Twips::place(Command2, 9660, 7200, 1545, 405);
    Command2->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &CareEventDialog::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &CareEventDialog::Command2_Click);

    // Hidden holders, below the visible part of the frame.
    Text9 = make<QLineEdit>(Frame1, "Text9", T::pianta);
    Twips::place(Text9, 7440, 8610, 1455, 345);
    Label12 = Caption::make(Frame1, "Label12", T::temperatura);
    Twips::place(Label12, 1860, 7965, 1965, 315);
    Text10 = make<QLineEdit>(Frame1, "Text10", T::temperatura);
    Twips::place(Text10, 3240, 7965, 1215, 345);
    Label13 = Caption::make(Frame1, "Label13", T::umidita);
    Twips::place(Label13, 1860, 8430, 1965, 315);
    Text11 = make<QLineEdit>(Frame1, "Text11", T::umidita);
    Twips::place(Text11, 3240, 8415, 1245, 345);
    Caption::name(Label12, Text10);
    Caption::name(Label13, Text11);
    for (QWidget *w : std::initializer_list<QWidget *>{Text9, Label12, Text10, Label13, Text11})
        w->hide();
}

void CareEventDialog::buildEventTab(QWidget *page) {
    Label7 = Caption::make(page, "Label7", T::identificazione);
    placeOnTab(Label7, 120, 540, 1125, 255);
    Text8 = make<QLineEdit>(page, "Text8", T::identificazione);
    placeOnTab(Text8, 2250, 510, 3765, 345);
    Label3 = Caption::make(page, "Label3", T::famiglia);
    placeOnTab(Label3, 90, 915, 1965, 315);
    Text5 = make<QLineEdit>(page, "Text5", T::famiglia);
    placeOnTab(Text5, 2250, 915, 3765, 345);
    Label4 = Caption::make(page, "Label4", T::genere);
    placeOnTab(Label4, 90, 1365, 1965, 315);
    Text6 = make<QLineEdit>(page, "Text6", T::genere);
    placeOnTab(Text6, 2250, 1365, 3765, 345);
    Label5 = Caption::make(page, "Label5", T::specie);
    placeOnTab(Label5, 90, 1830, 1965, 315);
    Text7 = make<QLineEdit>(page, "Text7", T::specie);
    placeOnTab(Text7, 2250, 1830, 3765, 345);

    Label1 = Caption::make(page, "Label1", T::tipo);
    placeOnTab(Label1, 210, 2400, 2205, 285);
    Combo1 = make<QComboBox>(page, "Combo1", T::tipo);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setCompleter(nullptr); // a typed type stays exactly as typed
    placeOnTab(Combo1, 180, 2670, 2835, 315);
    connect(Combo1, &QComboBox::activated, this, &CareEventDialog::Combo1_Click);

    Label8 = Caption::make(page, "Label8", T::data);
    placeOnTab(Label8, 3180, 2460, 1275, 225);
    Text12 = make<QLineEdit>(page, "Text12", T::data);
    placeOnTab(Text12, 3180, 2670, 1545, 285);
    Text12->installEventFilter(this);
    Command3 = makeButton(page, "Command3", T::dots);
    Command3->setAccessibleName(T::scegliData);
    placeOnTab(Command3, 4800, 2670, 555, 315);
    connect(Command3, &QPushButton::clicked, this, &CareEventDialog::Command3_Click);

    Text3 = make<QLineEdit>(page, "Text3", T::altroTipo);
    placeOnTab(Text3, 180, 3150, 5355, 345);
    Text3->hide();

    Label2 = Caption::make(page, "Label2", T::descrizioneTrattamento);
    placeOnTab(Label2, 180, 3660, 3735, 255);
    Text4 = makeMemo(page, "Text4", T::descrizioneTrattamento);
    placeOnTab(Text4, 180, 3930, 5685, 2535);

    Calendar1 = make<QCalendarWidget>(page, "Calendar1", T::calendario);
    Calendar1->setLocale(QLocale(QLocale::Italian, QLocale::Italy));
    Calendar1->setFirstDayOfWeek(Qt::Monday);
    Calendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    Calendar1->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    placeOnTab(Calendar1, 2880, 2670, 2490, 2370);
    Calendar1->hide();
    connect(Calendar1, &QCalendarWidget::clicked, this, &CareEventDialog::Calendar1_DateClick);
    // Enter on a day picks it too, so the date can be chosen from the keyboard.
    connect(Calendar1, &QCalendarWidget::activated, this, &CareEventDialog::Calendar1_DateClick);

    Caption::name(Label7, Text8);
    Caption::name(Label3, Text5);
    Caption::name(Label4, Text6);
    Caption::name(Label5, Text7);
    Caption::name(Label1, Combo1);
    Caption::name(Label8, Text12);
    Caption::name(Label2, Text4);
}

void CareEventDialog::buildOtherTab(QWidget *page) {
    Label6 = Caption::make(page, "Label6", T::descrizione);
    placeOnTab(Label6, 180, 450, 1965, 315);
    Text1 = makeMemo(page, "Text1", T::descrizione);
    placeOnTab(Text1, 150, 720, 5715, 2025);
    Label9 = Caption::make(page, "Label9", T::note);
    placeOnTab(Label9, 180, 2940, 1785, 315);
    Text2 = makeMemo(page, "Text2", T::note);
    placeOnTab(Text2, 150, 3210, 5715, 2025);
    Caption::name(Label6, Text1);
    Caption::name(Label9, Text2);
}

void CareEventDialog::orderTabs() {
    // The boxes as they are laid out, top to bottom and left to right: "..." after its date
    // box, then the calendar, so that Tab reaches it while it is shown; the buttons last.
    m_tabOrder = {SSTab1->tabBar(), Text8, Text5, Text6, Text7, Combo1,   Text12,  Command3,
                  Calendar1,        Text3, Text4, Text1, Text2, Command1, Command2};
    for (QWidget *w : std::initializer_list<QWidget *>{Text9, Text10, Text11, Picture1})
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
    if (qobject_cast<QLabel *>(w) || w == Calendar1)
        g.setSize(g.size().expandedTo(w->minimumSizeHint()));
    w->setGeometry(g);
}

bool CareEventDialog::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Text12 && event->type() == QEvent::FocusIn)
        Command3_Click();
    return QDialog::eventFilter(watched, event);
}

// Loading: every step needs the ones before it. A failure ends the load with the placeholder
// picture, leaving the later fields empty; no message is shown.
void CareEventDialog::load() {
    Calendar1->setSelectedDate(m_ctx.clock->today());
    QString img;
    if (!loadTypes() || !loadPlant(&img)) {
        showPlaceholder();
        return;
    }
    // A picture that cannot be shown does not keep the event from loading: in change mode
    // its fields must be on screen, or "OK" would overwrite them with the defaults.
    if (!loadPicture(img))
        showPlaceholder();
    if (m_ctx.state.idtratsel != 0 && !loadEvent())
        showPlaceholder();
}

bool CareEventDialog::loadTypes() {
    const auto lines = TreatmentTypes::readFile(m_ctx.folder.treatmentsPath());
    if (!lines)
        return false;
    Combo1->addItems(TreatmentTypes::fixed());
    Combo1->addItems(*lines);
    Combo1->setCurrentIndex(-1);
    Combo1->clearEditText();
    return true;
}

bool CareEventDialog::loadPlant(QString *img) {
    OpenedArchive archive(m_ctx);
    const auto plant = archive.plant(m_ctx.state.idpianta, m_ctx.state.plantRow());
    if (!plant)
        return false;
    const auto text = [&](const char *field) {
        return Conversions::displayText(plant->value(QString::fromLatin1(field)));
    };
    Text9->setText(Conversions::displayText(plant->value("id")));
    Text8->setText(text("identificazione"));
    Text5->setText(text("famiglia"));
    Text6->setText(text("genere"));
    Text7->setText(text("specie"));
    Text1->setPlainText(text("descrizione"));
    Text2->setPlainText(text("note"));
    *img = plant->value("img").toString();
    return true;
}

bool CareEventDialog::loadPicture(const QString &img) {
    Picture2 = QImage();
    Picture1->clear();
    const QString path = img == QLatin1String("nd.jpg")
                             ? m_ctx.folder.placeholderPath()
                             : m_ctx.folder.plantPicture(m_ctx.state.idpianta, img);
    Picture2 = Picture1->hold(path);
    if (Picture2.isNull())
        return false;
    Picture1->paintFitted(Picture2);
    return true;
}

bool CareEventDialog::loadEvent() {
    OpenedArchive archive(m_ctx);
    const auto event = archive.event(m_ctx.state.idtratsel, m_ctx.state.eventRow());
    if (!event)
        return false;
    setType(event->value("intervento").toString());
    Text12->setText(Conversions::displayText(event->value("datatratt")));
    Text4->setPlainText(Conversions::displayText(event->value("descrizione")));
    Text9->setText(Conversions::displayText(event->value("id")));
    return true;
}

void CareEventDialog::showPlaceholder() {
    // When the placeholder itself cannot be read the frame stays blank.
    Picture1->clear();
    Picture2 = Picture1->hold(m_ctx.folder.placeholderPath());
    Picture1->paintFitted(Picture2);
}

// Shows a stored type: a known one as itself, anything else as "Altro...." with the text
// in the free box, whose visibility stays as it is.
void CareEventDialog::setType(const QString &type) {
    const QString shown = TreatmentTypes::isKnown(type) ? type : TreatmentTypes::other;
    const int index = Combo1->findText(shown, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        Combo1->setCurrentIndex(index);
    else
        Combo1->setEditText(shown);
    if (shown == TreatmentTypes::other)
        Text3->setText(type);
}

QString CareEventDialog::typeToSave() const {
    return Combo1->currentText() == TreatmentTypes::other ? Text3->text() : Combo1->currentText();
}

void CareEventDialog::Combo1_Click() {
    Text3->setVisible(Combo1->currentText() == TreatmentTypes::other);
}

void CareEventDialog::Command3_Click() {
    Calendar1->show();
    Calendar1->raise();
}

void CareEventDialog::Calendar1_DateClick(const QDate &date) {
    Text12->setText(Conversions::pickedDate(date));
    hideCalendar();
}

void CareEventDialog::hideCalendar() {
    // Focus goes back to the date box before the calendar goes, so it does not wander off.
    if (Calendar1->isAncestorOf(focusWidget()))
        Text12->setFocus(Qt::OtherFocusReason);
    Calendar1->hide();
}

// Escape puts the calendar away when it is shown; only without it does it close the window
// as "Annulla" does.
void CareEventDialog::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Cancel) && Calendar1->isVisible()) {
        hideCalendar();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CareEventDialog::Command1_Click() {
    close();
}

bool CareEventDialog::Command2_Click() {
    ProgramState &state = m_ctx.state;
    const auto failed = [this] {
        m_ctx.messages->show(T::checkData, Messages::Icon::None);
        return false;
    };
    const bool change = state.idtratsel != 0;
    const qint64 idtrat = state.idtratsel;
    const qint64 rowid = state.eventRow();
    {
        OpenedArchive archive(m_ctx);
        if (!archive.isOpen() || (change && !archive.event(idtrat, rowid)))
            return failed();

        if (Combo1->currentText().isEmpty() && Text3->text().isEmpty()) {
            m_ctx.messages->show(T::noType, Messages::Icon::None);
            return false;
        }

        const QDate today = m_ctx.clock->today();
        if (Text12->text().isEmpty() || Text12->text() == T::noDate)
            Text12->setText(Conversions::editorDate(today));
        if (Text10->text().isEmpty())
            Text10->setText(QStringLiteral("0"));
        if (Text11->text().isEmpty())
            Text11->setText(QStringLiteral("0"));
        if (MemoText::of(Text4).isEmpty())
            Text4->setPlainText(QStringLiteral(" "));

        const FieldTexts fields = {
            {QStringLiteral("id"), Text9->text()},
            {QStringLiteral("intervento"), typeToSave()},
            {QStringLiteral("temperatura"), Text10->text()},
            {QStringLiteral("umidita"), Text11->text()},
            {QStringLiteral("descrizione"), MemoText::of(Text4)},
            {QStringLiteral("datatratt"), Text12->text()},
        };
        bool saved = false;
        if (change) {
            saved = archive.updateEvent(idtrat, fields, rowid);
        } else {
            // Keys come from the clock; two events saved within one second take the next
            // free number rather than colliding.
            const auto key = archive.freeEventKey(TimestampKey::make(m_ctx.clock->now()));
            saved = key && archive.insertEvent(*key, fields);
        }
        if (!saved)
            return failed();
    }

    Combo1->setCurrentIndex(-1);
    Combo1->clearEditText();
    Text12->clear();
    Text3->clear();
    Text4->clear();
    Text10->clear();
    Text11->clear();
    m_ctx.messages->show(T::saved, Messages::Icon::Information);
    if (!m_main.showEventsOfSelectedPlant())
        return failed();
    state.modolista = ProgramState::eventMode;
    return true;
}
