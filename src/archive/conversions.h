#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QVariant>
#include <optional>

// Every conversion between the texts the user types or sees and the values in the archive.
// Editors show dates as dd/mm/yyyy, lists as yyyy/mm/dd; numbers are shown Italian style.
class Conversions {
public:
    // Optional sign, digits, at most one decimal comma or point, blanks around allowed.
    static std::optional<double> parseNumber(const QString &text, QString *error = nullptr);
    // d/m/yyyy with one or two digits for day and month, a real calendar date.
    static std::optional<QDate> parseDate(const QString &text, QString *error = nullptr);

    static QString editorDate(const QDate &date); // 01/01/1900
    static QString listDate(const QDate &date);   // 1900/01/01
    // A date as read (a QDate, or the stored value that is no date) as the lists show it.
    static QString listDate(const QVariant &read);
    static QString pickedDate(const QDate &date); // 1/1/1900, as a calendar writes it
    static QString number(double value);          // 12, 12,5
    static QString keyText(qint64 key);           // 712202636000
    // A key typed or read back from a list: digits only, within the 64-bit range.
    static std::optional<qint64> parseKey(const QString &text, QString *error = nullptr);

    // Dates are stored as ISO text; anything else stored by another tool reads as invalid.
    static QDate storedDate(const QVariant &value);
    // The date written as yyyy-mm-dd at the start of a stored text, read from its digits
    // (lists and the export read hundreds of thousands); an invalid date when it is none.
    static QDate isoDatePrefix(QStringView text);
    // The same from UTF-8 bytes as SQLite holds them.
    static QDate isoDatePrefix(QByteArrayView text);
    static QString isoDate(const QDate &date);

    // A stored value in the form a text box shows it: text as stored, numbers Italian style,
    // dates dd/mm/yyyy; nothing for NULL.
    static QString displayText(const QVariant &value);
};
