#pragma once

#include "archive/csvimport.h"
#include "ui/appcontext.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTableWidget;

// One file of an import, plants or care events: the file chosen, what was found in it
// (encoding, separator, rows), whether its first row names the columns, the field of each
// column, and the first rows as they will be stored.
class CsvFilePanel : public QWidget {
    Q_OBJECT
public:
    CsvFilePanel(AppContext &ctx, CsvImport &import, QString table, QWidget *parent = nullptr);

    // Reads the file at `path` (empty: none); false when it cannot be read, told already.
    bool choose(const QString &path);
    void browse();
    // The first rows of the last check.
    void showPreview(const QList<CsvImport::Preview> &rows);

    QLineEdit *pathEdit;
    QPushButton *browseButton;
    QLabel *foundLabel;
    QCheckBox *headerBox;
    QScrollArea *columnArea;    // a line for each column of the file
    QTableWidget *previewTable; // the first rows as stored

signals:
    // The file or its columns changed: the preview is out of date.
    void changed();

private:
    void showColumns();

    AppContext &m_ctx;
    CsvImport &m_import;
    const QString m_table;
    int m_focusColumn = -1; // the box to give the keys back to after a change
};
