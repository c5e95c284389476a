#pragma once

#include "archive/records.h"

#include <QDate>
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

    // One distinct day of a kind of care: its Julian day number and its season.
    struct Day {
        qint64 julian = 0;
        bool warm = false;
    };

    // The months from r1 to r2 as the card holds them; a missing end means all year.
    struct Period {
        std::optional<int> from, to;
        // Whether `month` falls in the period, both ends included; it may cross the new year.
        bool contains(int month) const;
    };

    // True from April to September.
    static bool warmSeason(int month) { return month >= 4 && month <= 9; }
    static bool warmSeason(const QDate &day) { return warmSeason(day.month()); }
    // The middle value of `count` values (which it sorts in place); of an even count the
    // mean of the two middle ones, a half rounded up.
    static int median(int *values, int count);
    // The rhythm in days for a day of the season `warmNow`, from the distinct days of one
    // kind in ascending order; nothing with fewer than three days.
    static std::optional<int> learned(const Day *days, qsizetype count, bool warmNow);

    // A month as the card holds it: an Italian month name or its first three letters, or
    // its number, any case, blanks around; nothing when it is none of these.
    static std::optional<int> month(const QString &text);
    // The period from r1 to r2; a blank or unreadable end means all year.
    static Period period(const QString &r1, const QString &r2) { return {month(r1), month(r2)}; }

    // Completes a row whose plant and kind are set, for `today`: from the hand-set rhythm
    // when there is one (0 silences it), else from the log (`count` distinct days in
    // ascending order). False when it gets no rhythm. Its season is seasonOf()'s.
    static bool complete(DueRow &row, const Day *days, qsizetype count, std::optional<int> byHand,
                         const QDate &today);
    // Whether a completed row is fertilising that falls outside the plant's period.
    static bool outOfSeason(const DueRow &row, const Period &period, const QDate &today);
};
