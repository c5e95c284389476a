#include "archive/folderfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <sys/stat.h>

FolderFile::State FolderFile::check(const QString &folder, const QString &path, qint64 maxSize) {
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &st) != 0)
        return State::Missing;
    if (S_ISLNK(st.st_mode)) {
        const QString target = QFileInfo(path).canonicalFilePath();
        const QString root = QFileInfo(folder).canonicalFilePath();
        if (target.isEmpty() || root.isEmpty() || !target.startsWith(root + QLatin1Char('/')))
            return State::OutsideFolder;
        if (::stat(name.constData(), &st) != 0)
            return State::OutsideFolder;
    }
    if (!S_ISREG(st.st_mode))
        return State::NotRegular;
    return st.st_size > maxSize ? State::TooBig : State::Usable;
}

QString FolderFile::reason(State state) {
    switch (state) {
    case State::Missing:
        return QStringLiteral("il file non c'è");
    case State::Usable:
        return {};
    case State::NotRegular:
        return QStringLiteral("non è un file ordinario");
    case State::OutsideFolder:
        return QStringLiteral("è un collegamento a un file fuori dalla cartella del programma");
    case State::TooBig:
        return QStringLiteral("è troppo grande per essere quel file");
    }
    return {};
}

bool FolderFile::setAside(const QString &path, const QString &aside) {
    // rename(2) moves the directory entry itself and replaces the target in one step.
    return std::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) ==
           0;
}

bool FolderFile::isPlainName(const QString &name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}
