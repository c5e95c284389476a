#pragma once

#include <QString>

// One running program per archive file: two would overwrite each other's saves. The lock is
// an flock() held for the program's life on the application folder and on the archive file
// itself, so whatever path, link or mount a second program comes by, it meets the same lock;
// nothing is written for it, and a program that dies lets go of it. SQLite's own locks are
// of the other kind (fcntl) and are not disturbed.
class InstanceLock {
public:
    InstanceLock(const QString &appFolder, const QString &archivePath);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    enum class Result { Taken, HeldByAnother, Unavailable };
    // Unavailable: the folder or file would take no lock (some network folders); the
    // program then opens the archive for reading only.
    Result take();
    // What the failure was, for Unavailable.
    QString error() const { return m_error; }
    // A name shared by every program on this application folder, however reached, for the
    // running one to be called through.
    QString channelName() const;

private:
    QString m_folder, m_archive;
    int m_folderFd = -1, m_archiveFd = -1;
    QString m_error;
};
