#include "archive/filesteps.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray name(const QString &path) {
    return QFile::encodeName(path);
}

bool statOf(const QString &path, struct stat *st) {
    return ::lstat(name(path), st) == 0;
}

int done(bool ok) {
    return ok ? 0 : errno;
}

// Writes all of `size` bytes, through the short writes the system may make.
bool writeAll(int fd, const char *data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

bool FileSteps::taken(const QString &path) {
    struct stat st;
    return statOf(path, &st);
}

bool FileSteps::isRegularFile(const QString &path) {
    struct stat st;
    return statOf(path, &st) && S_ISREG(st.st_mode);
}

bool FileSteps::isFolder(const QString &path) {
    struct stat st;
    return statOf(path, &st) && S_ISDIR(st.st_mode);
}

int FileSteps::makeFolder(const QString &path) {
    if (::mkdir(name(path), 0777) == 0)
        return 0;
    const int error = errno;
    return error == EEXIST && isFolder(path) ? 0 : error;
}

int FileSteps::sync(const QString &path) {
    const int fd = ::open(name(path), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = done(::fsync(fd) == 0);
    ::close(fd);
    return error;
}

int FileSteps::replace(const QString &from, const QString &to) {
    return done(::rename(name(from), name(to)) == 0);
}

int FileSteps::remove(const QString &path) {
    if (::unlink(name(path)) == 0 || errno == ENOENT)
        return 0;
    return errno;
}

int FileSteps::makeFreshFolder(const QString &prefix, QString *made) {
    QByteArray pattern = name(prefix) + "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return errno;
    *made = QFile::decodeName(pattern);
    return 0;
}

int FileSteps::create(const QString &path, int *fd) {
    *fd = ::open(name(path), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return done(*fd >= 0);
}

int FileSteps::write(int fd, const QByteArray &bytes) {
    return done(writeAll(fd, bytes.constData(), bytes.size()));
}

int FileSteps::finish(int fd) {
    int error = done(::fsync(fd) == 0);
    if (::close(fd) != 0 && !error)
        error = errno;
    return error;
}

int FileSteps::copy(const QString &from, const QString &to) {
    const int in = ::open(name(from), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    int out = -1;
    if (const int error = create(to, &out)) {
        ::close(in);
        return error;
    }
    int error = 0;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (n > 0 && !writeAll(out, buffer, n))) {
            error = errno;
            break;
        }
        if (n == 0)
            break;
    }
    const int finished = finish(out);
    ::close(in);
    if (!error)
        error = finished;
    return error;
}
