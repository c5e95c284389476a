#include "ui/platform/qtmessages.h"

#include <QApplication>
#include <QMessageBox>

void QtMessages::show(const QString &text, Icon icon) {
    QMessageBox box(icon == Icon::Information   ? QMessageBox::Information
                    : icon == Icon::Exclamation ? QMessageBox::Warning
                    : icon == Icon::Question    ? QMessageBox::Question
                                                : QMessageBox::NoIcon,
                    title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool QtMessages::askYesNo(const QString &text, Icon icon) {
    QMessageBox box(icon == Icon::Question ? QMessageBox::Question : QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    return box.exec() == QMessageBox::Yes;
}
