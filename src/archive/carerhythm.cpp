#include "archive/carerhythm.h"

#include <QStringList>

#include <algorithm>

const QString CareRhythm::fertilising = QStringLiteral("Concimazione");

int CareRhythm::median(int *values, int count) {
    if (count <= 0)
        return 0;
    std::sort(values, values + count);
    if (count % 2)
        return values[count / 2];
    return (values[count / 2 - 1] + values[count / 2] + 1) / 2;
}

std::optional<int> CareRhythm::learned(const Day *days, qsizetype count, bool warmNow) {
    if (count < fewestDays)
        return std::nullopt;
    // Newest first, up to six of each season; an interval belongs to the day that ended it.
    int same[lastIntervals], other[lastIntervals], all[lastIntervals];
    int sameCount = 0, otherCount = 0, allCount = 0;
    for (qsizetype i = count - 1; i > 0; --i) {
        const int gap = int(days[i].julian - days[i - 1].julian);
        const bool inSame = days[i].warm == warmNow;
        int *season = inSame ? same : other;
        int &n = inSame ? sameCount : otherCount;
        if (n < lastIntervals)
            season[n++] = gap;
        if (allCount < lastIntervals)
            all[allCount++] = gap;
        if (sameCount == lastIntervals && otherCount == lastIntervals)
            break;
    }
    if (sameCount >= fewestIntervals)
        return median(same, sameCount);
    if (otherCount >= fewestIntervals)
        return median(other, otherCount);
    return median(all, allCount);
}

std::optional<int> CareRhythm::month(const QString &text) {
    static const QStringList names = {"gennaio",   "febbraio", "marzo",    "aprile",
                                      "maggio",    "giugno",   "luglio",   "agosto",
                                      "settembre", "ottobre",  "novembre", "dicembre"};
    const QString t = text.trimmed().toLower();
    if (t.isEmpty())
        return std::nullopt;
    bool number = false;
    const int n = t.toInt(&number);
    if (number)
        return n >= 1 && n <= 12 ? std::optional<int>(n) : std::nullopt;
    for (int i = 0; i < names.size(); ++i)
        if (t == names.at(i) || t == QStringView(names.at(i)).left(3))
            return i + 1;
    return std::nullopt;
}

bool CareRhythm::Period::contains(int month) const {
    if (!from || !to)
        return true;
    return *from <= *to ? month >= *from && month <= *to : month >= *from || month <= *to;
}

bool CareRhythm::complete(DueRow &row, const Day *days, qsizetype count,
                          std::optional<int> byHand, const QDate &today) {
    row.last = count > 0 ? QDate::fromJulianDay(days[count - 1].julian) : QDate();
    row.byHand = byHand.has_value();
    row.silenced = byHand && *byHand <= 0;
    row.outOfSeason = false;
    if (row.silenced) {
        row.every = 0;
        row.next = QDate();
        row.late = 0;
        return true;
    }
    const std::optional<int> every = byHand ? byHand : learned(days, count, warmSeason(today));
    if (!every)
        return false;
    row.every = *every;
    // A care set by hand and never done is due now.
    row.next = row.last.isValid() ? row.last.addDays(row.every) : today;
    row.late = int(row.next.daysTo(today));
    return true;
}

bool CareRhythm::outOfSeason(const DueRow &row, const Period &period, const QDate &today) {
    // Fertilising waits for the period: the day it would be done is the later of the two.
    return !row.silenced && row.intervento == fertilising &&
           !period.contains(std::max(row.next, today).month());
}
