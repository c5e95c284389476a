#include "printing/cardprintdialog.h"

#include "ui/mainlist.h"
#include "printing/cardcomposer.h"
#include "printing/richtextbox.h"
#include "ui/widgets/fonts.h"
#include "ui/widgets/twips.h"

#include <QLabel>
#include <QPointer>
#include <QPrinter>
#include <QTextDocument>
#include <QTextFrame>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace {
namespace T {
const QString caption = QStringLiteral("Stampa");
const QString inProgress = QStringLiteral("Stampa in corso");
const QString cancelled = QStringLiteral("Stampa annullata");
const QString document = QStringLiteral("Scheda pianta");
} // namespace T

constexpr double pageHeadFootCm = 2;
// Finer than this a photograph gains nothing on paper.
constexpr int paperPicturePpi = 300;
} // namespace

CardPrintDialog::CardPrintDialog(AppContext &ctx, MainList &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("CardPrintDialog");
    setWindowTitle(T::caption);
    setFixedSize(Twips::px(3780), Twips::px(1290));

    progressLabel = new QLabel(T::inProgress, this);
    progressLabel->setObjectName("progressLabel");
    progressLabel->setFont(Fonts::sans(12, true));
    progressLabel->setAccessibleName(T::inProgress);
    Twips::place(progressLabel, 480, 330, 4335, 495);

    // Below the bottom edge: the user sees only the notice, but the box is a real, visible
    // widget that takes the focus and the paste.
    cardBox = new RichTextBox(this);
    cardBox->setObjectName("cardBox");
    cardBox->setAccessibleName(T::document);
    Twips::place(cardBox, 120, 7710, 11565, 5625);
}

void CardPrintDialog::showEvent(QShowEvent *e) {
    QDialog::showEvent(e);
    if (m_activated)
        return;
    m_activated = true;
    QTimer::singleShot(0, this, &CardPrintDialog::activate);
}

void CardPrintDialog::activate() {
    const QPointer<CardPrintDialog> self(this);
    CardComposer composer(m_ctx, m_main);
    switch (composer.compose(*cardBox, CardComposer::EventModeCard::Cultivation)) {
    case CardComposer::Outcome::Completed:
        print();
        break;
    case CardComposer::Outcome::NoPlant:
        break;
    case CardComposer::Outcome::Failed:
        m_ctx.messages->show(T::cancelled, Messages::Icon::None);
        break;
    case CardComposer::Outcome::NoPicture:
        return; // nothing printed; the notice stays until the user closes the window
    }
    if (self)
        close();
}

// Every step here is skipped when it fails: a cancelled dialog or a failed print closes
// the window without a message.
void CardPrintDialog::print() {
    // The whole card is selected and offered as the selection. The box selects it once the
    // dialog is answered: selecting shows the selection's end, which has a long card laid
    // out whole first.
    const bool selection = !cardBox->toPlainText().isEmpty();
    QPrinter printer(QPrinter::HighResolution);
    if (selection)
        printer.setPrintRange(QPrinter::Selection); // offered and preselected
    const bool chosen = m_ctx.printer->choose(printer, this, selection);
    CardComposer::setMargins(*cardBox, CardComposer::After::AllSelected);
    if (!chosen)
        return;
    // The selection is the whole document, and it prints whole whatever range was chosen.
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFromTo(0, 0);

    // Laid out on pages measured in screen pixels, like the box, and scaled onto the
    // printer. Left to itself Qt would lay the text out in printer pixels and leave the
    // indents unscaled (a twelfth of their size at 1200 dpi), add 2 cm at every side and
    // number the pages. The indents are the side margins; head and foot get 2 cm.
    const std::unique_ptr<QTextDocument> pages(cardBox->document()->clone());
    const double pxPerPoint = Twips::dpi() / 72.0;
    pages->setPageSize(printer.pageLayout().paintRectPoints().size() * pxPerPoint);
    QTextFrameFormat frame = pages->rootFrame()->frameFormat();
    frame.setLeftMargin(0);
    frame.setRightMargin(0);
    frame.setTopMargin(pageHeadFootCm / 2.54 * Twips::dpi());
    frame.setBottomMargin(pageHeadFootCm / 2.54 * Twips::dpi());
    pages->rootFrame()->setFrameFormat(frame);
    // The picture is drawn again from its file for paper, as fine as the printer prints but
    // no finer than paper needs.
    const int ppi = std::min(printer.resolution(), paperPicturePpi);
    CardComposer::redrawPicture(*pages, m_main, ppi / Twips::dpi());
    pages->print(&printer);
}
