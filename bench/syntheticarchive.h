#pragma once

#include <QString>
#include <QtGlobal>

// Fills an empty archive with a made-up but lifelike collection: Italian texts, eight event
// kinds (the three the list derives its columns from among them), dates over ten years, some
// plants without events and one plant with a long history spread through the table. A few
// rows look written by other tools (kinds left NULL or empty, blank or NULL texts), and some
// plants have two events on one day. The same seed gives the same archive.
class SyntheticArchive {
public:
    struct Shape {
        int plants = 10000;
        int events = 200000;
        int bigPlantEvents = 5000; // events of the one plant with a long history
        quint32 seed = 20260307;
    };

    struct Made {
        qint64 bigPlantId = 0;
        int plantsWithoutEvents = 0;
        int eventsOfBigPlant = 0;
    };

    // Writes into the archive file at `path` in one transaction; false with `error` set
    // when a statement fails.
    static bool fill(const QString &path, const Shape &shape, Made *made, QString *error);
};
