#include "plantcard/picturechange.h"

#include "archive/archive.h"
#include "archive/folderfile.h"
#include "plantcard/picturecopy.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
const QString noteName = QStringLiteral(".silvaro-cambio-immagine");

QString noteFile(const AppFolder &folder) {
    return QDir(folder.imgDir()).filePath(noteName);
}

// One name whatever the picture's: with a prefix or suffix, a long name would pass the
// file system's limit.
QString staged(const AppFolder &folder, qint64 key) {
    return folder.plantDir(key) + QStringLiteral("/.silvaro-nuova-immagine");
}

// The row as read back: the same values read in the transaction and at the next start.
QByteArray rowDigest(const Record &row) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << row;
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}
} // namespace

PictureChange::PictureChange(const AppFolder &folder, qint64 key, qint64 rowid, QString name)
    : m_folder(folder), m_key(key), m_rowid(rowid), m_name(std::move(name)) {}

PictureChange::~PictureChange() {
    if (m_staged)
        abandon();
}

QString PictureChange::stagedPath() const {
    return staged(m_folder, m_key);
}

// The note names the card and the picture first, with no row yet: a kill from then until
// the row is noted leaves a new picture that belongs to no row.
bool PictureChange::stage(const QString &source, QString *error) {
    m_staged = true;
    if (!writeNote("-", error))
        return false;
    if (PictureCopy::copy(source, stagedPath(), error))
        return true;
    // The user knows the picture by its own name, not by the staged copy's.
    error->replace(stagedPath(), m_folder.plantPicture(m_key, m_name));
    return false;
}

bool PictureChange::noteRow(const Record &row, QString *error) {
    return writeNote(rowDigest(row), error);
}

bool PictureChange::writeNote(const QByteArray &digest, QString *error) {
    QSaveFile note(noteFile(m_folder));
    const QByteArray text = QByteArray::number(m_key) + '\n' + QByteArray::number(m_rowid) + '\n' +
                            digest + '\n' + m_name.toUtf8() + '\n';
    if (note.open(QIODevice::WriteOnly) && note.write(text) == text.size() && note.commit())
        return true;
    *error =
        QStringLiteral("Impossibile scrivere \"%1\": %2").arg(note.fileName(), note.errorString());
    return false;
}

bool PictureChange::finish(QString *error) {
    const QString target = m_folder.plantPicture(m_key, m_name);
    if (QFileInfo(m_folder.plantDir(m_key)).isSymLink()) {
        *error = PictureCopy::linkedFolder(m_folder.plantDir(m_key));
        abandon();
        return false;
    }
    // rename() replaces the old picture in one step; QFile::rename would not replace it.
    const bool ok = ::rename(QFile::encodeName(stagedPath()).constData(),
                             QFile::encodeName(target).constData()) == 0;
    if (!ok)
        *error = QStringLiteral("Impossibile scrivere \"%1\": %2")
                     .arg(target, QString::fromLocal8Bit(std::strerror(errno)));
    QFile::remove(noteFile(m_folder));
    m_staged = !ok;
    return ok;
}

void PictureChange::abandon() {
    // A plant folder that is a link leads elsewhere: nothing is removed there.
    if (!QFileInfo(m_folder.plantDir(m_key)).isSymLink())
        QFile::remove(stagedPath());
    QFile::remove(noteFile(m_folder));
    m_staged = false;
}

QString PictureChange::settle(const AppFolder &folder) {
    // A note is a few lines; anything else in its place is moved aside unread.
    constexpr qint64 largestNote = 64 * 1024;
    const QString path = noteFile(folder);
    const FolderFile::State state = FolderFile::check(folder.dir(), path, largestNote);
    if (state == FolderFile::State::Missing)
        return {};
    if (state != FolderFile::State::Usable) {
        const QString aside = path + QStringLiteral(".spostato");
        if (!FolderFile::setAside(path, aside))
            return QStringLiteral("Il file \"%1\" %2 e non è stato letto; non è stato possibile "
                                  "spostarlo.")
                .arg(path, FolderFile::reason(state));
        return QStringLiteral("Il file \"%1\" %2: non è stato letto ed è stato spostato in "
                              "\"%3\".")
            .arg(path, FolderFile::reason(state), aside);
    }
    QFile note(path);
    if (!note.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = note.read(largestNote).split('\n');
    note.close();
    if (lines.size() < 4)
        return {};
    bool keyOk = false, rowOk = false;
    const qint64 key = lines.at(0).toLongLong(&keyOk);
    const qint64 rowid = lines.at(1).toLongLong(&rowOk);
    const QString name = QString::fromUtf8(lines.at(3));
    if (!keyOk || !rowOk || !FolderFile::isPlainName(name))
        return {};
    Archive archive(folder.archivePath());
    const auto row = archive.plant(key, rowid);
    if (!row && archive.isOpen() == false)
        return {}; // the archive cannot tell: leave everything for a later start
    PictureChange change(folder, key, rowid, name);
    QString error;
    if (row && rowDigest(row->fields) == lines.at(2))
        change.finish(&error);
    else
        change.abandon();
    return {};
}
