#include "printing/cardviewdialog.h"

#include "ui/mainlist.h"
#include "printing/cardcomposer.h"
#include "printing/richtextbox.h"
#include "ui/twips.h"

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

    rtf1 = new RichTextBox(this);
    rtf1->setObjectName("rtf1");
    rtf1->setAccessibleName(T::caption);
    Twips::place(rtf1, 120, 60, 11505, 7125);

    Command1 = new QPushButton(T::chiudi, this);
    Command1->setObjectName("Command1");
    Command1->setAccessibleName(T::chiudi);
    Command1->setAutoDefault(false);
    Twips::place(Command1, 9840, 7260, 1785, 405);
    connect(Command1, &QPushButton::clicked, this, &QDialog::close);
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
    switch (composer.compose(*rtf1, CardComposer::EventModeCard::None)) {
    case CardComposer::Outcome::Completed:
        CardComposer::setMargins(*rtf1, CardComposer::After::CaretAtEnd);
        rtf1->setFocus();
        // The caret waits at the end, but the card is read from its top, picture first.
        rtf1->verticalScrollBar()->setValue(rtf1->verticalScrollBar()->minimum());
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
