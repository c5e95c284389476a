#include "archive/failurereason.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

namespace {

// The errno values that have a reason of their own.
constexpr int known[] = {ENOSPC,  EDQUOT,  EROFS,  EACCES, EPERM,   ENOENT,
                         ENOTDIR, EISDIR,  EIO,    EFBIG,  EUCLEAN, ENAMETOOLONG,
                         EBUSY,   ETXTBSY, ENOMEM, EMFILE, ENFILE,  ELOOP};

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// A reason of the program's own with what the system said after it, when it said anything
// more than that it does not know.
QString withSystemText(const QString &reason, const QString &text) {
    const QString said = text.trimmed();
    if (said.isEmpty() || said == QFile().errorString())
        return reason;
    return QStringLiteral("%1 (%2)").arg(reason, said);
}

} // namespace

QString FailureReason::ofErrno(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("il disco è pieno");
    case EROFS:
        return QStringLiteral("il disco è di sola lettura");
    case EACCES:
    case EPERM:
        return QStringLiteral("permesso negato");
    case ENOENT:
        return QStringLiteral("il file o la cartella non esiste");
    case ENOTDIR:
        return QStringLiteral("una parte del percorso non è una cartella");
    case EISDIR:
        return QStringLiteral("al suo posto c'è una cartella");
    case EIO:
        return QStringLiteral("errore di lettura o scrittura del disco");
    case EFBIG:
        return QStringLiteral("il file supera la dimensione consentita");
    case EUCLEAN:
        return QStringLiteral("il disco è danneggiato");
    case ENAMETOOLONG:
        return QStringLiteral("il nome è troppo lungo");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("il file è in uso");
    case ENOMEM:
        return QStringLiteral("memoria insufficiente");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("troppi file aperti");
    case ELOOP:
        return QStringLiteral("troppi collegamenti nel percorso");
    default:
        return withSystemText(QStringLiteral("errore del sistema"),
                              error ? systemText(error) : QString());
    }
}

QString FailureReason::ofFile(const QFileDevice &file) {
    // Qt words most failures with the system's own text: that gives the errno back.
    const QString text = file.errorString();
    for (const int error : known)
        if (text == systemText(error))
            return ofErrno(error);
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        return ofErrno(EACCES);
    case QFileDevice::ResourceError:
        return withSystemText(QStringLiteral("risorse del sistema esaurite"), text);
    default:
        return withSystemText(QStringLiteral("errore del sistema"), text);
    }
}

QString FailureReason::ofSqlite(int resultCode, int systemErrno, const QString &message) {
    switch (resultCode & 0xff) {
    case SQLITE_FULL:
        return ofErrno(ENOSPC);
    case SQLITE_READONLY:
        return systemErrno == EROFS ? ofErrno(EROFS) : QStringLiteral("il file è di sola lettura");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ofErrno(systemErrno == EROFS ? EROFS : EACCES);
    case SQLITE_CANTOPEN:
        return systemErrno ? ofErrno(systemErrno)
                           : withSystemText(QStringLiteral("il file non si apre"), message);
    case SQLITE_IOERR:
        return ofErrno(systemErrno ? systemErrno : EIO);
    case SQLITE_CORRUPT:
        return damaged(QString());
    case SQLITE_NOTADB:
        return QStringLiteral("il file non è un archivio");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("il file è in uso da un altro programma");
    case SQLITE_NOMEM:
        return ofErrno(ENOMEM);
    case SQLITE_TOOBIG:
    case SQLITE_NOLFS:
        return ofErrno(EFBIG);
    default:
        return withSystemText(QStringLiteral("errore dell'archivio"), message);
    }
}

QString FailureReason::damaged(const QString &details) {
    return withSystemText(QStringLiteral("il file è danneggiato"), details);
}

QString FailureReason::told(const QString &reason, const QString &doing, const QString &path) {
    return QStringLiteral("%1, non si è potuto %2 %3")
        .arg(reason, doing, QDir::toNativeSeparators(path));
}
