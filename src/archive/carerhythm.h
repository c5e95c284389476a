#pragma once

#include "archive/records.h"

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

// How often a plant gets a kind of care, learned from its own log: the median of the last
// (up to) six intervals between the distinct days of that care. The year has two seasons,
// April to September and October to March; the season of the day the list is made uses the
// intervals that ended in it, or the other season's when it has fewer than three, or all of
// them when neither has three. Fertilising is due only inside the plant's fertilising period
// (its card's r1 to r2).
class CareRhythm {
public:
    static const QString fertilising;         // "Concimazione"
    static constexpr int fewestDays = 3;      // a kind needs this many days for a rhythm
    static constexpr int fewestIntervals = 3; // a season needs this many for its own
    static constexpr int lastIntervals = 6;

    // True from April to September.
    static bool warmSeason(const QDate &day);
    // The middle value; of an even count the mean of the two middle ones, a half rounded up.
    static int median(QList<int> values);
    // The rhythm in days for the season of `on`, from the distinct days of one kind in
    // ascending order; nothing with fewer than three days.
    static std::optional<int> learned(const QList<QDate> &days, const QDate &on);

    // A month as the card holds it: an Italian month name or its first three letters, or
    // its number, any case, blanks around; nothing when it is none of these.
    static std::optional<int> month(const QString &text);
    // Whether `month` falls in the period from r1 to r2, both included; a period may cross
    // the new year. A blank or unreadable end means all year.
    static bool inPeriod(const QString &r1, const QString &r2, int month);

    // Completes a row whose plant and kind are set, for `today`: from the hand-set rhythm
    // when there is one (0 silences it), else from the log. False when it gets no rhythm.
    static bool complete(DueRow &row, const QList<QDate> &days, std::optional<int> byHand,
                         const QString &r1, const QString &r2, const QDate &today);
};
