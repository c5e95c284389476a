#include "archive/journalcheck.h"

#include "archive/archive.h"
#include "archive/failurereason.h"
#include "archive/folderfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>

namespace {
namespace T {
const QString found = QStringLiteral(
    "All'avvio è stato trovato il file di ripristino dbpiante.mdb-journal, lasciato da una "
    "scrittura interrotta. ");
const QString rolledBack = QStringLiteral(
    "La scrittura interrotta è stata annullata e l'archivio è integro. Le copie dell'archivio "
    "e del file di ripristino, come erano, sono nella cartella \"%1\".");
const QString foreign = QStringLiteral(
    "Il file di ripristino non apparteneva a questo archivio e lo avrebbe danneggiato: "
    "l'archivio è stato lasciato com'era e il file di ripristino è stato spostato nella "
    "cartella \"%1\", con una copia dell'archivio.");
const QString damaged = QStringLiteral(
    "L'archivio risulta danneggiato (%1). Le copie dell'archivio e del file di ripristino, "
    "come erano, sono nella cartella \"%2\".");
const QString noCopy = QStringLiteral(
    "Non è stato possibile metterne da parte una copia (%1): l'archivio è stato aperto come "
    "è.");
const QString cannotWrite = QStringLiteral(
    "L'archivio contiene una scrittura interrotta che si può annullare solo con il permesso di "
    "scrivere nell'archivio e nella sua cartella: l'archivio e il file di ripristino sono stati "
    "lasciati come sono. Ridare il permesso di scrittura e riavviare Silvaro.");
const QString notRolledBack = QStringLiteral(
    "La scrittura interrotta non è stata annullata (%1): l'archivio e il file di ripristino sono "
    "stati lasciati come sono. Le loro copie sono nella cartella \"%2\".");
const QString setAside =
    QStringLiteral("Il file di ripristino %1: non è stato letto ed è stato spostato in \"%2\".");
const QString notSetAside = QStringLiteral(
    "Il file di ripristino %1 e non è stato letto; non è stato possibile spostarlo: l'archivio "
    "è stato lasciato com'è.");
} // namespace T

// Whether this program may finish or undo a save: the archive and its folder writable (the
// journal is removed from the folder when the rollback is done).
bool writable(const QString &archive) {
    const QFileInfo info(archive);
    const QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return (info.permissions() & anyWrite) && info.isWritable() &&
           QFileInfo(info.absolutePath()).isWritable();
}

// A rollback that ran leaves no journal, or an empty one, or one whose header is zeroed.
bool journalWasRolledBack(const QString &journal) {
    QFile f(journal);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = f.read(28);
    return header.isEmpty() || header.count('\0') == header.size();
}

// "ok", or what the check found; the opening itself rolls a journal back.
QString check(const QString &path) {
    Archive archive(path);
    const auto result = archive.integrityCheck();
    return result ? *result : archive.lastError();
}

// A copy that is either complete or not there.
using ChunkCopied = std::function<void(qint64 bytes)>;

bool copyFile(const QString &from, const QString &to, QString *error,
              const ChunkCopied &progress = {}) {
    QFile in(from);
    QSaveFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        *error = FailureReason::told(
            FailureReason::ofFile(in.isOpen() ? static_cast<QFileDevice &>(out) : in),
            in.isOpen() ? QStringLiteral("scrivere") : QStringLiteral("leggere"),
            in.isOpen() ? to : from);
        return false;
    }
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (out.write(chunk) != chunk.size()) {
            *error =
                FailureReason::told(FailureReason::ofFile(out), QStringLiteral("scrivere"), to);
            return false;
        }
        if (progress)
            progress(chunk.size());
    }
    if (in.error() != QFileDevice::NoError || !out.commit()) {
        const bool reading = in.error() != QFileDevice::NoError;
        *error = FailureReason::told(
            FailureReason::ofFile(reading ? static_cast<QFileDevice &>(in) : out),
            reading ? QStringLiteral("leggere") : QStringLiteral("scrivere"), reading ? from : to);
        return false;
    }
    return true;
}
} // namespace

JournalCheck::Outcome JournalCheck::run(const AppFolder &folder, const QDateTime &now,
                                        const std::function<void(qint64, qint64)> &progress) {
    Outcome outcome;
    const QString archive = folder.archivePath();
    const QString journal = archive + QStringLiteral("-journal");
    // A journal holds at most the pages the archive had before the save; one far bigger,
    // like a FIFO or a link out of the folder, is not this archive's journal.
    const qint64 largest = std::max<qint64>(4 * QFileInfo(archive).size(), 64 << 20);
    const FolderFile::State state = FolderFile::check(folder.dir(), journal, largest);
    // An empty journal holds nothing to roll back.
    if (state == FolderFile::State::Missing ||
        (state == FolderFile::State::Usable && QFileInfo(journal).size() == 0))
        return outcome;
    outcome.found = true;

    const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    QString aside = folder.filePath(QStringLiteral("ripristino-") + stamp);
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = folder.filePath(QStringLiteral("ripristino-%1-%2").arg(stamp).arg(n));
    const QString archiveCopy = QDir(aside).filePath(QStringLiteral("dbpiante.mdb"));
    const QString journalCopy = QDir(aside).filePath(QStringLiteral("dbpiante.mdb-journal"));
    if (state != FolderFile::State::Usable) {
        const QString moved = QDir(aside).filePath(QStringLiteral("dbpiante.mdb-journal.spostato"));
        if (QDir().mkdir(aside) && FolderFile::setAside(journal, moved)) {
            outcome.asideFolder = aside;
            outcome.message = T::found + T::setAside.arg(FolderFile::reason(state), aside);
        } else {
            QDir().rmdir(aside);
            outcome.sound = false;
            outcome.message = T::found + T::notSetAside.arg(FolderFile::reason(state));
        }
        return outcome;
    }
    // Nothing is moved or replaced where the save could not be finished anyway.
    if (!writable(archive)) {
        outcome.sound = false;
        outcome.message = T::found + T::cannotWrite;
        return outcome;
    }
    QString error;
    if (!QDir().mkdir(aside)) {
        outcome.message =
            T::found +
            T::noCopy.arg(FailureReason::told(FailureReason::ofErrno(errno),
                                              QStringLiteral("creare la cartella"), aside));
        return outcome;
    }
    // A big archive takes a while to copy: the caller is told how far it is.
    const qint64 total = QFileInfo(archive).size() + QFileInfo(journal).size();
    qint64 done = 0;
    const ChunkCopied step = [&](qint64 bytes) {
        done += bytes;
        if (progress)
            progress(done, total);
    };
    if (!copyFile(archive, archiveCopy, &error, step) ||
        !copyFile(journal, journalCopy, &error, step)) {
        outcome.message = T::found + T::noCopy.arg(error);
        return outcome;
    }
    outcome.asideFolder = aside;

    const QString first = check(archive);
    if (first == QLatin1String("ok")) {
        outcome.message = T::found + T::rolledBack.arg(aside);
        return outcome;
    }
    // Only a journal that was rolled back and left the file damaged belonged to another
    // file; one that could not be rolled back is left for a later start.
    if (!journalWasRolledBack(journal)) {
        outcome.sound = false;
        outcome.message = T::found + T::notRolledBack.arg(first, aside);
        return outcome;
    }
    // The archive as it was before the opening, without the journal that spoiled it. SQLite
    // has usually removed the journal after rolling it back; if not, it goes aside too.
    if (QFileInfo::exists(journal))
        QFile::rename(journal,
                      QDir(aside).filePath(QStringLiteral("dbpiante.mdb-journal.spostato")));
    if (!QFileInfo::exists(journal) && copyFile(archiveCopy, archive, &error)) {
        outcome.restored = true;
        const QString second = check(archive);
        if (second == QLatin1String("ok")) {
            outcome.message = T::found + T::foreign.arg(aside);
            return outcome;
        }
        outcome.sound = false;
        outcome.message = T::found + T::damaged.arg(second, aside);
        return outcome;
    }
    outcome.sound = false;
    outcome.message = T::found + T::damaged.arg(first, aside);
    return outcome;
}
