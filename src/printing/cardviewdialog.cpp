#include "printing/cardviewdialog.h"

#include "ui/mainlist.h"
#include "printing/cardcomposer.h"
#include "printing/richtextbox.h"
#include "ui/widgets/twips.h"

#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

namespace {
namespace T {
const QString caption = QStringLiteral("Scheda pianta");
const QString chiudi = QStringLiteral("Chiudi");
} // namespace T
} // namespace

CardViewDialog::CardViewDialog(AppContext &ctx, MainList &main, QWidget *parent)
    : QDialog(parent), m_ctx(ctx), m_main(main) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("CardViewDialog");
    setWindowTitle(T::caption);
    setFixedSize(Twips::px(11775), Twips::px(7890));

    cardBox = new RichTextBox(this);
    cardBox->setObjectName("cardBox");
    cardBox->setAccessibleName(T::caption);
    Twips::place(cardBox, 120, 60, 11505, 7125);

    closeButton = new QPushButton(T::chiudi, this);
    closeButton->setObjectName("closeButton");
    closeButton->setAccessibleName(T::chiudi);
    closeButton->setAutoDefault(false);
    Twips::place(closeButton, 9840, 7260, 1785, 405);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
}

void CardViewDialog::showEvent(QShowEvent *e) {
    QDialog::showEvent(e);
    if (m_activated)
        return;
    m_activated = true;
    // Composed once the window is up, from the event loop that shows it.
    QTimer::singleShot(0, this, &CardViewDialog::activate);
}

void CardViewDialog::activate() {
    const QPointer<CardViewDialog> self(this);
    CardComposer composer(m_ctx, m_main);
    switch (composer.compose(*cardBox, CardComposer::EventModeCard::None)) {
    case CardComposer::Outcome::Completed:
        CardComposer::setMargins(*cardBox, CardComposer::After::CaretAtEnd);
        cardBox->setFocus();
        // The caret waits at the end, but the card is read from its top, picture first.
        cardBox->verticalScrollBar()->setValue(cardBox->verticalScrollBar()->minimum());
        break;
    case CardComposer::Outcome::NoPlant:
    case CardComposer::Outcome::Failed:
        if (self)
            close();
        break;
    case CardComposer::Outcome::NoPicture:
        break; // the card stays, without picture and margins, until the user closes it
    }
}
