#include "archive/jetconversion.h"

#include "archive/jetreader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QString archiveName = QStringLiteral("dbpiante.mdb");
const QString temporaryName = QStringLiteral("dbpiante-conversione.tmp");

// How each field is carried over.
enum class Field { Key, Number, Date, Text };

struct Table {
    QString name;
    QList<std::pair<QString, Field>> fields;
};

const Table plants{"piante",
                   {{"id", Field::Key},
                    {"famiglia", Field::Text},
                    {"genere", Field::Text},
                    {"specie", Field::Text},
                    {"identificazione", Field::Text},
                    {"habitat", Field::Text},
                    {"temperatura", Field::Number},
                    {"temperaturaid", Field::Number},
                    {"r3", Field::Text},
                    {"r4", Field::Text},
                    {"r1", Field::Text},
                    {"r2", Field::Text},
                    {"umdita", Field::Number},
                    {"fioritura", Field::Text},
                    {"descrizione", Field::Text},
                    {"dataacquisto", Field::Date},
                    {"prezzo", Field::Number},
                    {"vaso", Field::Text},
                    {"eta", Field::Number},
                    {"note", Field::Text},
                    {"img", Field::Text}}};

const Table events{"coltivazione",
                   {{"idtrat", Field::Key},
                    {"id", Field::Key},
                    {"intervento", Field::Text},
                    {"datatratt", Field::Date},
                    {"temperatura", Field::Number},
                    {"umidita", Field::Number},
                    {"descrizione", Field::Text}}};

QList<JetReader::Column> readerColumns(const Table &t) {
    QList<JetReader::Column> c;
    for (const auto &[name, field] : t.fields)
        c.append({name, field == Field::Text   ? JetReader::Kind::Text
                        : field == Field::Date ? JetReader::Kind::Date
                                               : JetReader::Kind::Number});
    return c;
}

QString keyText(qint64 key) {
    return QString::number(key);
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool syncPath(const QString &path, bool directory, QString *error) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) {
        *error = systemError(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
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
        return h ? QString::fromUtf8(sqlite3_errmsg(h)) : QStringLiteral("out of memory");
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
            if (field == Field::Key) {
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
            } else if (field == Field::Date && !v.isNull()) {
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

bool write(Db &db, const Table &t, const QList<QVariantList> &rows, QString *error) {
    Statement q(db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(t.name, fieldList(t), QStringList(t.fields.size(), "?").join(',')));
    if (!q.s) {
        *error = QStringLiteral("impossibile scrivere il nuovo archivio (%1)").arg(db.error());
        return false;
    }
    QList<QByteArray> utf8(t.fields.size());
    for (const QVariantList &row : rows) {
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
            *error = QStringLiteral("impossibile scrivere il nuovo archivio (%1)").arg(db.error());
            return false;
        }
        sqlite3_reset(q.s);
    }
    return true;
}

bool verify(Db &db, const Table &t, const QList<QVariantList> &rows, QString *error) {
    Statement q(db, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(fieldList(t), t.name));
    if (!q.s) {
        *error = QStringLiteral("impossibile rileggere il nuovo archivio (%1)").arg(db.error());
        return false;
    }
    qsizetype r = 0;
    int rc = SQLITE_ROW;
    for (; r < rows.size() && (rc = sqlite3_step(q.s)) == SQLITE_ROW; ++r)
        for (int c = 0; c < t.fields.size(); ++c)
            if (!sameValue(q.s, c, rows.at(r).at(c))) {
                *error = QStringLiteral("il nuovo archivio non ha riletto il campo %1 della "
                                        "tabella %2 com'era (riga %3)")
                             .arg(t.fields.at(c).first, t.name)
                             .arg(r + 1);
                return false;
            }
    if (rc == SQLITE_ROW)
        rc = sqlite3_step(q.s);
    if (rc != SQLITE_DONE) {
        *error =
            rc == SQLITE_ROW
                ? QStringLiteral("il nuovo archivio ha più righe della tabella %1").arg(t.name)
                : QStringLiteral("impossibile rileggere il nuovo archivio (%1)").arg(db.error());
        return false;
    }
    if (r != rows.size()) {
        *error = QStringLiteral("il nuovo archivio ha meno righe della tabella %1").arg(t.name);
        return false;
    }
    return true;
}

} // namespace

JetConversion::JetConversion(QString folder) : m_folder(std::move(folder)) {}

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
    if (!QFileInfo::exists(temp))
        return;
    // Stopped after the original got its second name but before the new archive took the
    // first: that second name goes, the original stays dbpiante.mdb.
    struct stat archive {};
    if (::stat(QFile::encodeName(dir.filePath(archiveName)).constData(), &archive) == 0) {
        const QStringList kept =
            dir.entryList({QStringLiteral("dbpiante-access*.mdb")}, QDir::Files);
        for (const QString &name : kept) {
            struct stat other {};
            if (::lstat(QFile::encodeName(dir.filePath(name)).constData(), &other) == 0 &&
                other.st_dev == archive.st_dev && other.st_ino == archive.st_ino)
                ::unlink(QFile::encodeName(dir.filePath(name)).constData());
        }
    }
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(temp + QLatin1String(suffix));
}

JetConversionResult JetConversion::run(const QString &keptArg) const {
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

    // Read everything first: a file that cannot be read whole is not touched at all.
    std::optional<Converted> plantRows, eventRows;
    {
        JetReader reader(source);
        auto p = reader.read(plants.name, readerColumns(plants));
        if (!p)
            return failed(reader.lastError());
        auto e = reader.read(events.name, readerColumns(events));
        if (!e)
            return failed(reader.lastError());
        QString error;
        plantRows = convert(plants, std::move(*p), &error);
        if (!plantRows)
            return failed(error);
        eventRows = convert(events, std::move(*e), &error);
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
        QFile probe(temp);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return failed(QStringLiteral("impossibile scrivere nella cartella del programma (%1)")
                              .arg(probe.errorString()));
    }
    auto discard = [&](const QString &why) {
        QFile::remove(temp);
        return failed(why);
    };

    QString error;
    {
        Db db(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        if (!db.h || !db.exec(QStringLiteral("SELECT 1")))
            return discard(
                QStringLiteral("impossibile scrivere il nuovo archivio (%1)").arg(db.error()));
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
                    error = QStringLiteral("impossibile scrivere il nuovo archivio (%1)")
                                .arg(db.error());
                    return false;
                }
            return true;
        };
        if (!execAll(tables) || !write(db, plants, plantRows->rows, &error) ||
            !write(db, events, eventRows->rows, &error) || !execAll(indexes))
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
        if (!db.h)
            return discard(
                QStringLiteral("impossibile rileggere il nuovo archivio (%1)").arg(db.error()));
        if (!verify(db, plants, plantRows->rows, &error) ||
            !verify(db, events, eventRows->rows, &error))
            return discard(error);
    }
    if (!syncPath(temp, false, &error))
        return discard(
            QStringLiteral("impossibile scrivere il nuovo archivio su disco (%1)").arg(error));

    // The original takes its second name (never over an existing file), then the new archive
    // takes the first in one step; until that step the original is still dbpiante.mdb.
    const QByteArray sourceName = QFile::encodeName(source);
    const QByteArray keptPath = QFile::encodeName(kept);
    if (::link(sourceName.constData(), keptPath.constData()) != 0)
        return discard(QStringLiteral("impossibile conservare l'originale come %1 (%2)")
                           .arg(QFileInfo(kept).fileName(), systemError(errno)));
    if (!syncPath(m_folder, true, &error) ||
        ::rename(QFile::encodeName(temp).constData(), sourceName.constData()) != 0) {
        if (error.isEmpty())
            error = systemError(errno);
        ::unlink(keptPath.constData());
        return discard(
            QStringLiteral("impossibile mettere il nuovo archivio al suo posto (%1)").arg(error));
    }
    syncPath(m_folder, true, &error);

    result.ok = true;
    result.plants = int(plantRows->rows.size());
    result.events = int(eventRows->rows.size());
    result.timesDropped = plantRows->timesDropped + eventRows->timesDropped;
    return result;
}
