#include "duecare/rhythmdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
namespace T {
const QString title = QStringLiteral("Ritmo della cura");
const QString plant = QStringLiteral("Pianta:");
const QString kind = QStringLiteral("&Intervento:");
const QString learned = QStringLiteral("&Appreso dal registro");
const QString every = QStringLiteral("O&gni");
const QString days = QStringLiteral("giorni");
const QString daysName = QStringLiteral("Giorni");
const QString silence = QStringLiteral("&Non ricordare");
const QString cancel = QStringLiteral("Annulla");
} // namespace T
} // namespace

RhythmDialog::RhythmDialog(const DueRow &row, const QStringList &kinds, const QList<DueRow> &rows,
                           QWidget *parent)
    : QDialog(parent), m_rows(rows) {
    setObjectName("RhythmDialog");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(T::title);

    auto *name =
        new QLabel(QStringList{row.specie, row.identificazione}.join(QStringLiteral(" - ")), this);
    name->setObjectName("plantName");
    name->setAccessibleName(T::plant);
    kindBox = new QComboBox(this);
    kindBox->setObjectName("kindBox");
    kindBox->setEditable(true);
    kindBox->setInsertPolicy(QComboBox::NoInsert);
    kindBox->addItems(kinds);
    if (!kinds.contains(row.intervento))
        kindBox->addItem(row.intervento);
    kindBox->setCurrentText(row.intervento);
    kindBox->setAccessibleName(T::kind.mid(1).chopped(1));

    learnedButton = new QRadioButton(T::learned, this);
    learnedButton->setObjectName("learnedButton");
    everyButton = new QRadioButton(T::every, this);
    everyButton->setObjectName("everyButton");
    daysBox = new QSpinBox(this);
    daysBox->setObjectName("daysBox");
    daysBox->setRange(1, 3650);
    daysBox->setAccessibleName(T::daysName);
    silenceButton = new QRadioButton(T::silence, this);
    silenceButton->setObjectName("silenceButton");
    connect(everyButton, &QRadioButton::toggled, daysBox, &QWidget::setEnabled);

    auto *form = new QFormLayout;
    form->addRow(T::plant, name);
    auto *kindLabel = new QLabel(T::kind, this);
    kindLabel->setBuddy(kindBox);
    form->addRow(kindLabel, kindBox);
    auto *choice = new QGridLayout;
    choice->addWidget(learnedButton, 0, 0, 1, 3);
    choice->addWidget(everyButton, 1, 0);
    choice->addWidget(daysBox, 1, 1);
    choice->addWidget(new QLabel(T::days, this), 1, 2);
    choice->addWidget(silenceButton, 2, 0, 1, 3);
    choice->setColumnStretch(3, 1);

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("buttons");
    buttons->button(QDialogButtonBox::Cancel)->setText(T::cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(choice);
    layout->addWidget(buttons);

    connect(kindBox, &QComboBox::currentTextChanged, this, &RhythmDialog::showKind);
    showKind();
    kindBox->setFocus();
}

// How the kind stands now: set by hand, silenced, or learned (with its learned days offered).
void RhythmDialog::showKind() {
    const DueRow *now = nullptr;
    for (const DueRow &r : m_rows)
        if (r.intervento == kind())
            now = &r;
    daysBox->setValue(now && now->every > 0 ? now->every : 7);
    if (now && now->silenced)
        silenceButton->setChecked(true);
    else if (now && now->byHand)
        everyButton->setChecked(true);
    else
        learnedButton->setChecked(true);
    daysBox->setEnabled(everyButton->isChecked());
}

QString RhythmDialog::kind() const {
    return kindBox->currentText().trimmed();
}

std::optional<int> RhythmDialog::days() const {
    if (silenceButton->isChecked())
        return 0;
    if (everyButton->isChecked())
        return daysBox->value();
    return std::nullopt;
}
