#pragma once

class QPrinter;
class QWidget;

// The system print dialog: lets the user choose a printer (or a PDF file) for `printer`.
// False when the user cancelled.
class PrintChooser {
public:
    virtual ~PrintChooser() = default;
    virtual bool choose(QPrinter &printer, QWidget *parent, bool offerSelection);
};
