#pragma once

#include <QRegularExpression>
#include <QString>

// The search box's text as a prefix pattern: `*` stands for any characters and `?` for one,
// every other character for itself. Matching ignores case, accented letters included, and
// treats composed and decomposed accents alike.
class SearchPattern {
public:
    explicit SearchPattern(const QString &typed);
    bool matches(const QString &value) const;

private:
    QRegularExpression m_re;
};
