#include "archive/appfolder.h"

#include "archive/conversions.h"
#include "archive/folderfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

AppFolder::AppFolder(QString dir) : m_dir(std::move(dir)) {}

AppFolder AppFolder::ofExecutable() {
    return AppFolder(QCoreApplication::applicationDirPath());
}

AppFolder AppFolder::ofProgram(const QString &templatesRelative) {
    return choose(QCoreApplication::applicationDirPath(), templatesRelative,
                  QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

AppFolder AppFolder::choose(const QString &exeDir, const QString &templatesRelative,
                            const QString &userDataDir) {
    const QString templates = QDir::cleanPath(QDir(exeDir).filePath(templatesRelative));
    // Only the templates make an installed program: a portable folder whose archive is
    // missing is still a portable folder.
    if (templatesRelative.isEmpty() || userDataDir.isEmpty() || !QFileInfo(templates).isDir())
        return AppFolder(exeDir);
    layOut(templates, userDataDir);
    return AppFolder(userDataDir);
}

QString AppFolder::layoutMarkName() {
    return QStringLiteral(".silvaro-laid-out");
}

bool AppFolder::layOut(const QString &templates, const QString &target) {
    const QDir to(target);
    const QString mark = to.filePath(layoutMarkName());
    if (QFileInfo::exists(mark))
        return true;
    if (!QDir().mkpath(target))
        return false;
    bool ok = true;
    const QDir from(templates);
    QDirIterator it(templates, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString dest = to.filePath(from.relativeFilePath(source));
        const QFileInfo destInfo(dest);
        if (destInfo.exists() || destInfo.isSymLink())
            continue;
        // QFile::copy writes a temporary file and renames it: no half-copied file is left.
        if (!QDir().mkpath(destInfo.path()) || !QFile::copy(source, dest)) {
            ok = false;
            continue;
        }
        // The templates belong to the system and may be read-only; the copies are the user's.
        QFile::setPermissions(dest,
                              QFile::permissions(dest) | QFile::ReadOwner | QFile::WriteOwner);
    }
    if (!ok)
        return false;
    QFile f(mark);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const qint64 written = f.write(
        QStringLiteral("Laid out from %1 on %2.\n"
                       "While this file is here, nothing missing is copied again.\n")
            .arg(QDir(templates).absolutePath(), QDateTime::currentDateTime().toString(Qt::ISODate))
            .toUtf8());
    return written > 0 && f.flush();
}

QString AppFolder::filePath(const QString &relative) const {
    return QDir(m_dir).filePath(relative);
}

QString AppFolder::archivePath() const {
    return filePath("dbpiante.mdb");
}
QString AppFolder::imgDir() const {
    return filePath("img");
}
QString AppFolder::placeholderPath() const {
    return filePath("img/nd.jpg");
}

QString AppFolder::plantDir(qint64 plantId) const {
    return filePath("img/" + Conversions::keyText(plantId));
}

QString AppFolder::plantPicture(qint64 plantId, const QString &fileName) const {
    // A stored name that would lead out of the plant's folder ("../..", "/etc/...") gives the
    // folder itself, which is no picture and is never opened as one.
    if (!FolderFile::isPlainName(fileName))
        return plantDir(plantId) + "/";
    return plantDir(plantId) + "/" + fileName;
}

QString AppFolder::treatmentsPath() const {
    return filePath("trattamenti.txt");
}
QString AppFolder::tempBitmapPath() const {
    return filePath("$_tmp.BMP");
}
QString AppFolder::labelChoicesPath() const {
    return filePath("etichette.ini");
}
