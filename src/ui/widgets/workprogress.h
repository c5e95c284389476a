#pragma once

#include <QProgressDialog>

// The progress dialog of long work: under the program's title, shown only once the work has
// taken half a second, and kept open at its last step until the work ends. Window-modal
// over `parent`; with none, over the whole program.
class WorkProgress : public QProgressDialog {
public:
    WorkProgress(const QString &text, const QString &cancelText, int steps, QWidget *parent);
};
