#include "archive/backupstore.h"

#include "archive/failurereason.h"
#include "archive/fieldtable.h"
#include "archive/filesteps.h"
#include "archive/schemaupgrade.h"
#include "archive/sqlitefile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <cerrno>
#include <memory>

namespace {

const QString archiveName = QStringLiteral("dbpiante");
const QString journalSuffix = QStringLiteral("-journal");
const QString partialSuffix = QStringLiteral(".tmp");

const QRegularExpression &dailyName() {
    static const QRegularExpression re(
        QStringLiteral(R"(^dbpiante-(\d{4})-(\d{2})-(\d{2})\.mdb$)"));
    return re;
}

// A file written under a passing name, with the journal SQLite may have left beside it.
void removePartial(const QString &partial) {
    FileSteps::remove(partial);
    FileSteps::remove(partial + journalSuffix);
}

// What SQLite's quick check finds in a file: empty when it answers "ok".
QString findings(SqliteFile &file) {
    QSqlQuery q(file.db());
    if (!file.run(q, QStringLiteral("PRAGMA quick_check")))
        return file.error();
    QStringList found;
    while (q.next() && found.size() < 3)
        found << q.value(0).toString().simplified();
    if (q.lastError().isValid())
        return file.failed(q);
    if (found == QStringList{QStringLiteral("ok")})
        return {};
    return FailureReason::damaged(found.join(QStringLiteral("; ")));
}

// A name not yet taken in the folder: the wanted one, else with -2, -3... before .mdb.
QString freeName(const QString &wanted) {
    QString name = wanted;
    for (int n = 2; FileSteps::taken(name) || FileSteps::taken(name + journalSuffix); ++n)
        name = wanted.chopped(4) + QStringLiteral("-%1.mdb").arg(n);
    return name;
}

} // namespace

BackupStore::BackupStore(AppFolder folder) : m_folder(std::move(folder)) {}

bool BackupStore::fail(const QString &why) {
    m_error = why;
    return false;
}

bool BackupStore::failed(int error, const QString &doing, const QString &path) {
    return fail(FailureReason::told(FailureReason::ofErrno(error), doing, path));
}

QString BackupStore::dir() const {
    return m_folder.filePath(QStringLiteral("backup"));
}

QString BackupStore::dailyPath(const QDate &day) const {
    return QDir(dir()).filePath(archiveName + day.toString(QStringLiteral("-yyyy-MM-dd")) +
                                QStringLiteral(".mdb"));
}

QStringList BackupStore::dailyCopies(const QDate &today) const {
    QList<std::pair<QDate, QString>> found;
    const QDir folder(dir());
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden)) {
        const auto m = dailyName().match(name);
        const QDate day = m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(),
                                               m.captured(3).toInt())
                                       : QDate();
        if (day.isValid() && day <= today && FileSteps::isRegularFile(folder.filePath(name)))
            found.append({day, folder.filePath(name)});
    }
    std::sort(found.begin(), found.end(), std::greater<>());
    QStringList paths;
    for (const auto &f : found)
        paths << f.second;
    return paths;
}

BackupStore::Daily BackupStore::makeDailyCopy(const QDate &today) {
    m_error.clear();
    const QString target = dailyPath(today);
    // Anything but a file of its own under the day's name (a link, say) is no copy.
    if (FileSteps::isRegularFile(target))
        return Daily::AlreadyThere;
    SqliteFile archive;
    if (!archive.open(m_folder.archivePath())) {
        m_error = archive.error();
        return Daily::NotSound;
    }
    // The archive's check runs on a connection of its own beside the copy, since both read
    // the whole file; the copy is given its day's name only once the check said "ok".
    QString found;
    std::unique_ptr<QThread> checker(QThread::create([&] {
        SqliteFile file;
        found = file.open(m_folder.archivePath()) ? findings(file) : file.error();
    }));
    checker->start();
    // Written under a passing name, synced and renamed when complete, so that a copy under
    // its day's name is always whole. The rename replaces whatever has the name, a link
    // itself included, and never writes where a link points.
    const QString partial = target + partialSuffix;
    const bool hadFolder = FileSteps::taken(dir());
    bool written = false;
    if (const int error = FileSteps::makeFolder(dir())) {
        failed(error, QStringLiteral("creare la cartella"), dir());
    } else {
        removePartial(partial); // left by a start that was cut short
        if (!archive.copyTo(partial))
            fail(FailureReason::told(archive.error(), QStringLiteral("scrivere"), target));
        else if (const int error = FileSteps::sync(partial))
            failed(error, QStringLiteral("scrivere"), target);
        else
            written = true;
    }
    checker->wait();
    if (!found.isEmpty()) {
        removePartial(partial);
        if (!hadFolder)
            QDir().rmdir(dir()); // only when empty
        m_error = found;
        return Daily::FailsCheck;
    }
    if (!written) {
        removePartial(partial);
        return Daily::Failed;
    }
    if (const int error = FileSteps::replace(partial, target)) {
        removePartial(partial);
        failed(error, QStringLiteral("scrivere"), target);
        return Daily::Failed;
    }
    FileSteps::sync(dir());
    removeOldCopies(today);
    return Daily::Made;
}

void BackupStore::removeOldCopies(const QDate &today) {
    const QStringList copies = dailyCopies(today);
    for (qsizetype i = kept; i < copies.size(); ++i)
        FileSteps::remove(copies.at(i));
}

void BackupStore::settle() {
    removePartial(m_folder.archivePath() + partialSuffix);
    static const QRegularExpression partial(
        QStringLiteral(R"(^dbpiante-[0-9-]+\.mdb\.tmp(-journal)?$)"));
    const QDir folder(dir());
    for (const QString &name : folder.entryList(QDir::Files | QDir::System | QDir::Hidden))
        if (partial.match(name).hasMatch())
            FileSteps::remove(folder.filePath(name));
}

bool BackupStore::checkCandidate(const QString &path) {
    m_error.clear();
    SqliteFile file;
    if (!file.open(path))
        return fail(FailureReason::told(file.error(), QStringLiteral("leggere"), path));
    if (m_progress)
        file.setProgress(m_progress);
    const QVariant check = file.value(QStringLiteral("PRAGMA integrity_check"));
    if (!check.isValid())
        return fail(FailureReason::told(file.error(), QStringLiteral("leggere"), path));
    if (check.toString() != QLatin1String("ok"))
        return fail(FailureReason::damaged(check.toString().simplified()));
    // A copy of an older layout lacks the later fields and tables; the upgrade after the
    // restore adds them. A table it has must be whole.
    const QVariant layout = file.value(QStringLiteral("PRAGMA user_version"));
    for (const QString &table : {FieldTable::plants, FieldTable::events, FieldTable::reminders}) {
        // The fields the table came with; a table younger than the copy's layout may be missing.
        const int since = FieldTable::of(table).first().since;
        const QStringList fields = FieldTable::columns(table, since);
        // An ordinary table with rowids, as the program reads and writes: not a view, not
        // a virtual table, not one WITHOUT ROWID.
        QSqlQuery kind(file.db());
        if (!file.run(kind,
                      QStringLiteral("SELECT type, wr FROM pragma_table_list "
                                     "WHERE schema = 'main' AND name = ? COLLATE NOCASE"),
                      {table}))
            return fail(FailureReason::told(file.error(), QStringLiteral("leggere"), path));
        if (!kind.next()) {
            if (since > layout.toInt())
                continue;
            return fail(QStringLiteral("manca la tabella %1").arg(table));
        }
        if (kind.value(0).toString() == QLatin1String("view"))
            return fail(QStringLiteral("%1 è una vista, non una tabella").arg(table));
        if (kind.value(0).toString() != QLatin1String("table") || kind.value(1).toInt() != 0)
            return fail(
                QStringLiteral("la tabella %1 è di un tipo che Silvaro non conosce").arg(table));
        QSqlQuery q(file.db());
        if (!file.run(q, QStringLiteral("SELECT lower(name) FROM pragma_table_info(?)"), {table}))
            return fail(FailureReason::told(file.error(), QStringLiteral("leggere"), path));
        QStringList present;
        while (q.next())
            present << q.value(0).toString();
        QStringList missing;
        for (const QString &f : fields)
            if (!present.contains(f))
                missing << f;
        if (!missing.isEmpty())
            return fail(QStringLiteral("nella tabella %1 mancano i campi %2")
                            .arg(table, missing.join(QStringLiteral(", "))));
    }
    // A layout from a newer program would be written by this one as if it were its own.
    if (layout.isValid() && layout.toInt() > SchemaUpgrade::latest(SchemaUpgrade::steps()))
        return fail(
            QStringLiteral("il file è stato scritto da una versione più recente di Silvaro"));
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

// The archive as it is, into `target`, written under a passing name, synced and checked
// before it is renamed to its own. Nothing else has the file open between the program's
// operations, so its bytes are copied as they are when SQLite cannot copy it (a damaged
// file, or one with a journal beside it that belongs to these very bytes).
bool BackupStore::keepCurrent(const QString &target) {
    const QString archive = m_folder.archivePath();
    if (!QFileInfo::exists(archive))
        return true;
    const QString partial = target + partialSuffix;
    removePartial(partial);
    bool whole = false;
    if (!QFileInfo::exists(archive + journalSuffix)) {
        SqliteFile file;
        if (file.open(archive) && file.copyTo(partial) && FileSteps::sync(partial) == 0) {
            SqliteFile copy;
            whole = copy.open(partial) && findings(copy).isEmpty();
        }
        if (!whole)
            removePartial(partial);
    }
    if (!whole) {
        if (const int error = FileSteps::copy(archive, partial)) {
            removePartial(partial);
            return failed(error, QStringLiteral("scrivere"), target);
        }
        if (QFileInfo(partial).size() != QFileInfo(archive).size()) {
            removePartial(partial);
            return failed(EIO, QStringLiteral("scrivere"), target);
        }
    }
    if (const int error = FileSteps::replace(partial, target)) {
        removePartial(partial);
        return failed(error, QStringLiteral("scrivere"), target);
    }
    FileSteps::sync(dir());
    return true;
}

bool BackupStore::restore(const QString &path, const QDateTime &now) {
    m_kept.clear();
    if (!checkCandidate(path))
        return false;
    if (const int error = FileSteps::makeFolder(dir()))
        return failed(error, QStringLiteral("creare la cartella"), dir());
    const QString archive = m_folder.archivePath();
    const QString journal = archive + journalSuffix;

    // The chosen copy, made whole beside the archive so that the switch is one rename.
    const QString incoming = archive + partialSuffix;
    const QString writing = QStringLiteral("scrivere la copia nella cartella");
    removePartial(incoming); // left by a restore that was cut short
    {
        SqliteFile source;
        if (!source.open(path))
            return fail(FailureReason::told(source.error(), QStringLiteral("leggere"), path));
        if (!source.copyTo(incoming)) {
            removePartial(incoming);
            return fail(FailureReason::told(source.error(), writing, m_folder.dir()));
        }
        if (const int error = FileSteps::sync(incoming)) {
            removePartial(incoming);
            return failed(error, writing, m_folder.dir());
        }
    }

    const QString kept = freeName(QDir(dir()).filePath(
        archiveName + now.toString(QStringLiteral("-yyyy-MM-dd-HHmmss")) + QStringLiteral(".mdb")));
    if (!keepCurrent(kept)) {
        removePartial(incoming);
        return false;
    }
    const bool hadJournal = FileSteps::taken(journal);
    if (hadJournal) {
        if (const int error = FileSteps::replace(journal, kept + journalSuffix)) {
            removePartial(incoming);
            return failed(error, QStringLiteral("spostare in backup"), journal);
        }
    }
    if (const int error = FileSteps::replace(incoming, archive)) {
        if (hadJournal)
            FileSteps::replace(kept + journalSuffix, journal);
        removePartial(incoming);
        return failed(error, QStringLiteral("sostituire"), archive);
    }
    FileSteps::sync(m_folder.dir());
    m_kept = QFileInfo::exists(kept) ? kept : QString();
    return true;
}
