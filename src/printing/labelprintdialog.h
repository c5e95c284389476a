#pragma once

#include "archive/plant.h"
#include "printing/labelchoices.h"
#include "printing/labelcomposer.h"
#include "ui/appcontext.h"

#include <QDialog>
#include <memory>

class MainList;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPrintPreviewWidget;
class QPrinter;
class QPushButton;
class QSpinBox;
class QTimer;

// "Stampa etichette...": pot labels for the plants the main list shows, each with a check
// box; the sheet (a commercial one or the grower's own), the first free label of a sheet
// already used, the fields and their order, the QR code; a preview of the pages as they
// print; printing through the print dialog (or to a PDF file from there). The choices are
// kept for the next time.
class LabelPrintDialog : public QDialog {
    Q_OBJECT
public:
    LabelPrintDialog(AppContext &ctx, MainList &main, QWidget *parent = nullptr);
    ~LabelPrintDialog() override;

    // Asks for a printer and prints the labels of the plants checked; false when nothing
    // was printed (none checked, a sheet that does not fit, cancelled, failed).
    bool print();
    // The labels of the plants checked, with the fields and code chosen now.
    QList<LabelComposer::Label> labels() const;
    LabelSheet sheet() const;

    QListWidget *plantList; // one checkable row per plant listed
    QPushButton *allButton, *noneButton;
    QComboBox *formatCombo;
    QSpinBox *rowsSpin, *columnsSpin;
    QDoubleSpinBox *widthSpin, *heightSpin, *leftSpin, *topSpin, *columnGapSpin, *rowGapSpin;
    QSpinBox *firstLabelSpin; // 1 the top left of the sheet
    QListWidget *fieldList;   // checkable, in the order they go on the label
    QPushButton *upButton, *downButton;
    QCheckBox *codeCheck;
    QLabel *summaryLabel;
    QPrintPreviewWidget *preview;
    QPushButton *printButton, *closeButton;

protected:
    void done(int result) override;

private:
    void readPlants();
    void showSheet();
    void ownSheetEdited();
    void moveField(int by);
    void choicesChanged();
    void refresh();
    void paintPreview(QPrinter *printer);
    LabelChoices currentChoices() const;

    AppContext &m_ctx;
    MainList &m_main;
    LabelChoices m_choices;
    QList<Plant> m_plants; // in the list's order, as plantList shows them
    std::unique_ptr<QPrinter> m_previewPrinter;
    QTimer *m_refreshTimer;
    bool m_showing = false; // the sheet's boxes are being filled, not edited
};
