#include "ui/widgets/memotext.h"

#include <QPlainTextEdit>
#include <QTextDocument>

QString MemoText::of(const QPlainTextEdit *box) {
    QString text = box->document()->toRawText();
    for (QChar &c : text)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    return text;
}
