#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One running program per application folder: two would overwrite each other's saves. The
// lock lives in the user's runtime folder under a name made from the application folder's
// path, so a read-only application folder still starts and nothing is made there. A lock
// left by a program that was killed is taken over.
class InstanceLock {
public:
    explicit InstanceLock(const QString &appFolder);

    enum class Result { Taken, HeldByAnother, Unavailable };
    // Unavailable: no lock could be made at all (no runtime folder); the program then runs
    // as it would without the lock.
    Result take();
    QString fileName() const { return m_fileName; }

    // Where the lock of an application folder lives.
    static QString lockPath(const QString &appFolder);

private:
    QString m_fileName;
    std::unique_ptr<QLockFile> m_lock;
};
