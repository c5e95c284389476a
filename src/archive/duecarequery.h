#pragma once

#include "archive/records.h"

#include <QDate>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QSqlDatabase;

// The statements behind the care that is due: every plant's log walked once, by plant, kind
// and day, with the plants' names and fertilising periods and the rhythms set by hand, all
// under one read lock (a large archive in two halves at once, the second on a connection of
// its own). An archive of a layout without promemoria has no rhythm set by hand.
class DueCareQuery {
public:
    // Every plant and kind with a rhythm, learned or set by hand, for `today`, in no
    // particular order. `keepGoing` is asked now and then, from two threads at once on a large
    // archive; false stops the reading, which then gives nothing with an empty `error`.
    static std::optional<QList<DueRow>> rows(QSqlDatabase &db, const QDate &today, QString *error,
                                             const std::function<bool()> &keepGoing = {});
    // Whether the archive has the table of rhythms set by hand.
    static std::optional<bool> hasReminders(const QSqlDatabase &db, QString *error);
};
