#pragma once

#include "archive/appfolder.h"

#include <QDateTime>
#include <QString>

#include <functional>

// A writer that died leaves dbpiante.mdb-journal beside the archive, and the next opening
// rolls it back into the file. When the user has meanwhile copied an older archive over the
// file, that journal belongs to another file and rolling it back corrupts this one. Before
// the first opening: keep copies of both, open, check the file, and if it is damaged put
// the copy back and move the journal aside. A journal is never deleted.
class JournalCheck {
public:
    struct Outcome {
        bool found = false;    // a journal was there
        bool sound = true;     // the archive passed the check in the end
        bool restored = false; // the archive was put back as it was and the journal moved
        QString asideFolder;   // where the copies are
        QString message;       // what to tell the user; empty when there was no journal
    };
    // `progress` hears how many of the bytes to copy aside are copied, while it copies.
    static Outcome run(const AppFolder &folder, const QDateTime &now,
                       const std::function<void(qint64 done, qint64 total)> &progress = {});
};
