#pragma once

#include "archive/appfolder.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

// The folder of safety copies of the archive, backup/ in the application folder: one copy a
// day, dbpiante-yyyy-mm-dd.mdb, of which the newest `kept` stay; and the copies of the
// archive as it was before a restore, dbpiante-yyyy-mm-dd-hhmmss.mdb, which stay for good.
// Copies are made by SQLite itself, so they are consistent even while the file is in use.
class BackupStore {
public:
    static constexpr int kept = 14;

    explicit BackupStore(AppFolder folder);

    QString dir() const;
    QString dailyPath(const QDate &day) const;
    // The daily copies there, newest first: the regular files named as the copy of a real
    // day not after `today`. Any other file, a link or a copy dated later included, is none:
    // never counted, never removed.
    QStringList dailyCopies(const QDate &today) const;

    enum class Daily {
        Made,         // today's copy written, older ones beyond the newest `kept` removed
        AlreadyThere, // today's copy was there
        NotSound,     // the archive is missing or no SQLite file: nothing copied
        FailsCheck,   // the archive fails its check (error() says what it found): no copy
        Failed        // the copy could not be written (error() says why); nothing removed
    };
    Daily makeDailyCopy(const QDate &today);

    // Removes what a restore or a daily copy cut short left: their temporary files, which
    // are never under a copy's own name. Run at startup.
    void settle();

    // Whether a file can take the archive's place: an intact SQLite file whose piante and
    // coltivazione are ordinary tables with all their fields. false with error() naming
    // what is wrong.
    bool checkCandidate(const QString &path);
    // The day a copy stands for: from its name, else the day the file was last written.
    static QDate dayOf(const QString &path);

    // Puts a copy of `path` in the archive's place. First the archive as it is goes to this
    // folder under the time `now` (keptPath()), written under a passing name, synced and
    // checked before it gets its own; a journal the old file left is moved there beside
    // it, never deleted. The switch itself is one rename. false with error() when anything
    // fails; the archive is then as it was.
    bool restore(const QString &path, const QDateTime &now);
    QString keptPath() const { return m_kept; }

    QString error() const { return m_error; }
    // Called now and then while a candidate is checked, which takes a while on a big file;
    // returning false stops the check and the restore.
    void setProgress(std::function<bool()> progress) { m_progress = std::move(progress); }

private:
    bool fail(const QString &why);
    // Fails with the reason of an errno, what was being done and on which file.
    bool failed(int error, const QString &doing, const QString &path);
    void removeOldCopies(const QDate &today);
    bool keepCurrent(const QString &target);

    AppFolder m_folder;
    QString m_error;
    std::function<bool()> m_progress;
    QString m_kept;
};
