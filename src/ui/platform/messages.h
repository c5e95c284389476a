#pragma once

#include <QString>

class QWidget;

// The program's message boxes, all under the title "Silvaro". Windows speak through this
// so that tests can read what was said and script the answers.
class Messages {
public:
    enum class Icon { None, Information, Exclamation, Question };
    virtual ~Messages() = default;
    // A message with a single OK button.
    virtual void show(const QString &text, Icon icon = Icon::None) = 0;
    // A question with the buttons Yes and No; true for Yes.
    virtual bool askYesNo(const QString &text, Icon icon = Icon::None) = 0;

    static inline const QString title = QStringLiteral("Silvaro");
};
