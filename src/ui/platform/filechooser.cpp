#include "ui/platform/filechooser.h"

#include <QFileDialog>

QString FileChooser::openFile(QWidget *parent, const QString &filter) {
    // A filter shows its caption only, so "Name (caption) (patterns)" can carry more
    // patterns than its caption lists (capitals, for instance).
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter, nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

QString FileChooser::openFileIn(QWidget *parent, const QString &dir, const QString &filter) {
    return QFileDialog::getOpenFileName(parent, QString(), dir, filter, nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

QStringList FileChooser::openFiles(QWidget *parent, const QString &filter) {
    return QFileDialog::getOpenFileNames(parent, QString(), QString(), filter, nullptr,
                                         QFileDialog::HideNameFilterDetails);
}

QString FileChooser::chooseFolder(QWidget *parent, const QString &dir) {
    return QFileDialog::getExistingDirectory(parent, QString(), dir);
}
