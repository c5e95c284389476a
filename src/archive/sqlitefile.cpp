#include "archive/sqlitefile.h"

#include "archive/failurereason.h"
#include "archive/rawquery.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
QAtomicInt counter;

// Why a file cannot be an SQLite file, or an empty text when its first bytes say it is one.
QString notSqlite(const QString &path) {
    const int fd = ::open(QFile::encodeName(path), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return FailureReason::ofErrno(errno);
    static const QByteArray magic("SQLite format 3\0", 16);
    QByteArray head(16, '\0');
    const ssize_t n = ::read(fd, head.data(), head.size());
    const int error = errno;
    ::close(fd);
    if (n < 0)
        return FailureReason::ofErrno(error);
    return head == magic ? QString() : QStringLiteral("il file non è un archivio");
}

// The reason of a failure as SQLite reported it on this connection.
QString reasonOf(const QSqlDatabase &db, const QSqlError &e) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    int systemErrno = 0;
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        if (sqlite3 *h = *static_cast<sqlite3 *const *>(handle.constData()))
            systemErrno = sqlite3_system_errno(h);
    bool known = false;
    const int code = e.nativeErrorCode().toInt(&known);
    return FailureReason::ofSqlite(known ? code : SQLITE_ERROR, systemErrno,
                                   e.databaseText().isEmpty() ? e.text() : e.databaseText());
}
} // namespace

void SqliteFile::setProgress(std::function<bool()> progress) {
    m_progress = std::move(progress);
    const QVariant handle = m_db.driver() ? m_db.driver()->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        if (sqlite3 *h = *static_cast<sqlite3 *const *>(handle.constData()))
            sqlite3_progress_handler(h, m_progress ? 1000 : 0,
                                     m_progress ? &SqliteFile::onProgress : nullptr, this);
}

int SqliteFile::onProgress(void *self) {
    return static_cast<SqliteFile *>(self)->m_progress() ? 0 : 1;
}

SqliteFile::SqliteFile()
    : m_connection(QStringLiteral("silvaro-file-%1").arg(counter.fetchAndAddRelaxed(1))) {}

SqliteFile::~SqliteFile() {
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool SqliteFile::open(const QString &path, bool readOnly) {
    if (!QFileInfo(path).isFile()) {
        m_error = QFileInfo::exists(path) ? QStringLiteral("non è un file")
                                          : FailureReason::ofErrno(ENOENT);
        return false;
    }
    m_error = notSqlite(path);
    if (!m_error.isEmpty())
        return false;
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    url.setQuery(readOnly ? QStringLiteral("mode=ro") : QStringLiteral("mode=rw"));
    m_db.setDatabaseName(url.toString(QUrl::FullyEncoded));
    if (!m_db.open()) {
        m_error = reasonOf(m_db, m_db.lastError());
        return false;
    }
    return true;
}

QString SqliteFile::failed(const QSqlQuery &q) {
    m_error = reasonOf(m_db, q.lastError());
    return m_error;
}

QString SqliteFile::failed(const RawQuery &q) {
    m_error = FailureReason::ofSqlite(q.errorCode(), q.systemErrno(), q.error());
    return m_error;
}

bool SqliteFile::run(QSqlQuery &q, const QString &sql, const QVariantList &binds) {
    q.setForwardOnly(true);
    bool ok = q.prepare(sql);
    if (ok) {
        for (const QVariant &b : binds)
            q.addBindValue(b);
        ok = q.exec();
    }
    if (!ok)
        failed(q);
    return ok;
}

QVariant SqliteFile::value(const QString &sql, const QVariantList &binds) {
    QSqlQuery q(m_db);
    if (!run(q, sql, binds))
        return {};
    if (q.next())
        return q.value(0);
    m_error = q.lastError().isValid() ? failed(q) : QStringLiteral("nessuna risposta");
    return {};
}

bool SqliteFile::copyTo(const QString &target) {
    QSqlQuery q(m_db);
    return run(q, QStringLiteral("VACUUM INTO ?"), {QFileInfo(target).absoluteFilePath()});
}
