#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QVariant>

class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;

// A statement run on a Qt connection's own SQLite handle, inside whatever transaction the
// connection holds. For reads of tens of thousands of rows: each value is taken straight
// from SQLite instead of through a cached row of variants. Values come as Qt's driver gives
// them: whole numbers as qlonglong, reals as double, texts as QString, blobs as QByteArray.
class RawQuery {
public:
    RawQuery(const QSqlDatabase &db, const QString &sql);
    // On a connection of SQLite's own (one opened off the Qt driver, for a second thread).
    RawQuery(sqlite3 *db, const QString &sql);
    // The SQLite handle of a Qt connection; null when it is not open.
    static sqlite3 *handle(const QSqlDatabase &db);
    ~RawQuery();
    RawQuery(const RawQuery &) = delete;
    RawQuery &operator=(const RawQuery &) = delete;

    // Binds are numbered from 1, as SQLite counts them.
    void bind(int at, const QString &text);
    void bind(int at, qint64 value);
    // Numbers as one JSON array, for `IN (SELECT value FROM json_each(?))`.
    void bind(int at, const QList<qint64> &values);
    void bind(int at, double value);
    // A value as Qt holds it: text, whole number, real or null.
    void bind(int at, const QVariant &value);

    // Runs a statement that returns no rows, then makes it ready for the next binds (each
    // of many rows of a write); false on a failure (then error() tells).
    bool exec();

    // The next row; false at the end or on a failure (then error() tells).
    bool next();
    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }
    // SQLite's extended result code of the failure, and the system's errno behind it.
    int errorCode() const { return m_code; }
    int systemErrno() const { return m_systemErrno; }

    // The columns of the statement's rows, and their names.
    int columns() const;
    QString columnName(int column) const;

    QVariant value(int column) const;
    // The column's text without a copy, valid until the next row: for a test of every row.
    QString textInPlace(int column) const;
    // The same as UTF-8 bytes, as SQLite holds them: no conversion at all.
    QByteArrayView utf8InPlace(int column) const;
    qint64 integer(int column) const;
    // A column's type, with its whole number or its UTF-8 text as SQLite holds it (valid
    // until the next row), from one look-up of the column: for loops over millions of rows.
    struct Cell {
        enum Type { Integer = 1, Real, Text, Blob, Null }; // numbered as SQLite's
        int type = Null;
        qint64 integer = 0;
        double real = 0;
        QByteArrayView text; // a text's UTF-8, or a blob's bytes
    };
    Cell cell(int column) const;
    bool isNull(int column) const;
    bool isText(int column) const;
    bool isInteger(int column) const;

private:
    void prepare(const QString &sql);
    void fail();

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    QString m_error;
    int m_code = 0;
    int m_systemErrno = 0;
};
