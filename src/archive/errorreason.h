#pragma once

#include <QString>

// Why a file or an archive could not be written or read, as an Italian clause that follows
// "perché": the common causes (a full disk, a read-only disk, a permission refused, a damaged
// file) in words of their own, anything else with the system's own text in parentheses.
class ErrorReason {
public:
    // From a C library error number (errno).
    static QString ofSystem(int error);
    // From SQLite: its result code, the error number the system gave it (0 for none) and
    // its message.
    static QString ofSqlite(int code, int systemError, const QString &message);
};
