#pragma once

#include <QString>
#include <functional>

// What a conversion did, or why it did nothing.
struct JetConversionResult {
    bool ok = false;
    int plants = 0;
    int events = 0;
    int renumberedEvents = 0; // later twins of an event key, given the next free number
    int timesDropped = 0;     // dates that came with a time of day, kept as the day alone
    QString error;            // why it failed, when it did
};

// Carries an Access-format dbpiante.mdb over into the program's own archive. The new archive
// is written beside it under a temporary name, checked value by value against what was read,
// made durable, and only then put in place, with the original kept under a new name. A crash
// at any moment leaves either the original untouched as dbpiante.mdb, or the new archive and
// the kept original; nothing is ever overwritten. The original is only ever read.
class JetConversion {
public:
    explicit JetConversion(QString folder);

    // The application folder's dbpiante.mdb is an Access file.
    bool archiveIsJet() const;
    // The name the original will be kept under: dbpiante-access.mdb, else the first free of
    // dbpiante-access-2.mdb, -3, ...
    QString keptName() const;
    // Removes what an interrupted conversion left behind. Safe to call at every start.
    void cleanUp() const;

    // Converts, keeping the original as `kept` (a name in the folder; keptName() when empty).
    JetConversionResult run(const QString &kept = QString()) const;

    QString temporaryPath() const;

private:
    QString m_folder;
};
