#include "archive/timestampkey.h"

#include <cmath>

qint64 TimestampKey::roundedSeconds(const QTime &time) {
    const double seconds = time.msecsSinceStartOfDay() / 1000.0;
    return static_cast<qint64>(std::nearbyint(seconds)); // default rounding: half to even
}

qint64 TimestampKey::make(const QDateTime &when) {
    const QDate d = when.date();
    const QString digits = QString::number(d.day()) + QString::number(d.month()) +
                           QString::number(d.year()) +
                           QString::number(roundedSeconds(when.time()));
    return digits.toLongLong();
}
