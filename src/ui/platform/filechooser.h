#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The open-file dialog. An empty result means the user cancelled. Each filter is shown
// without its last bracketed pattern list: "Immagini (*.jpg) (*.jpg *.JPG)" shows
// "Immagini (*.jpg)" and lists both spellings.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    virtual QString openFile(QWidget *parent, const QString &filter);
    // The same, opened on the folder `dir`.
    virtual QString openFileIn(QWidget *parent, const QString &dir, const QString &filter);
    // Several files at once; empty when cancelled.
    virtual QStringList openFiles(QWidget *parent, const QString &filter);
    // A folder, starting from `dir`; empty when cancelled.
    virtual QString chooseFolder(QWidget *parent, const QString &dir);
};
