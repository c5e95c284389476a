#pragma once

#include "archive/records.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QRadioButton;
class QSpinBox;

// "Ritmo...": how often a plant is to get a kind of care, set by hand ("ogni N giorni"),
// silenced ("non ricordare"), or learned from its log again. It writes nothing: whoever opens
// it reads the choice once it is accepted.
class RhythmDialog : public QDialog {
    Q_OBJECT
public:
    // `row` is the row the window was opened on; `kinds` the kinds of that plant's log;
    // `rows` the plant's rows, which tell how each kind stands now.
    RhythmDialog(const DueRow &row, const QStringList &kinds, const QList<DueRow> &rows,
                 QWidget *parent = nullptr);

    QString kind() const;
    // The rhythm chosen: days, 0 for "non ricordare", nothing for the learned one.
    std::optional<int> days() const;

    QComboBox *kindBox;
    QRadioButton *learnedButton, *everyButton, *silenceButton;
    QSpinBox *daysBox;
    QDialogButtonBox *buttons;

private:
    void showKind();

    QList<DueRow> m_rows;
};
