#include "ui/widgets/caption.h"

#include <QLabel>

QLabel *Caption::make(QWidget *parent, const char *name, const QString &text) {
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAccessibleName(text);
    return l;
}

void Caption::name(QLabel *caption, QWidget *box) {
    caption->setBuddy(box);
    box->setAccessibleName(caption->text());
}
