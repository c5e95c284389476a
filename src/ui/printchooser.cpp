#include "ui/printchooser.h"

#include <QPrintDialog>
#include <QPrinter>

bool PrintChooser::choose(QPrinter &printer, QWidget *parent, bool offerSelection) {
    QPrintDialog dialog(&printer, parent);
    QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintPageRange;
    if (offerSelection)
        options |= QAbstractPrintDialog::PrintSelection;
    dialog.setOptions(options);
    return dialog.exec() == QDialog::Accepted;
}
