#pragma once

#include "ui/appcontext.h"
#include "ui/mainlist.h"

#include <QDialog>
#include <memory>

class DueCareModel;
class QDateEdit;
class QLabel;
class QModelIndex;
class QProgressDialog;
class QPushButton;
class QRadioButton;
class QTableView;
class QThread;

// "Cure in scadenza": one row per plant and kind of care with a rhythm (its own, learned from
// its log, or set by hand), most overdue first. The rows are worked out off the window's
// thread, so that a large archive never holds the window up. "Registra" records one event
// for each selected row, all in one go; "Ritmo..." sets a rhythm by hand; a double click or
// Enter shows the plant's events in the main window.
class DueCareDialog : public QDialog {
    Q_OBJECT
public:
    DueCareDialog(AppContext &ctx, MainList &main, QWidget *parent = nullptr);
    ~DueCareDialog() override;
    // Shows the window over `parent`, or brings forward the one already open there.
    static DueCareDialog *open(AppContext &ctx, MainList &main, QWidget *parent);

    // Reads the rows again; listed() follows once they are shown.
    void reload();
    bool isLoading() const { return m_loader != nullptr; }
    void record();
    void chooseRhythm();
    void showPlant(const QModelIndex &index);

    QRadioButton *todayButton, *weekButton, *allButton;
    QLabel *status;
    QTableView *dueList;
    DueCareModel *model;
    QDateEdit *dayEdit;
    QPushButton *recordButton, *rhythmButton, *closeButton;

signals:
    void listed();

private:
    struct Load;
    void loaded();
    void showStatus();
    void refreshMain();

    AppContext &m_ctx;
    MainList &m_main;
    QThread *m_loader = nullptr;
    QThread *m_freeing = nullptr; // lets go of the rows shown before
    std::shared_ptr<Load> m_load;
    QProgressDialog *m_progress = nullptr;
    QString m_failure; // why the last reading failed; empty when it did not
};
