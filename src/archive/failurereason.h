#pragma once

#include <QFileDevice>
#include <QString>

// Why a file could not be read or written, said in the program's words. The common causes
// (disk full, read-only, permission denied, not found, damaged, input/output error) have an
// Italian reason of their own; any other cause is told with the system's own text in
// parentheses, never as an "unknown error" alone.
class FailureReason {
public:
    // From an errno value.
    static QString ofErrno(int error);
    // From a QFile (or QSaveFile) that failed: its error and the text the system gave it.
    static QString ofFile(const QFileDevice &file);
    // From an SQLite result code, the errno of SQLite's last system call and its message.
    static QString ofSqlite(int resultCode, int systemErrno, const QString &message);
    // A file that fails SQLite's check; `details` as the check put them.
    static QString damaged(const QString &details);

    // "<reason>, non si è potuto <doing> <path>": what went wrong, what was being done, on
    // which file. `doing` is an Italian infinitive ("scrivere", "creare la cartella").
    static QString told(const QString &reason, const QString &doing, const QString &path);
};
