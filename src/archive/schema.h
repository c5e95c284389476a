#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

// The two tables' fields, the kind of value each holds, and how a stored value is read back
// (keys as qint64, numbers as double, dates as QDate, texts as QString, NULL as null).
class Schema {
public:
    enum class Kind { Text, Number, Key, Date };

    static Kind fieldKind(const QString &table, const QString &field);
    // Every field of "piante" or "coltivazione", in the tables' order.
    static const QStringList &fieldsOf(const QString &table);

    // A stored date as a QDate; a value another tool stored that is no date stays as its text.
    static QVariant storedDate(const QVariant &v);
    static QVariant valueOf(Kind kind, const QVariant &v);
    // A stored key as a whole number. Another tool may have stored 7.5, a number beyond the
    // 64-bit range or a text: those are no key, and nothing may act on them.
    static std::optional<qint64> wholeKey(const QVariant &v);
};
