#pragma once

#include <QString>

class QWidget;

// The open-file dialog. An empty result means the user cancelled.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    virtual QString openFile(QWidget *parent, const QString &filter);
};
