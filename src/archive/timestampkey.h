#pragma once

#include <QDateTime>

// Keys are made from the clock: day, month, four-digit year and the seconds since midnight
// rounded half to even, written one after the other ("7", "12", "2026", "36000").
class TimestampKey {
public:
    static qint64 make(const QDateTime &when);
    static qint64 roundedSeconds(const QTime &time);
};
