#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <functional>

class QSqlQuery;
class RawQuery;

// One connection of its own to an SQLite file, for the copies and the export: opened on an
// existing file only (never creates one), read-only unless asked, closed when it goes.
class SqliteFile {
public:
    SqliteFile();
    ~SqliteFile();
    SqliteFile(const SqliteFile &) = delete;
    SqliteFile &operator=(const SqliteFile &) = delete;

    bool open(const QString &path, bool readOnly = true);
    QSqlDatabase &db() { return m_db; }
    // Why the last step failed, in Italian (FailureReason).
    QString error() const { return m_error; }

    // Runs one statement with bound values; false with error() telling why.
    bool run(QSqlQuery &q, const QString &sql, const QVariantList &binds = {});
    // The first column of the first row of a statement, or an invalid value on failure.
    QVariant value(const QString &sql, const QVariantList &binds = {});
    // Writes a consistent copy of the file, as it is now, to `target` (which must not exist).
    bool copyTo(const QString &target);

    // Why a statement on this file failed, in Italian; also kept as error().
    QString failed(const QSqlQuery &q);
    QString failed(const RawQuery &q);

    // Called now and then while a long statement runs (after open()); returning false stops
    // the statement, which then fails.
    void setProgress(std::function<bool()> progress);

private:
    static int onProgress(void *self);
    std::function<bool()> m_progress;
    QString m_connection;
    QSqlDatabase m_db;
    QString m_error;
};
