#pragma once

#include <QString>

class ConversionProgress;

// What a conversion did, or why it did nothing.
struct JetConversionResult {
    bool ok = false;
    int plants = 0;
    int events = 0;
    int renumberedEvents = 0; // later twins of an event key, given the next free number
    int timesDropped = 0;     // dates that came with a time of day, kept as the day alone
    bool cancelled = false;   // stopped on request: nothing was changed
    QString error;            // why it failed, when it did
};

// Carries an Access-format dbpiante.mdb over into the program's own archive. The new archive
// is written beside it under a temporary name, checked value by value against what was read,
// made durable, and only then put in place, with the original kept under a new name. A crash
// at any moment leaves either the original untouched as dbpiante.mdb, or the new archive and
// the kept original; nothing is ever overwritten. The original is only ever read, by a child
// process (see JetReader). Where the folder refuses a second name for a file (FAT, exFAT),
// the original is kept as a copy, checked byte for byte before it takes the kept name.
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
    // `progress`, when given, is told how far it is and may stop it until the original is
    // about to be kept.
    JetConversionResult run(const QString &kept = QString(),
                            ConversionProgress *progress = nullptr) const;

    QString temporaryPath() const;

    // How the original gets its second name: link(2), unless a test stands in for a folder
    // that refuses it.
    using HardLink = int (*)(const char *from, const char *to);
    void setHardLink(HardLink link) { m_link = link; }

private:
    bool keepOriginal(const QString &source, const QString &kept, QString *error) const;

    QString m_folder;
    HardLink m_link;
};
