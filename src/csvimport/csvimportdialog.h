#pragma once

#include "archive/csvimport.h"
#include "ui/appcontext.h"

#include <QDialog>

class CsvFilePanel;
class MainList;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// "Importa da CSV...": a file of plants and, if wanted, one of care events, each column
// matched to a field, the first rows shown as they will be stored. "Prova" lists every row
// that cannot be taken and why; "Importa" stores the others in one go, tells what it
// stored and leaves the list of skipped rows beside the file. The main list then shows
// what was stored.
class CsvImportDialog : public QDialog {
    Q_OBJECT
public:
    CsvImportDialog(AppContext &ctx, MainList &main, QWidget *parent = nullptr);

    // "Prova": the dry run; false when it failed or was stopped.
    bool tryImport();
    // "Importa".
    void importRows();

    QTabWidget *tabs;
    CsvFilePanel *plantPanel, *eventPanel;
    QComboBox *duplicatesBox; // skip or update the rows already in the archive
    QPlainTextEdit *skippedList;
    QLabel *summaryLabel;
    QPushButton *tryButton, *importButton, *closeButton;

private:
    void refreshPreview();
    void showSkipped(const CsvImport::Outcome &outcome);
    std::optional<CsvImport::Outcome> runWithProgress(const QString &text, bool writing);

    AppContext &m_ctx;
    MainList &m_main;
    CsvImport m_import;
    std::optional<CsvImport::Outcome> m_checked; // the last full dry run, while still true
};
