#pragma once

#include <QString>

class QPlainTextEdit;

// The text of a box of several lines, character for character. QPlainTextEdit::toPlainText()
// turns non-breaking spaces into plain ones, so a text saved from it would not be the text
// the user typed or the one stored before; here only line breaks change, to "\n".
class MemoText {
public:
    static QString of(const QPlainTextEdit *box);
};
