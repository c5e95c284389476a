#include "archive/backupstore.h"

#include "archive/sqlitefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QThread>

#include <filesystem>
#include <memory>
#include <system_error>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const QString archiveName = QStringLiteral("dbpiante");
const QString journalSuffix = QStringLiteral("-journal");

// The fields the program reads and writes, table by table.
const QStringList plantFields = {
    "id",      "famiglia",  "genere",      "specie",       "identificazione", "habitat",
    "temperatura", "temperaturaid", "r3", "r4",         "r1",              "r2",
    "umdita",  "fioritura", "descrizione", "dataacquisto", "prezzo",          "vaso",
    "eta",     "note",      "img"};
const QStringList eventFields = {"idtrat",      "id",      "intervento", "datatratt",
                                 "temperatura", "umidita", "descrizione"};

const QRegularExpression &dailyName() {
    static const QRegularExpression re(QStringLiteral(R"(^dbpiante-(\d{4})-(\d{2})-(\d{2})\.mdb$)"));
    return re;
}

// Data written by SQLite reaches the disk before the file is renamed into place.
bool flushToDisk(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
#ifdef Q_OS_UNIX
    return ::fsync(f.handle()) == 0;
#else
    return f.flush();
#endif
}

// Replaces `to` by `from` in one step (rename over an existing file).
bool replaceFile(const QString &from, const QString &to, QString *why) {
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), ec);
    if (ec)
        *why = QString::fromLocal8Bit(ec.message());
    return !ec;
}

// A name not yet taken in the folder: the wanted one, else with -2, -3... before .mdb.
QString freeName(const QString &wanted) {
    QString name = wanted;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo::exists(name + journalSuffix); ++n)
        name = wanted.chopped(4) + QStringLiteral("-%1.mdb").arg(n);
    return name;
}

} // namespace

BackupStore::BackupStore(AppFolder folder) : m_folder(std::move(folder)) {}

bool BackupStore::fail(const QString &why) {
    m_error = why;
    return false;
}

QString BackupStore::dir() const { return m_folder.filePath(QStringLiteral("backup")); }

QString BackupStore::dailyPath(const QDate &day) const {
    return QDir(dir()).filePath(archiveName + day.toString(QStringLiteral("-yyyy-MM-dd")) +
                                QStringLiteral(".mdb"));
}

QStringList BackupStore::dailyCopies() const {
    QStringList names;
    for (const QString &name : QDir(dir()).entryList(QDir::Files)) {
        const auto m = dailyName().match(name);
        if (m.hasMatch() &&
            QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()).isValid())
            names << name;
    }
    // The date in the name sorts as text.
    std::sort(names.begin(), names.end(), std::greater<>());
    QStringList paths;
    for (const QString &n : names)
        paths << QDir(dir()).filePath(n);
    return paths;
}

BackupStore::Daily BackupStore::makeDailyCopy(const QDate &today) {
    m_error.clear();
    const QString target = dailyPath(today);
    if (QFileInfo::exists(target))
        return Daily::AlreadyThere;
    SqliteFile archive;
    if (!archive.open(m_folder.archivePath())) {
        m_error = archive.error();
        return Daily::NotSound;
    }
    // The archive's check runs on a connection of its own beside the copy, since both read
    // the whole file; the copy is given its day's name only once the check said "ok".
    QString checkError;
    bool sound = false;
    std::unique_ptr<QThread> checker(QThread::create([&] {
        SqliteFile file;
        if (!file.open(m_folder.archivePath())) {
            checkError = file.error();
            return;
        }
        const QVariant answer = file.value(QStringLiteral("PRAGMA quick_check"));
        sound = answer.toString() == QLatin1String("ok");
        checkError = answer.isValid() ? answer.toString() : file.error();
    }));
    checker->start();
    // Written under a passing name and renamed when complete, so that a copy under its
    // day's name is always whole.
    const QString partial = target + QStringLiteral(".tmp");
    const bool hadFolder = QFileInfo::exists(dir());
    bool written = QDir().mkpath(dir());
    if (!written)
        fail(QStringLiteral("la cartella %1 non può essere creata").arg(QDir::toNativeSeparators(dir())));
    QFile::remove(partial); // left by a start that was cut short
    if (written && !(archive.copyTo(partial) && flushToDisk(partial))) {
        written = false;
        fail(archive.error().isEmpty()
                 ? QStringLiteral("la copia %1 non può essere scritta")
                       .arg(QDir::toNativeSeparators(target))
                 : archive.error());
    }
    checker->wait();
    if (!sound) {
        QFile::remove(partial);
        if (!hadFolder)
            QDir().rmdir(dir()); // only when empty
        m_error = checkError;
        return Daily::NotSound;
    }
    if (!written || !QFile::rename(partial, target)) {
        if (written)
            fail(QStringLiteral("la copia %1 non può essere scritta").arg(QDir::toNativeSeparators(target)));
        QFile::remove(partial);
        return Daily::Failed;
    }
    removeOldCopies(target);
    return Daily::Made;
}

bool BackupStore::removeOldCopies(const QString &keep) {
    const QStringList copies = dailyCopies();
    bool ok = true;
    for (qsizetype i = kept; i < copies.size(); ++i)
        if (copies.at(i) != keep)
            ok = QFile::remove(copies.at(i)) && ok;
    return ok;
}

bool BackupStore::checkCandidate(const QString &path) {
    m_error.clear();
    SqliteFile file;
    if (!file.open(path))
        return fail(file.error());
    const QVariant check = file.value(QStringLiteral("PRAGMA integrity_check"));
    if (!check.isValid())
        return fail(QStringLiteral("il file non si legge (%1)").arg(file.error()));
    if (check.toString() != QLatin1String("ok"))
        return fail(QStringLiteral("il file è danneggiato (%1)").arg(check.toString()));
    for (const auto &[table, fields] : {std::pair{QStringLiteral("piante"), plantFields},
                                        std::pair{QStringLiteral("coltivazione"), eventFields}}) {
        QSqlQuery q(file.db());
        if (!file.run(q, QStringLiteral("SELECT lower(name) FROM pragma_table_info(?)"), {table}))
            return fail(file.error());
        QStringList present;
        while (q.next())
            present << q.value(0).toString();
        if (present.isEmpty())
            return fail(QStringLiteral("manca la tabella %1").arg(table));
        QStringList missing;
        for (const QString &f : fields)
            if (!present.contains(f))
                missing << f;
        if (!missing.isEmpty())
            return fail(QStringLiteral("nella tabella %1 mancano i campi %2")
                            .arg(table, missing.join(QStringLiteral(", "))));
    }
    return true;
}

QDate BackupStore::dayOf(const QString &path) {
    static const QRegularExpression re(QStringLiteral(R"(^dbpiante-(\d{4})-(\d{2})-(\d{2}))"));
    const auto m = re.match(QFileInfo(path).fileName());
    if (m.hasMatch()) {
        const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (d.isValid())
            return d;
    }
    return QFileInfo(path).lastModified().date();
}

// The archive as it is, into `target`. Nothing else has the file open between the program's
// operations, so its bytes are copied as they are when SQLite cannot copy it (a damaged
// file, or one with a journal beside it that belongs to these very bytes).
bool BackupStore::keepCurrent(const QString &target) {
    const QString archive = m_folder.archivePath();
    if (!QFileInfo::exists(archive))
        return true;
    if (!QFileInfo::exists(archive + journalSuffix)) {
        SqliteFile file;
        if (file.open(archive) && file.copyTo(target) && flushToDisk(target))
            return true;
        QFile::remove(target);
    }
    if (QFile::copy(archive, target) && flushToDisk(target))
        return true;
    QFile::remove(target);
    return fail(QStringLiteral("l'archivio attuale non può essere conservato in %1")
                    .arg(QDir::toNativeSeparators(dir())));
}

bool BackupStore::restore(const QString &path, const QDateTime &now) {
    m_kept.clear();
    if (!checkCandidate(path))
        return false;
    if (!QDir().mkpath(dir()))
        return fail(QStringLiteral("la cartella %1 non può essere creata")
                        .arg(QDir::toNativeSeparators(dir())));
    const QString archive = m_folder.archivePath();
    const QString journal = archive + journalSuffix;

    // The chosen copy, made whole beside the archive so that the switch is one rename.
    const QString incoming = archive + QStringLiteral(".tmp");
    QFile::remove(incoming); // left by a restore that was cut short
    {
        SqliteFile source;
        if (!source.open(path) || !source.copyTo(incoming) || !flushToDisk(incoming)) {
            QFile::remove(incoming);
            return fail(source.error().isEmpty()
                            ? QStringLiteral("la copia non può essere scritta in %1")
                                  .arg(QDir::toNativeSeparators(m_folder.dir()))
                            : source.error());
        }
    }

    const QString kept = freeName(QDir(dir()).filePath(
        archiveName + now.toString(QStringLiteral("-yyyy-MM-dd-HHmmss")) + QStringLiteral(".mdb")));
    if (!keepCurrent(kept)) {
        QFile::remove(incoming);
        return false;
    }
    const bool hadJournal = QFileInfo::exists(journal);
    if (hadJournal && !QFile::rename(journal, kept + journalSuffix)) {
        QFile::remove(incoming);
        return fail(QStringLiteral("il file %1 non può essere spostato in %2")
                        .arg(QDir::toNativeSeparators(journal), QDir::toNativeSeparators(dir())));
    }
    QString why;
    if (!replaceFile(incoming, archive, &why)) {
        if (hadJournal)
            QFile::rename(kept + journalSuffix, journal);
        QFile::remove(incoming);
        return fail(why);
    }
    m_kept = QFileInfo::exists(kept) ? kept : QString();
    return true;
}
