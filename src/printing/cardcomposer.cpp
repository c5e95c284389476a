#include "printing/cardcomposer.h"

#include "ui/platform/openedarchive.h"
#include "archive/conversions.h"
#include "archive/fieldtable.h"
#include "ui/mainlist.h"
#include "printing/richtextbox.h"
#include "ui/widgets/fonts.h"
#include "ui/widgets/picturebox.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QUrl>
#include <cmath>

namespace {
namespace T {
const QString selectPlant = QStringLiteral("Seleziona una pianta dalla lista");
const QString noPictureFile = QStringLiteral("Impossibile trovare il file ");
const QString cultivationTitle = QStringLiteral("Scheda coltivazione ");
const QString cultivationHeader = QStringLiteral("\tData \t\t Intervento \t Descrizione \n\n");
} // namespace T

constexpr double cardPoints = 11;
// The left indent is the margin value, the right indent 200 twips less.
constexpr int marginTwips = 1200;
constexpr int rightIndentTwips = marginTwips - 200;

void append(RichTextBox &box, const QString &piece) {
    QTextCursor end(box.document());
    end.movePosition(QTextCursor::End);
    end.insertText(piece);
}

// A field as the card shows it; nullopt when the row has no such field.
std::optional<QString> fieldText(const Record &row, const QString &field) {
    const auto it = row.constFind(field);
    if (it == row.constEnd())
        return std::nullopt;
    return Conversions::displayText(*it);
}
} // namespace

CardComposer::CardComposer(AppContext &ctx, MainList &main) : m_ctx(ctx), m_main(main) {}

CardComposer::Outcome CardComposer::compose(RichTextBox &box, EventModeCard eventModeCard) {
    if (m_ctx.state.idpianta == 0) {
        m_ctx.messages->show(T::selectPlant, Messages::Icon::None);
        return Outcome::NoPlant;
    }
    box.clear();
    box.setPlainText(QStringLiteral("  "));
    box.setFocus();
    box.setBoxFont(Fonts::sans(cardPoints));
    if (m_ctx.state.listMode == ListMode::Plants)
        return plantCard(box);
    if (m_ctx.state.listMode == ListMode::Events && eventModeCard == EventModeCard::Cultivation)
        return cultivationCard(box);
    return Outcome::Completed;
}

CardComposer::Outcome CardComposer::plantCard(RichTextBox &box) {
    OpenedArchive archive(m_ctx);
    if (!archive.isOpen())
        return Outcome::Failed;
    const auto plant = archive.plant(m_ctx.state.idpianta, m_ctx.state.plantRow());

    // The picture file is written whether or not the plant's row is still there.
    if (!m_main.sidePanelPicture().save(m_ctx.folder.tempBitmapPath(), "BMP"))
        return Outcome::Failed;
    if (!plant)
        return Outcome::Failed;

    bool first = true;
    for (const Field &line : FieldTable::plant()) {
        if (line.cardLabel.isEmpty())
            continue;
        const auto value = fieldText(plant->fields, line.column);
        // An archive still of an older layout lacks the later fields: they are left out.
        if (!value && line.since > 0)
            continue;
        if (!value)
            return Outcome::Failed; // the text composed so far stays in the box
        QString piece = first ? QStringLiteral("\n\n") : QString();
        piece += line.cardLabel + *value + '\n';
        if (line.column == QLatin1String("identificazione"))
            piece += '\n';
        append(box, piece);
        first = false;
    }

    // From here on a failing step is skipped, but a picture that cannot be carried over
    // ends the composition with a message.
    if (!pastePicture(box)) {
        m_ctx.messages->show(T::noPictureFile, Messages::Icon::None);
        return Outcome::NoPicture;
    }
    if (box.devicePixelRatioF() != 1)
        redrawPicture(*box.document(), m_main, box.devicePixelRatioF());
    setMargins(box, After::CaretAtEnd);
    return Outcome::Completed;
}

// Carries the picture file into the box through the clipboard, pasting it into the empty
// second line: the picture takes that line and "Famiglia :" starts the next (the picture
// replaces one character of the line's CR LF, so the line still breaks after it). False only
// when the file could not be loaded or the clipboard would not take it; a paste the box
// refuses leaves the card without picture.
bool CardComposer::pastePicture(RichTextBox &box) {
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    QImage picture;
    if (!picture.load(m_ctx.folder.tempBitmapPath(), "BMP"))
        return false;
    clipboard->setImage(picture);
    const QMimeData *held = clipboard->mimeData();
    if (!held || !held->hasImage())
        return false;

    box.setFocus();
    const QTextBlock second = box.document()->findBlockByNumber(1);
    if (second.isValid())
        box.select(second.position(), 0);
    // The same key chord a user would press; sent, so it is handled before we go on.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Insert, Qt::ShiftModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Insert, Qt::ShiftModifier);
    QCoreApplication::sendEvent(&box, &press);
    QCoreApplication::sendEvent(&box, &release);
    return true;
}

CardComposer::Outcome CardComposer::cultivationCard(RichTextBox &box) {
    OpenedArchive archive(m_ctx);
    const qint64 id = m_ctx.state.idpianta;
    if (!archive.isOpen())
        return Outcome::Failed;
    const auto plant = archive.plant(id, m_ctx.state.plantRow());
    if (!plant)
        return Outcome::Failed;
    const auto identificazione = fieldText(plant->fields, "identificazione");
    if (!identificazione)
        return Outcome::Failed;
    box.setPlainText('\n' + T::cultivationTitle + *identificazione + "\n\n");

    const auto events = archive.events(id, Archive::EventOrder::Stored);
    if (!events)
        return Outcome::Failed;
    // The header and every event's line go into the box in one insertion: one per line
    // would lay the document out again each time. The title's lines get their indents
    // first, and the lines added after them take the same, so that the margins set below
    // change nothing and the long text is laid out once.
    setMargins(box, After::CaretAtEnd);
    QString table = T::cultivationHeader;
    for (const CareEvent &event : *events) {
        const auto date = fieldText(event.fields, "datatratt");
        const auto kind = fieldText(event.fields, "intervento");
        const auto description = fieldText(event.fields, "descrizione");
        if (!date || !kind || !description) {
            append(box, table); // the lines composed so far stay in the box
            return Outcome::Failed;
        }
        table += QLatin1Char('\t') + *date + QLatin1Char('\t') + *kind + QLatin1Char('\t') +
                 *description + QLatin1Char('\n');
    }
    // The long text goes into a copy of the card that no window shows, which the box then
    // takes whole: the box lays a new text out a part at a time while the program is idle,
    // where a text added to its own would be laid out at once. The lines take the indents of
    // the line they follow. The caret stays at the top: a caret put at the end would have
    // the whole text laid out at once, to show it.
    auto *card = box.document()->clone(&box);
    QTextCursor end(card);
    end.movePosition(QTextCursor::End);
    end.insertText(table);
    box.setDocument(card);
    box.setFocus();
    return Outcome::Completed;
}

void CardComposer::redrawPicture(QTextDocument &card, const MainList &main, qreal scale) {
    // The picture pasted into the second line, as the composition leaves it.
    const QTextBlock second = card.findBlockByNumber(1);
    for (auto it = second.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat format = it.fragment().charFormat();
        if (!format.isImageFormat())
            continue;
        const QTextImageFormat image = format.toImageFormat();
        const QImage sharp = main.sidePanelPicture(scale);
        // Only the side panel's own picture is replaced, by the same picture drawn finer.
        const QSizeF drawn = sharp.deviceIndependentSize();
        if (sharp.isNull() || std::abs(drawn.width() - image.width()) >= 1 ||
            std::abs(drawn.height() - image.height()) >= 1)
            return;
        card.addResource(QTextDocument::ImageResource, QUrl(image.name()), sharp);
        return;
    }
}

void CardComposer::setMargins(RichTextBox &box, After after) {
    box.select(0, box.toPlainText().size());
    box.setSelectionIndents(marginTwips, rightIndentTwips);
    if (after == After::CaretAtEnd)
        box.select(box.toPlainText().size(), 0);
}
