#include "ui/platform/printchooser.h"

#include <QPrintDialog>
#include <QPrinter>

bool PrintChooser::choose(QPrinter &printer, QWidget *parent, bool offerSelection) {
    QPrintDialog dialog(&printer, parent);
    // Added to the dialog's own options, never replacing them: without PrintToFile Qt's
    // dialog drops its "print to PDF file" choice, the only one on a machine without
    // printers.
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, offerSelection);
    return dialog.exec() == QDialog::Accepted;
}
