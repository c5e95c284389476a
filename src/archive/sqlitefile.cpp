#include "archive/sqlitefile.h"

#include "archive/archive.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace {
QAtomicInt counter;
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
    if (!Archive::looksLikeSqlite(path, &m_error))
        return false;
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    url.setQuery(readOnly ? QStringLiteral("mode=ro") : QStringLiteral("mode=rw"));
    m_db.setDatabaseName(url.toString(QUrl::FullyEncoded));
    if (!m_db.open()) {
        m_error = m_db.lastError().text();
        return false;
    }
    return true;
}

QString SqliteFile::reason(const QSqlQuery &q) {
    const QSqlError e = q.lastError();
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
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
        m_error = reason(q);
    return ok;
}

QVariant SqliteFile::value(const QString &sql, const QVariantList &binds) {
    QSqlQuery q(m_db);
    if (!run(q, sql, binds))
        return {};
    if (q.next())
        return q.value(0);
    m_error = q.lastError().isValid() ? reason(q) : QStringLiteral("nessuna risposta");
    return {};
}

bool SqliteFile::copyTo(const QString &target) {
    QSqlQuery q(m_db);
    return run(q, QStringLiteral("VACUUM INTO ?"), {QFileInfo(target).absoluteFilePath()});
}
