#pragma once

#include <QTextEdit>

// The rich-text box the plant card is composed in. A plain QTextEdit drops a pasted bitmap;
// this one keeps it as a picture embedded in the document, and pastes on Shift+Insert on
// every platform.
class RichTextBox : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget *parent = nullptr);

    // Selects `length` characters from `start` (counted as QTextDocument counts them: a
    // line break is one character).
    void select(int start, int length);
    // Sets the left and right paragraph indents, in twips, of every paragraph the selection
    // touches (the paragraph of the caret when nothing is selected).
    void setSelectionIndents(int leftTwips, int rightTwips);
    // One face and size for the whole box, on screen and in print.
    void setBoxFont(const QFont &font);

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    int m_pictures = 0;
};
