#include "archive/searchpattern.h"

SearchPattern::SearchPattern(const QString &typed) {
    const QString text = typed.normalized(QString::NormalizationForm_C);
    QString re = QStringLiteral("\\A");
    QString literal; // escaped as whole runs, so that surrogate pairs stay together
    auto flush = [&] {
        re += QRegularExpression::escape(literal);
        literal.clear();
    };
    for (const QChar c : text) {
        if (c == '*' || c == '?') {
            flush();
            re += c == '*' ? QStringLiteral(".*") : QStringLiteral(".");
        } else {
            literal += c;
        }
    }
    flush();
    m_re.setPattern(re);
    m_re.setPatternOptions(QRegularExpression::CaseInsensitiveOption |
                           QRegularExpression::UseUnicodePropertiesOption |
                           QRegularExpression::DotMatchesEverythingOption);
    m_re.optimize();
}

bool SearchPattern::matches(const QString &value) const {
    return m_re.match(value.normalized(QString::NormalizationForm_C)).hasMatch();
}
