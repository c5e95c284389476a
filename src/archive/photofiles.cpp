#include "archive/photofiles.h"

#include "archive/folderfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
const QString noteName = QStringLiteral(".silvaro-nuova-foto");
const QString stagedName = QStringLiteral(".silvaro-foto-in-copia");
const QString thumbnails = QStringLiteral(".miniature");

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The photo's name in the plant's folder keeps the kind the source's suffix says.
QString suffixOf(const QString &source) {
    const QString suffix = QFileInfo(source).suffix().toLower();
    const bool plain = !suffix.isEmpty() && suffix.size() <= 8 &&
                       std::all_of(suffix.cbegin(), suffix.cend(), [](QChar c) {
                           return c.isLetterOrNumber() && c.unicode() < 128;
                       });
    return plain ? QStringLiteral(".") + suffix : QString();
}

// Copies to `target`, written through and synced, so that what a later link names is whole.
bool copyWhole(const QString &source, const QString &target, QString *error) {
    QFile in(source);
    if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Impossibile leggere \"%1\": %2")
                     .arg(source, QFileInfo(source).isFile() ? in.errorString()
                                                             : QStringLiteral("non è un file"));
        return false;
    }
    const int fd = ::open(QFile::encodeName(target).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    QByteArray chunk;
    while (ok && !(chunk = in.read(1 << 20)).isEmpty()) {
        qsizetype done = 0;
        while (ok && done < chunk.size()) {
            const ssize_t n = ::write(fd, chunk.constData() + done, size_t(chunk.size() - done));
            ok = n > 0 || (n < 0 && errno == EINTR);
            done += n > 0 ? n : 0;
        }
    }
    const QString why = ok && in.error() != QFile::NoError ? in.errorString() : systemError();
    ok = ok && in.error() == QFile::NoError && ::fsync(fd) == 0;
    if (fd >= 0 && ::close(fd) != 0)
        ok = false;
    if (!ok) {
        *error = QStringLiteral("Impossibile copiare \"%1\": %2").arg(source, why);
        QFile::remove(target);
    }
    return ok;
}
} // namespace

PhotoFiles::PhotoFiles(const AppFolder &folder) : m_folder(folder) {}

QString PhotoFiles::path(const Photo &photo) const {
    return m_folder.plantPicture(photo.id, photo.file);
}

QString PhotoFiles::thumbnailFolder(qint64 plantId) const {
    return m_folder.plantDir(plantId) + QLatin1Char('/') + thumbnails;
}

bool PhotoFiles::writeNote(qint64 plantId, const QString &name, QString *error) const {
    QSaveFile note(QDir(m_folder.imgDir()).filePath(noteName));
    const QByteArray text = QByteArray::number(plantId) + '\n' + name.toUtf8() + '\n';
    if (note.open(QIODevice::WriteOnly) && note.write(text) == text.size() && note.commit())
        return true;
    *error =
        QStringLiteral("Impossibile scrivere \"%1\": %2").arg(note.fileName(), note.errorString());
    return false;
}

std::optional<Photo> PhotoFiles::add(qint64 plantId, const QString &source, const QDate &date,
                                     const QString &nota, QString *error) {
    const QString folder = m_folder.plantDir(plantId);
    if (QFileInfo(folder).isSymLink()) {
        *error = QStringLiteral("La cartella \"%1\" è un collegamento a un'altra cartella: le "
                                "foto non vi vengono scritte")
                     .arg(folder);
        return std::nullopt;
    }
    if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder)) {
        *error = QStringLiteral("Impossibile creare la cartella \"%1\"").arg(folder);
        return std::nullopt;
    }
    const QString staged = folder + QLatin1Char('/') + stagedName;
    const QString note = QDir(m_folder.imgDir()).filePath(noteName);
    const auto undo = [&](const QString &placed) {
        QFile::remove(staged);
        if (!placed.isEmpty())
            QFile::remove(placed);
        QFile::remove(note);
        return std::nullopt;
    };
    if (!writeNote(plantId, QString(), error))
        return std::nullopt;
    if (!copyWhole(source, staged, error))
        return undo({});
    // A name no file has yet; the note names it before the link makes it, and link() never
    // replaces a file, so two photos cannot meet under one name.
    const QString stem = QStringLiteral("foto-%1-")
                             .arg(date.isValid() ? date.toString("yyyyMMdd") : QStringLiteral("0"));
    QString name;
    for (int n = 1; name.isEmpty(); ++n) {
        const QString candidate = stem + QString::number(n) + suffixOf(source);
        if (QFileInfo::exists(folder + QLatin1Char('/') + candidate) ||
            QFileInfo(folder + QLatin1Char('/') + candidate).isSymLink())
            continue;
        if (!writeNote(plantId, candidate, error))
            return undo({});
        if (::link(QFile::encodeName(staged).constData(),
                   QFile::encodeName(folder + QLatin1Char('/') + candidate).constData()) == 0)
            name = candidate;
        else if (errno != EEXIST || n > 10000) {
            *error = QStringLiteral("Impossibile scrivere \"%1\": %2")
                         .arg(folder + QLatin1Char('/') + candidate, systemError());
            return undo({});
        }
    }
    const QString placed = folder + QLatin1Char('/') + name;
    QFile::remove(staged);
    PhotoArchive archive(m_folder.archivePath());
    Photo stored;
    if (!archive.insert({0, plantId, date, name, nota}, {}, &stored)) {
        *error = archive.error();
        return undo(placed);
    }
    QFile::remove(note);
    return stored;
}

bool PhotoFiles::remove(const Photo &photo, QString *error) {
    PhotoArchive archive(m_folder.archivePath());
    if (!archive.remove(photo.idfoto)) {
        *error = archive.error();
        return false;
    }
    removeFiles(photo.id, {photo.file});
    return true;
}

void PhotoFiles::removeFiles(qint64 plantId, const QStringList &files) const {
    // A plant folder that is a link leads elsewhere: nothing is removed there.
    if (QFileInfo(m_folder.plantDir(plantId)).isSymLink())
        return;
    const QDir small(thumbnailFolder(plantId));
    for (const QString &file : files) {
        if (!FolderFile::isPlainName(file))
            continue;
        QFile::remove(m_folder.plantPicture(plantId, file));
        for (const QString &t : small.entryList({file + QStringLiteral(".*")}, QDir::Files))
            QFile::remove(small.filePath(t));
    }
}

void PhotoFiles::settle(const AppFolder &folder) {
    const QString path = QDir(folder.imgDir()).filePath(noteName);
    if (FolderFile::check(folder.dir(), path, 4096) != FolderFile::State::Usable) {
        if (QFileInfo(path).isSymLink())
            QFile::remove(path);
        return;
    }
    QFile note(path);
    if (!note.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = note.read(4096).split('\n');
    note.close();
    bool keyOk = false;
    const qint64 key = lines.value(0).toLongLong(&keyOk);
    const QString name = QString::fromUtf8(lines.value(1));
    if (!keyOk) {
        QFile::remove(path);
        return;
    }
    PhotoFiles files(folder);
    if (QFileInfo(folder.plantDir(key)).isSymLink()) {
        QFile::remove(path);
        return;
    }
    QFile::remove(folder.plantDir(key) + QLatin1Char('/') + stagedName);
    if (FolderFile::isPlainName(name)) {
        const std::optional<bool> named = PhotoArchive(folder.archivePath()).hasFile(key, name);
        if (!named)
            return; // the archive cannot tell: the note waits for a later start
        if (!*named)
            files.removeFiles(key, {name});
    }
    QFile::remove(path);
}
