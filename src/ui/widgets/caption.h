#pragma once

#include <QString>

class QLabel;
class QWidget;

// The editors' captions: a label that names the box beside it. The label becomes the box's
// buddy (Alt+letter, a click on the caption) and its text the box's name for screen readers.
class Caption {
public:
    static QLabel *make(QWidget *parent, const char *name, const QString &text);
    static void name(QLabel *caption, QWidget *box);
};
