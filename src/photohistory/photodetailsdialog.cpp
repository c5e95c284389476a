#include "photohistory/photodetailsdialog.h"

#include "ui/platform/messages.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace T {
const QString dataLabel = QStringLiteral("&Data:");
const QString notaLabel = QStringLiteral("&Nota:");
const QString ok = QStringLiteral("OK");
const QString annulla = QStringLiteral("Annulla");
} // namespace T

PhotoDetailsDialog::PhotoDetailsDialog(const QDate &date, const QString &note, QWidget *parent)
    : QDialog(parent) {
    setWindowTitle(Messages::title);
    dateEdit = new QDateEdit(date.isValid() ? date : QDate::currentDate(), this);
    dateEdit->setObjectName(QStringLiteral("dateEdit"));
    dateEdit->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    dateEdit->setCalendarPopup(true);
    dateEdit->setAccessibleName(QStringLiteral("Data"));
    noteEdit = new QLineEdit(note, this);
    noteEdit->setObjectName(QStringLiteral("noteEdit"));
    noteEdit->setAccessibleName(QStringLiteral("Nota"));
    auto *form = new QFormLayout(this);
    form->addRow(T::dataLabel, dateEdit);
    form->addRow(T::notaLabel, noteEdit);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *okButton = buttons->addButton(T::ok, QDialogButtonBox::AcceptRole);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    buttons->addButton(T::annulla, QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

QDate PhotoDetailsDialog::date() const {
    return dateEdit->date();
}

QString PhotoDetailsDialog::note() const {
    return noteEdit->text();
}
