#include "archive/errorreason.h"

#include <cerrno>
#include <cstring>
#include <sqlite3.h>

namespace {

QString known(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("il disco è pieno");
    case EROFS:
        return QStringLiteral("il disco è di sola lettura");
    case EACCES:
    case EPERM:
        return QStringLiteral("il sistema nega il permesso");
    case EIO:
        return QStringLiteral("il disco non si lascia leggere o scrivere");
    case ENOMEM:
        return QStringLiteral("la memoria non basta");
    case ENOENT:
        return QStringLiteral("il file non c'è più");
    case EEXIST:
        return QStringLiteral("c'è già un file con quel nome");
    default:
        return {};
    }
}

} // namespace

QString ErrorReason::ofSystem(int error) {
    const QString words = known(error);
    return words.isEmpty() ? QStringLiteral("il sistema ha dato un errore (%1)")
                                 .arg(QString::fromLocal8Bit(std::strerror(error)))
                           : words;
}

QString ErrorReason::ofSqlite(int code, int systemError, const QString &message) {
    const QString words = known(systemError);
    if (!words.isEmpty())
        return words;
    switch (code & 0xff) {
    case SQLITE_FULL:
        return known(ENOSPC);
    case SQLITE_READONLY:
        return known(EROFS);
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return known(EACCES);
    case SQLITE_NOMEM:
        return known(ENOMEM);
    case SQLITE_IOERR:
        return systemError ? ofSystem(systemError) : known(EIO);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("il file è danneggiato");
    default:
        return systemError ? ofSystem(systemError)
                           : QStringLiteral("SQLite ha dato un errore (%1)").arg(message);
    }
}
