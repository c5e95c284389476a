#pragma once

#include <QDate>
#include <QDialog>

class QDateEdit;
class QLineEdit;

// The date and the note of one photo, to change them.
class PhotoDetailsDialog : public QDialog {
    Q_OBJECT
public:
    PhotoDetailsDialog(const QDate &date, const QString &note, QWidget *parent = nullptr);
    QDate date() const;
    QString note() const;

    QDateEdit *dateEdit = nullptr;
    QLineEdit *noteEdit = nullptr;
};
