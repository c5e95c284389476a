#include "archive/instancelock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
enum class Lock { Taken, Held, Failed };

Lock lockFd(int fd) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        return errno == EWOULDBLOCK ? Lock::Held : Lock::Failed;
    }
    return Lock::Taken;
}
} // namespace

InstanceLock::InstanceLock(const QString &appFolder, const QString &archivePath)
    : m_folder(appFolder), m_archive(archivePath) {}

InstanceLock::~InstanceLock() {
    if (m_archiveFd >= 0)
        ::close(m_archiveFd);
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

InstanceLock::Result InstanceLock::take() {
    m_folderFd =
        ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folderFd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return Result::Unavailable;
    }
    Lock folder = lockFd(m_folderFd);
    if (folder == Lock::Failed)
        m_error = QString::fromLocal8Bit(std::strerror(errno));
    if (folder != Lock::Taken)
        return folder == Lock::Held ? Result::HeldByAnother : Result::Unavailable;
    // The archive as reached by its path, links followed: another folder may hold a link to
    // the same file. Without blocking, in case a FIFO stands in its place.
    m_archiveFd =
        ::open(QFile::encodeName(m_archive).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (m_archiveFd < 0 || ::fstat(m_archiveFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (m_archiveFd >= 0)
            ::close(m_archiveFd);
        m_archiveFd = -1;
        return Result::Taken; // no archive file to share: the folder's lock is the whole lock
    }
    const Lock archive = lockFd(m_archiveFd);
    if (archive == Lock::Failed)
        m_error = QString::fromLocal8Bit(std::strerror(errno));
    if (archive != Lock::Taken)
        return archive == Lock::Held ? Result::HeldByAnother : Result::Unavailable;
    return Result::Taken;
}

QString InstanceLock::channelName() const {
    // The folder's identity, not the archive's: a restore or a conversion gives the archive
    // a new file under the same name while the program runs.
    struct stat st {};
    if (::stat(QFile::encodeName(m_folder).constData(), &st) != 0)
        return {};
    return QStringLiteral("silvaro-%1-%2-%3")
        .arg(::getuid())
        .arg(quint64(st.st_dev))
        .arg(quint64(st.st_ino));
}
