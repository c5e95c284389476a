#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The archive's layout is numbered by SQLite's user_version: 0 is the two tables piante and
// coltivazione; 1 adds promemoria, the care rhythms set by hand; 2 adds foto, the dated
// photos of each plant. A program that adds to the layout brings a step to its new number;
// the steps from the archive's number to the program's run at startup, after the day's
// safety copy exists, all in one transaction that also sets the new number, so the file has
// either its old layout or the new one. An archive numbered beyond what the program knows
// was written by a newer program: it is only read.
class SchemaUpgrade {
public:
    struct Step {
        int to;                 // the layout this step makes
        QStringList statements; // run in order; none takes values
    };
    // The program's steps, in order.
    static const QList<Step> &steps();
    // The highest layout a list of steps reaches (0 with none).
    static int latest(const QList<Step> &steps);

    enum class State { Current, Older, Newer, Unreadable };
    // Where the archive stands against the steps; its number in *version.
    static State stateOf(const QString &archive, const QList<Step> &steps, int *version,
                         QString *error);
    // Brings the archive to latest(steps). False with the reason, the file as it was.
    static bool run(const QString &archive, const QList<Step> &steps, QString *error);
};
