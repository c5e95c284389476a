#include "archive/instancelock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

InstanceLock::InstanceLock(const QString &appFolder) : m_fileName(lockPath(appFolder)) {}

QString InstanceLock::lockPath(const QString &appFolder) {
    const QFileInfo info(appFolder);
    const QString canonical = info.canonicalFilePath();
    const QString path = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    const QByteArray digest =
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return {};
    return QDir(runtime).filePath(QStringLiteral("silvaro-%1.lock").arg(QLatin1String(digest)));
}

InstanceLock::Result InstanceLock::take() {
    if (m_fileName.isEmpty())
        return Result::Unavailable;
    m_lock = std::make_unique<QLockFile>(m_fileName);
    // Only a lock whose program is gone is stale, however long the holder has been running.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return Result::Taken;
    return m_lock->error() == QLockFile::LockFailedError ? Result::HeldByAnother
                                                         : Result::Unavailable;
}
