#include "printing/richtextbox.h"

#include "ui/widgets/twips.h"

#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent) {
    setAcceptRichText(true);
}

void RichTextBox::select(int start, int length) {
    QTextCursor c(document());
    const int end = qMax(0, document()->characterCount() - 1);
    c.setPosition(qBound(0, start, end));
    c.setPosition(qBound(0, start + length, end), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

void RichTextBox::setSelectionIndents(int leftTwips, int rightTwips) {
    QTextBlockFormat f;
    f.setLeftMargin(Twips::px(leftTwips));
    f.setRightMargin(Twips::px(rightTwips));
    // Blocks that have these indents already are left alone: a change, even to the same
    // values, lays the whole text out again, and a long card takes a while.
    const QTextCursor c = textCursor();
    bool same = true;
    const QTextBlock last = document()->findBlock(c.selectionEnd());
    for (QTextBlock b = document()->findBlock(c.selectionStart()); same && b.isValid();
         b = b.next()) {
        const QTextBlockFormat has = b.blockFormat();
        same = has.hasProperty(QTextFormat::BlockLeftMargin) &&
               has.hasProperty(QTextFormat::BlockRightMargin) &&
               has.leftMargin() == f.leftMargin() && has.rightMargin() == f.rightMargin();
        if (b == last)
            break;
    }
    if (!same)
        textCursor().mergeBlockFormat(f);
}

void RichTextBox::setBoxFont(const QFont &font) {
    // The text carries no character formats, so the document's default font is its only one.
    setFont(font);
    document()->setDefaultFont(font);
}

bool RichTextBox::canInsertFromMimeData(const QMimeData *source) const {
    return source->hasImage() || QTextEdit::canInsertFromMimeData(source);
}

void RichTextBox::insertFromMimeData(const QMimeData *source) {
    const QImage picture = qvariant_cast<QImage>(source->imageData());
    if (!source->hasImage() || picture.isNull()) {
        QTextEdit::insertFromMimeData(source);
        return;
    }
    // The picture lives in the document under a name of its own, so it prints with it.
    const QString name = QStringLiteral("pasted-picture:%1").arg(++m_pictures);
    document()->addResource(QTextDocument::ImageResource, QUrl(name), picture);
    QTextImageFormat format;
    format.setName(name);
    format.setWidth(picture.width());
    format.setHeight(picture.height());
    QTextCursor c = textCursor();
    c.insertImage(format); // replaces the selection, as a paste does
    setTextCursor(c);
}

void RichTextBox::keyPressEvent(QKeyEvent *e) {
    if (e->key() == Qt::Key_Insert && e->modifiers() == Qt::ShiftModifier && !isReadOnly()) {
        paste();
        e->accept();
        return;
    }
    QTextEdit::keyPressEvent(e);
}
