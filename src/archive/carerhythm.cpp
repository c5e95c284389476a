#include "archive/carerhythm.h"

#include <QStringList>

#include <algorithm>

const QString CareRhythm::fertilising = QStringLiteral("Concimazione");

bool CareRhythm::warmSeason(const QDate &day) {
    return day.month() >= 4 && day.month() <= 9;
}

int CareRhythm::median(QList<int> values) {
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    if (n == 0)
        return 0;
    if (n % 2)
        return values.at(n / 2);
    return (values.at(n / 2 - 1) + values.at(n / 2) + 1) / 2;
}

std::optional<int> CareRhythm::learned(const QList<QDate> &days, const QDate &on) {
    if (days.size() < fewestDays)
        return std::nullopt;
    // Newest first, up to six of each season; an interval belongs to the day that ended it.
    QList<int> same, other, all;
    const bool warm = warmSeason(on);
    for (qsizetype i = days.size() - 1; i > 0; --i) {
        const int gap = int(days.at(i - 1).daysTo(days.at(i)));
        QList<int> &season = warmSeason(days.at(i)) == warm ? same : other;
        if (season.size() < lastIntervals)
            season << gap;
        if (all.size() < lastIntervals)
            all << gap;
        if (same.size() == lastIntervals && other.size() == lastIntervals)
            break;
    }
    if (same.size() >= fewestIntervals)
        return median(same);
    if (other.size() >= fewestIntervals)
        return median(other);
    return median(all);
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

bool CareRhythm::inPeriod(const QString &r1, const QString &r2, int month) {
    const auto from = CareRhythm::month(r1), to = CareRhythm::month(r2);
    if (!from || !to)
        return true;
    return *from <= *to ? month >= *from && month <= *to : month >= *from || month <= *to;
}

bool CareRhythm::complete(DueRow &row, const QList<QDate> &days, std::optional<int> byHand,
                          const QString &r1, const QString &r2, const QDate &today) {
    row.last = days.isEmpty() ? QDate() : days.last();
    row.byHand = byHand.has_value();
    row.silenced = byHand && *byHand <= 0;
    if (row.silenced) {
        row.every = 0;
        row.next = QDate();
        row.late = 0;
        row.outOfSeason = false;
        return true;
    }
    const std::optional<int> every = byHand ? byHand : learned(days, today);
    if (!every)
        return false;
    row.every = *every;
    // A care set by hand and never done is due now.
    row.next = row.last.isValid() ? row.last.addDays(row.every) : today;
    row.late = int(row.next.daysTo(today));
    // Fertilising waits for the period: the day it would be done is the later of the two.
    row.outOfSeason =
        row.intervento == fertilising && !inPeriod(r1, r2, std::max(row.next, today).month());
    return true;
}
