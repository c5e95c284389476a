#include "ui/filechooser.h"

#include <QFileDialog>

QString FileChooser::openFile(QWidget *parent, const QString &filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}
