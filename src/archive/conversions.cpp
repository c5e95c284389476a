#include "archive/conversions.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

std::optional<double> Conversions::parseNumber(const QString &text, QString *error) {
    // Italian first: points group the thousands by three, the comma is the decimal mark, so
    // "1.500" is fifteen hundred. Then the plain form with a decimal point ("12.5", which is
    // no Italian grouping).
    static const QRegularExpression italian(
        QStringLiteral(R"(^\s*([+-]?)((?:[1-9]\d{0,2}(?:\.\d{3})+)|\d*)(?:,(\d*))?\s*$)"));
    static const QRegularExpression plainForm(
        QStringLiteral(R"(^\s*([+-]?)(\d*)(?:\.(\d*))?\s*$)"));
    auto m = italian.match(text);
    if (!m.hasMatch())
        m = plainForm.match(text);
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty())) {
        if (error)
            *error = QStringLiteral("Valore numerico non valido: \"%1\"").arg(text);
        return std::nullopt;
    }
    const QString whole = m.captured(2).remove(QLatin1Char('.'));
    const QString plain = m.captured(1) + (whole.isEmpty() ? "0" : whole) + "." +
                          (m.captured(3).isEmpty() ? "0" : m.captured(3));
    bool ok = false;
    const double v = QLocale::c().toDouble(plain, &ok);
    if (!ok || !std::isfinite(v)) {
        if (error)
            *error = QStringLiteral("Valore numerico fuori intervallo: \"%1\"").arg(text);
        return std::nullopt;
    }
    return v == 0 ? 0.0 : v; // no negative zero
}

std::optional<QDate> Conversions::parseDate(const QString &text, QString *error) {
    // One or two digits for day and month (the calendars write none of the leading zeros),
    // four for the year.
    const QDate d = QDate::fromString(text.trimmed(), QStringLiteral("d/M/yyyy"));
    if (!d.isValid()) {
        if (error)
            *error = QStringLiteral("Data non valida: \"%1\"").arg(text);
        return std::nullopt;
    }
    return d;
}

QString Conversions::editorDate(const QDate &date) {
    return date.toString("dd/MM/yyyy");
}
QString Conversions::listDate(const QVariant &read) {
    if (read.isNull())
        return {};
    if (read.typeId() == QMetaType::QDate)
        return listDate(read.toDate());
    return read.toString();
}

namespace {
// The date as yyyy, MM and dd between separators, written from its digits: lists and imports
// write tens of thousands of dates. Only for the years 1 to 9999.
QString digitDate(const QDate &date, char16_t separator) {
    const int y = date.year(), m = date.month(), d = date.day();
    const QChar text[10] = {QChar(u'0' + y / 1000),
                            QChar(u'0' + y / 100 % 10),
                            QChar(u'0' + y / 10 % 10),
                            QChar(u'0' + y % 10),
                            QChar(separator),
                            QChar(u'0' + m / 10),
                            QChar(u'0' + m % 10),
                            QChar(separator),
                            QChar(u'0' + d / 10),
                            QChar(u'0' + d % 10)};
    return QString(text, 10);
}

bool fourDigitYear(const QDate &date) {
    return date.isValid() && date.year() >= 1 && date.year() <= 9999;
}
} // namespace

QString Conversions::listDate(const QDate &date) {
    return fourDigitYear(date) ? digitDate(date, u'/') : date.toString("yyyy/MM/dd");
}
QString Conversions::pickedDate(const QDate &date) {
    return QStringLiteral("%1/%2/%3").arg(date.day()).arg(date.month()).arg(date.year());
}

QString Conversions::number(double value) {
    if (value == 0)
        return QStringLiteral("0");
    QString s = QLocale::c().toString(value, 'f', QLocale::FloatingPointShortest);
    s.replace('.', ',');
    return s;
}

QString Conversions::keyText(qint64 key) {
    return QString::number(key);
}

std::optional<qint64> Conversions::parseKey(const QString &text, QString *error) {
    static const QRegularExpression re(QStringLiteral(R"(^\s*[+-]?\d+\s*$)"));
    bool ok = re.match(text).hasMatch();
    const qint64 key = ok ? text.trimmed().toLongLong(&ok) : 0;
    if (!ok) {
        if (error)
            *error = QStringLiteral("Chiave non valida: \"%1\"").arg(text);
        return std::nullopt;
    }
    return key;
}

QDate Conversions::storedDate(const QVariant &value) {
    if (value.isNull())
        return {};
    return QDate::fromString(value.toString().left(10), Qt::ISODate);
}

QString Conversions::isoDate(const QDate &date) {
    return fourDigitYear(date) ? digitDate(date, u'-') : date.toString(Qt::ISODate);
}

QString Conversions::displayText(const QVariant &value) {
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::LongLong: // keys: every digit, as the folder names are written
        return keyText(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return number(value.toDouble());
    case QMetaType::QDate:
        return editorDate(value.toDate());
    default:
        return value.toString();
    }
}

namespace {
int codeOf(QChar c) { return c.unicode(); }
int codeOf(char c) { return static_cast<unsigned char>(c); }

template <typename Text>
QDate isoPrefixOf(const Text &text) {
    if (text.size() < 10 || codeOf(text.at(4)) != '-' || codeOf(text.at(7)) != '-')
        return {};
    int n[10] = {};
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        n[i] = codeOf(text.at(i)) - '0';
        if (n[i] < 0 || n[i] > 9)
            return {};
    }
    return QDate(n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3], n[5] * 10 + n[6], n[8] * 10 + n[9]);
}
} // namespace

QDate Conversions::isoDatePrefix(QStringView text) {
    return isoPrefixOf(text);
}

QDate Conversions::isoDatePrefix(QByteArrayView text) {
    return isoPrefixOf(text);
}
