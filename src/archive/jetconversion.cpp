#include "archive/jetconversion.h"

#include "archive/conversionprogress.h"
#include "archive/failurereason.h"
#include "archive/fieldtable.h"
#include "archive/jetreader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QString archiveName = QStringLiteral("dbpiante.mdb");
const QString temporaryName = QStringLiteral("dbpiante-conversione.tmp");
// The original's copy, where the folder refuses a second name, until it is whole.
const QString copyName = QStringLiteral("dbpiante-originale.tmp");

using Carried = Schema::Kind;

// A table as the conversion carries it over: the fields of the field table. An Access-format
// file has only the fields of the first layout; the later ones start empty.
struct Table {
    QString name;
    QList<std::pair<QString, Carried>> fields;
    QList<bool> required;
};

Table tableOf(const QString &name) {
    Table t{name, {}, {}};
    for (const Field &f : FieldTable::of(name)) {
        t.fields.append({f.column, f.kind});
        t.required.append(f.since == 0);
    }
    return t;
}

// Made on first use: the field table is another file's static.
const Table &plantTable() {
    static const Table t = tableOf(FieldTable::plants);
    return t;
}
const Table &eventTable() {
    static const Table t = tableOf(FieldTable::events);
    return t;
}

JetReader::Table readerTable(const Table &t) {
    JetReader::Table r{t.name, {}};
    for (qsizetype i = 0; i < t.fields.size(); ++i) {
        const Carried field = t.fields.at(i).second;
        r.columns.append({t.fields.at(i).first,
                          field == Carried::Text   ? JetReader::Kind::Text
                          : field == Carried::Date ? JetReader::Kind::Date
                                                   : JetReader::Kind::Number,
                          t.required.at(i)});
    }
    return r;
}

QString keyText(qint64 key) {
    return QString::number(key);
}

bool syncPath(const QString &path, bool directory, QString *error) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) {
        *error = FailureReason::ofErrno(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

// A file descriptor that closes itself.
struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
};

bool readWhole(int fd, char *buffer, size_t size, ssize_t *got) {
    *got = 0;
    while (size_t(*got) < size) {
        const ssize_t n = ::read(fd, buffer + *got, size - size_t(*got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        *got += n;
    }
    return true;
}

bool writeWhole(int fd, const char *buffer, size_t size) {
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// Whether two files hold the same bytes; errno tells when one could not be read.
bool sameBytes(const QString &a, const QString &b) {
    Fd fa(::open(QFile::encodeName(a).constData(), O_RDONLY | O_CLOEXEC));
    Fd fb(::open(QFile::encodeName(b).constData(), O_RDONLY | O_CLOEXEC));
    if (fa.fd < 0 || fb.fd < 0)
        return false;
    constexpr size_t chunk = 1 << 20;
    std::vector<char> x(chunk), y(chunk);
    for (;;) {
        ssize_t nx = 0, ny = 0;
        if (!readWhole(fa.fd, x.data(), chunk, &nx) || !readWhole(fb.fd, y.data(), chunk, &ny))
            return false;
        if (nx != ny || std::memcmp(x.data(), y.data(), size_t(nx)) != 0) {
            errno = EIO;
            return false;
        }
        if (nx == 0)
            return true;
    }
}

// Renames without ever replacing a file already under the new name.
bool renameNoReplace(const QString &from, const QString &to) {
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without that guarantee: the name is looked at just before.
    struct stat st {};
    if (::lstat(t.constData(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(f.constData(), t.constData()) == 0;
}

// The original's bytes under `passing`, written whole and made durable.
bool copyDurably(const QString &source, const QString &passing) {
    Fd in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0)
        return false;
    struct stat st {};
    if (::fstat(in.fd, &st) != 0)
        return false;
    Fd out(::open(QFile::encodeName(passing).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                  st.st_mode & 0777));
    if (out.fd < 0)
        return false;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        ssize_t n = 0;
        if (!readWhole(in.fd, buffer.data(), buffer.size(), &n))
            return false;
        if (n == 0)
            break;
        if (!writeWhole(out.fd, buffer.data(), size_t(n)))
            return false;
    }
    if (::fsync(out.fd) != 0)
        return false;
    const int fd = out.fd;
    out.fd = -1;
    return ::close(fd) == 0;
}

// Folders that give a file no second name: FAT and exFAT say EPERM, others say so plainly.
bool linksRefused(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK;
}

// The new archive is written and read back through SQLite itself: tens of thousands of rows
// go in and come back without a detour through variants for every cell.
struct Db {
    sqlite3 *h = nullptr;
    Db(const QString &path, int flags) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &h, flags, nullptr) != SQLITE_OK &&
            !h)
            h = nullptr;
    }
    ~Db() { sqlite3_close(h); }
    QString error() const {
        return h ? FailureReason::ofSqlite(sqlite3_extended_errcode(h), sqlite3_system_errno(h),
                                           QString::fromUtf8(sqlite3_errmsg(h)))
                 : FailureReason::ofErrno(ENOMEM);
    }
    bool exec(const QString &sql) {
        return sqlite3_exec(h, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
};

struct Statement {
    sqlite3_stmt *s = nullptr;
    Statement(Db &db, const QString &sql) {
        sqlite3_prepare_v2(db.h, sql.toUtf8().constData(), -1, &s, nullptr);
    }
    ~Statement() { sqlite3_finalize(s); }
};

// yyyy-mm-dd, as the program stores dates; tens of thousands, so without a format parser.
QString isoDay(const QDate &d) {
    int y = 0, m = 0, day = 0;
    d.getDate(&y, &m, &day);
    if (y < 1 || y > 9999)
        return d.toString(Qt::ISODate);
    const char16_t text[10] = {char16_t(u'0' + y / 1000),
                               char16_t(u'0' + y / 100 % 10),
                               char16_t(u'0' + y / 10 % 10),
                               char16_t(u'0' + y % 10),
                               u'-',
                               char16_t(u'0' + m / 10),
                               char16_t(u'0' + m % 10),
                               u'-',
                               char16_t(u'0' + day / 10),
                               char16_t(u'0' + day % 10)};
    return QString(reinterpret_cast<const QChar *>(text), 10);
}

// The values as they are to be stored: keys as whole numbers, dates as yyyy-mm-dd.
struct Converted {
    QList<QVariantList> rows;
    int timesDropped = 0;
};

std::optional<Converted> convert(const Table &t, QList<QVariantList> rows, QString *error) {
    Converted out;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        QVariantList &row = rows[r];
        for (qsizetype c = 0; c < row.size(); ++c) {
            QVariant &v = row[c];
            const auto &[name, field] = t.fields.at(c);
            if (field == Carried::Key) {
                const double d = v.isNull() ? NAN : v.toDouble();
                if (!(std::fabs(d) < 9007199254740992.0) || std::trunc(d) != d) {
                    *error = v.isNull()
                                 ? QStringLiteral("una riga della tabella %1 non ha il campo %2")
                                       .arg(t.name, name)
                                 : QStringLiteral("il campo %1 della tabella %2 ha un valore "
                                                  "che non è un numero intero (%3)")
                                       .arg(name, t.name, QString::number(d, 'g', 17));
                    return std::nullopt;
                }
                v = qint64(d);
            } else if (field == Carried::Date && !v.isNull()) {
                QDate day;
                if (v.typeId() == QMetaType::QDateTime) {
                    day = v.toDateTime().date();
                    ++out.timesDropped;
                } else {
                    day = v.toDate();
                }
                v = isoDay(day);
            }
        }
    }
    out.rows = std::move(rows);
    return out;
}

// Exactly what was meant to be stored: same kind of value, same value.
bool sameValue(sqlite3_stmt *q, int column, const QVariant &wanted) {
    const int type = sqlite3_column_type(q, column);
    if (wanted.isNull())
        return type == SQLITE_NULL;
    switch (wanted.typeId()) {
    case QMetaType::LongLong:
        return type == SQLITE_INTEGER && sqlite3_column_int64(q, column) == wanted.toLongLong();
    case QMetaType::Double:
        return type == SQLITE_FLOAT && sqlite3_column_double(q, column) == wanted.toDouble();
    default: {
        if (type != SQLITE_TEXT)
            return false;
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(q, column));
        const int bytes = sqlite3_column_bytes(q, column);
        return QAnyStringView::equal(QUtf8StringView(text, bytes),
                                     *static_cast<const QString *>(wanted.constData()));
    }
    }
}

QString fieldList(const Table &t) {
    QStringList names;
    for (const auto &f : t.fields)
        names << f.first;
    return names.join(QLatin1Char(','));
}

// Told every few thousand rows how many are done; false stops.
using Step = std::function<bool(qsizetype)>;
constexpr qsizetype stepRows = 4096;

const QString cannotWrite = QStringLiteral("impossibile scrivere il nuovo archivio perché %1");
const QString cannotReread = QStringLiteral("impossibile rileggere il nuovo archivio perché %1");

bool write(Db &db, const Table &t, const QList<QVariantList> &rows, const Step &step,
           QString *error) {
    Statement q(db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(t.name, fieldList(t), QStringList(t.fields.size(), "?").join(',')));
    if (!q.s) {
        *error = cannotWrite.arg(db.error());
        return false;
    }
    QList<QByteArray> utf8(t.fields.size());
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (r % stepRows == 0 && !step(r))
            return false;
        const QVariantList &row = rows.at(r);
        for (int i = 0; i < row.size(); ++i) {
            const QVariant &v = row.at(i);
            if (v.isNull()) {
                sqlite3_bind_null(q.s, i + 1);
            } else if (v.typeId() == QMetaType::LongLong) {
                sqlite3_bind_int64(q.s, i + 1, v.toLongLong());
            } else if (v.typeId() == QMetaType::Double) {
                sqlite3_bind_double(q.s, i + 1, v.toDouble());
            } else {
                // A zero-length text is a text, not NULL: it needs a pointer that is not null.
                utf8[i] = static_cast<const QString *>(v.constData())->toUtf8();
                sqlite3_bind_text(q.s, i + 1, utf8[i].isEmpty() ? "" : utf8[i].constData(),
                                  int(utf8[i].size()), SQLITE_STATIC);
            }
        }
        if (sqlite3_step(q.s) != SQLITE_DONE) {
            *error = cannotWrite.arg(db.error());
            return false;
        }
        sqlite3_reset(q.s);
    }
    return true;
}

bool verify(Db &db, const Table &t, const QList<QVariantList> &rows, const Step &step,
            QString *error) {
    Statement q(db, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(fieldList(t), t.name));
    if (!q.s) {
        *error = cannotReread.arg(db.error());
        return false;
    }
    qsizetype r = 0;
    int rc = SQLITE_ROW;
    for (; r < rows.size() && (rc = sqlite3_step(q.s)) == SQLITE_ROW; ++r) {
        if (r % stepRows == 0 && !step(r))
            return false;
        for (int c = 0; c < t.fields.size(); ++c)
            if (!sameValue(q.s, c, rows.at(r).at(c))) {
                *error = QStringLiteral("il nuovo archivio non ha riletto il campo %1 della "
                                        "tabella %2 com'era (riga %3)")
                             .arg(t.fields.at(c).first, t.name)
                             .arg(r + 1);
                return false;
            }
    }
    if (rc == SQLITE_ROW)
        rc = sqlite3_step(q.s);
    if (rc != SQLITE_DONE) {
        *error = rc == SQLITE_ROW
                     ? QStringLiteral("il nuovo archivio ha più righe della tabella %1").arg(t.name)
                     : cannotReread.arg(db.error());
        return false;
    }
    if (r != rows.size()) {
        *error = QStringLiteral("il nuovo archivio ha meno righe della tabella %1").arg(t.name);
        return false;
    }
    return true;
}

} // namespace

JetConversion::JetConversion(QString folder) : m_folder(std::move(folder)), m_link(::link) {}

QString JetConversion::temporaryPath() const {
    return QDir(m_folder).filePath(temporaryName);
}

bool JetConversion::archiveIsJet() const {
    return JetReader::looksLikeJet(QDir(m_folder).filePath(archiveName));
}

QString JetConversion::keptName() const {
    const QDir dir(m_folder);
    QString name = QStringLiteral("dbpiante-access.mdb");
    for (int n = 2;
         QFileInfo::exists(dir.filePath(name)) || QFileInfo(dir.filePath(name)).isSymLink(); ++n)
        name = QStringLiteral("dbpiante-access-%1.mdb").arg(n);
    return name;
}

void JetConversion::cleanUp() const {
    const QDir dir(m_folder);
    const QString temp = temporaryPath();
    QFile::remove(dir.filePath(copyName));
    if (!QFileInfo::exists(temp))
        return;
    // Stopped after the original got its second name but before the new archive took the
    // first: that second name goes, the original stays dbpiante.mdb. The second name is the
    // same file where the folder took a hard link, a copy of the same bytes where it did not.
    const QString archive = dir.filePath(archiveName);
    struct stat original {};
    if (::stat(QFile::encodeName(archive).constData(), &original) == 0) {
        const QStringList kept =
            dir.entryList({QStringLiteral("dbpiante-access*.mdb")}, QDir::Files);
        for (const QString &name : kept) {
            const QByteArray path = QFile::encodeName(dir.filePath(name));
            struct stat other {};
            if (::lstat(path.constData(), &other) != 0 || !S_ISREG(other.st_mode))
                continue;
            const bool sameFile =
                other.st_dev == original.st_dev && other.st_ino == original.st_ino;
            if (sameFile ||
                (other.st_size == original.st_size && sameBytes(archive, dir.filePath(name))))
                ::unlink(path.constData());
        }
    }
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(temp + QLatin1String(suffix));
}

// The original takes its second name, never over an existing file: a hard link where the
// folder allows one, else a copy that is whole and checked before it gets the name.
bool JetConversion::keepOriginal(const QString &source, const QString &kept, QString *error) const {
    const QString name = QFileInfo(kept).fileName();
    auto refused = [&](int e) {
        *error = QStringLiteral("impossibile conservare l'originale come %1 perché %2")
                     .arg(name, FailureReason::ofErrno(e));
        return false;
    };
    if (m_link(QFile::encodeName(source).constData(), QFile::encodeName(kept).constData()) == 0)
        return true;
    if (!linksRefused(errno))
        return refused(errno);
    const QString passing = QDir(m_folder).filePath(copyName);
    QFile::remove(passing);
    if (!copyDurably(source, passing) || !sameBytes(source, passing) ||
        !renameNoReplace(passing, kept)) {
        const int e = errno;
        QFile::remove(passing);
        return refused(e);
    }
    return true;
}

JetConversionResult JetConversion::run(const QString &keptArg, ConversionProgress *progress) const {
    const Table &plants = plantTable();
    const Table &events = eventTable();
    JetConversionResult result;
    const QDir dir(m_folder);
    const QString source = dir.filePath(archiveName);
    const QString temp = temporaryPath();
    const QString kept = dir.filePath(keptArg.isEmpty() ? keptName() : keptArg);
    auto failed = [&](const QString &why) {
        result.ok = false;
        result.error = why;
        return result;
    };
    // Reading is most of the work; writing, then reading back, the rest.
    bool stopped = false;
    auto told = [&](int percent) {
        stopped = stopped || (progress && !progress->advance(percent));
        return !stopped;
    };
    auto stepsOf = [&](int from, int to, qsizetype total) {
        return [=, &told](qsizetype done) {
            return told(from + int((to - from) * done / std::max<qsizetype>(total, 1)));
        };
    };
    auto cancelled = [&] {
        result.cancelled = true;
        return failed(QStringLiteral("conversione annullata"));
    };

    // Read everything first: a file that cannot be read whole is not touched at all.
    std::optional<Converted> plantRows, eventRows;
    {
        JetReader reader(source);
        auto read = reader.read({readerTable(plantTable()), readerTable(eventTable())},
                                [&](double share) { return told(int(share * 69)); });
        if (reader.cancelled())
            return cancelled();
        if (!read)
            return failed(reader.lastError());
        QString error;
        plantRows = convert(plantTable(), std::move((*read)[0]), &error);
        if (!plantRows)
            return failed(error);
        eventRows = convert(eventTable(), std::move((*read)[1]), &error);
        if (!eventRows)
            return failed(error);
    }
    // Plants that share a key share their events and their picture folder: they cannot be
    // told apart, so the archive is not converted.
    auto sortedKeys = [](const QList<QVariantList> &rows) {
        std::vector<qint64> keys;
        keys.reserve(rows.size());
        for (const QVariantList &row : rows)
            keys.push_back(row.at(0).toLongLong());
        std::sort(keys.begin(), keys.end());
        return keys;
    };
    const std::vector<qint64> plantKeys = sortedKeys(plantRows->rows);
    QStringList twins;
    for (size_t i = 1; i < plantKeys.size(); ++i)
        if (plantKeys[i] == plantKeys[i - 1] && (i < 2 || plantKeys[i - 2] != plantKeys[i]))
            twins << keyText(plantKeys[i]);
    if (!twins.isEmpty())
        return failed(QStringLiteral("più piante hanno la stessa chiave (%1)")
                          .arg(twins.join(QStringLiteral(", "))));

    // Events saved in the same second share a key: each later one gets the next free number.
    const std::vector<qint64> eventKeys = sortedKeys(eventRows->rows);
    if (std::adjacent_find(eventKeys.begin(), eventKeys.end()) != eventKeys.end()) {
        QSet<qint64> taken(eventKeys.begin(), eventKeys.end()), seen;
        for (QVariantList &row : eventRows->rows) {
            const qint64 key = row.at(0).toLongLong();
            if (seen.contains(key)) {
                qint64 next = key + 1;
                while (taken.contains(next))
                    ++next;
                taken.insert(next);
                row[0] = next;
                ++result.renumberedEvents;
            }
            seen.insert(key);
        }
    }

    cleanUp();
    {
        const int fd = ::open(QFile::encodeName(temp).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return failed(
                QStringLiteral("impossibile scrivere nella cartella del programma perché %1")
                    .arg(FailureReason::ofErrno(errno)));
        ::close(fd);
    }
    auto discard = [&](const QString &why) {
        QFile::remove(temp);
        if (stopped)
            return cancelled();
        return failed(why);
    };

    QString error;
    const qsizetype total = plantRows->rows.size() + eventRows->rows.size();
    {
        Db db(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        if (!db.h || !db.exec(QStringLiteral("SELECT 1")))
            return discard(cannotWrite.arg(db.error()));
        QFile schema(QStringLiteral(":/archive/schema.sql"));
        if (!schema.open(QIODevice::ReadOnly))
            return discard(QStringLiteral("manca lo schema dell'archivio"));
        // The file is thrown away on any failure, so it needs no journal while it is made.
        // Tables first, the rows, then the indexes: building an index once is quicker than
        // keeping it up to date row by row.
        QStringList tables = {QStringLiteral("PRAGMA journal_mode=OFF"),
                              QStringLiteral("PRAGMA synchronous=OFF"),
                              QStringLiteral("PRAGMA cache_size=-65536"), QStringLiteral("BEGIN")};
        QStringList indexes;
        for (const QString &s : QString::fromUtf8(schema.readAll()).split(';', Qt::SkipEmptyParts))
            if (!s.trimmed().isEmpty())
                (s.trimmed().startsWith(QLatin1String("CREATE INDEX"), Qt::CaseInsensitive)
                     ? indexes
                     : tables)
                    << s;
        indexes << QStringLiteral("COMMIT");
        auto execAll = [&](const QStringList &statements) {
            for (const QString &s : statements)
                if (!db.exec(s)) {
                    error = cannotWrite.arg(db.error());
                    return false;
                }
            return true;
        };
        const qsizetype firstEvents = plantRows->rows.size();
        if (!execAll(tables) ||
            !write(db, plantTable(), plantRows->rows, stepsOf(70, 85, total), &error) ||
            !write(
                db, eventTable(), eventRows->rows,
                [&](qsizetype done) { return stepsOf(70, 85, total)(firstEvents + done); },
                &error) ||
            !execAll(indexes))
            return discard(error);
        // The whole file is still in this connection's cache: checked there, it need not be
        // read twice.
        Statement check(db, QStringLiteral("PRAGMA integrity_check"));
        if (!check.s || sqlite3_step(check.s) != SQLITE_ROW ||
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(check.s, 0))) !=
                QLatin1String("ok"))
            return discard(QStringLiteral("il nuovo archivio non ha superato il controllo"));
    }
    {
        // Read back through a connection of its own, from the file as written.
        Db db(temp, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
        const qsizetype firstEvents = plantRows->rows.size();
        if (!db.h)
            return discard(cannotReread.arg(db.error()));
        if (!verify(db, plantTable(), plantRows->rows, stepsOf(85, 100, total), &error) ||
            !verify(
                db, eventTable(), eventRows->rows,
                [&](qsizetype done) { return stepsOf(85, 100, total)(firstEvents + done); },
                &error))
            return discard(error);
    }
    if (stopped || !syncPath(temp, false, &error))
        return discard(cannotWrite.arg(error));

    // The original takes its second name, then the new archive takes the first in one step;
    // until that step the original is still dbpiante.mdb. From here on nothing stops it.
    if (!keepOriginal(source, kept, &error))
        return discard(error);
    const QByteArray keptPath = QFile::encodeName(kept);
    if (!syncPath(m_folder, true, &error) ||
        ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(source).constData()) != 0) {
        if (error.isEmpty())
            error = FailureReason::ofErrno(errno);
        ::unlink(keptPath.constData());
        return discard(
            QStringLiteral("impossibile mettere il nuovo archivio al suo posto perché %1")
                .arg(error));
    }
    syncPath(m_folder, true, &error);

    result.ok = true;
    result.plants = int(plantRows->rows.size());
    result.events = int(eventRows->rows.size());
    result.timesDropped = plantRows->timesDropped + eventRows->timesDropped;
    return result;
}
