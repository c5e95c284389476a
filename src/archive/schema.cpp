#include "archive/schema.h"

#include "archive/conversions.h"
#include "archive/fieldtable.h"

#include <QDate>

#include <cmath>

Schema::Kind Schema::fieldKind(const QString &table, const QString &field) {
    if (field == QLatin1String("rowid"))
        return Kind::Key;
    const Field *f = FieldTable::find(table, field);
    return f ? f->kind : Kind::Text;
}

const QStringList &Schema::fieldsOf(const QString &table) {
    static const QStringList plant = FieldTable::columns(FieldTable::plants);
    static const QStringList event = FieldTable::columns(FieldTable::events);
    return table == FieldTable::plants ? plant : event;
}

// What the program writes (yyyy-mm-dd) is read straight from its digits, since lists convert
// tens of thousands of dates and this is several times faster than a parse by format.
QVariant Schema::storedDate(const QVariant &v) {
    if (v.isNull())
        return QVariant();
    const QString s = v.toString();
    if (const QDate d = Conversions::isoDatePrefix(s); d.isValid())
        return d;
    const QDate other = Conversions::storedDate(v);
    return other.isValid() ? QVariant(other) : QVariant(s);
}

QVariant Schema::valueOf(Kind kind, const QVariant &v) {
    if (v.isNull())
        return QVariant();
    switch (kind) {
    case Kind::Key:
        if (const auto key = wholeKey(v))
            return QVariant(*key);
        return v; // as stored: not a key any command can use
    case Kind::Number: {
        bool ok = false;
        const double d = v.toDouble(&ok);
        return ok ? QVariant(d) : QVariant(v.toString());
    }
    case Kind::Date:
        return storedDate(v);
    case Kind::Text:
        break;
    }
    return QVariant(v.toString());
}

std::optional<qint64> Schema::wholeKey(const QVariant &v) {
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return v.toLongLong();
    case QMetaType::Double: {
        // Only a whole double well inside the 64-bit range converts without loss or harm.
        const double d = v.toDouble();
        if (!std::isfinite(d) || std::trunc(d) != d || d < -9.2e18 || d > 9.2e18)
            return std::nullopt;
        return static_cast<qint64>(d);
    }
    default:
        return std::nullopt;
    }
}
