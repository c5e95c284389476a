#pragma once

#include "ui/platform/messages.h"

// Real message boxes, over the active window.
class QtMessages : public Messages {
public:
    void show(const QString &text, Icon icon) override;
    bool askYesNo(const QString &text, Icon icon = Icon::None) override;
};
