#include "archive/appfolder.h"

#include "archive/conversions.h"

#include <QCoreApplication>
#include <QDir>

AppFolder::AppFolder(QString dir) : m_dir(std::move(dir)) {}

AppFolder AppFolder::ofExecutable() { return AppFolder(QCoreApplication::applicationDirPath()); }

QString AppFolder::filePath(const QString &relative) const {
    return QDir(m_dir).filePath(relative);
}

QString AppFolder::archivePath() const { return filePath("dbpiante.mdb"); }
QString AppFolder::imgDir() const { return filePath("img"); }
QString AppFolder::placeholderPath() const { return filePath("img/nd.jpg"); }

QString AppFolder::plantDir(qint64 plantId) const {
    return filePath("img/" + Conversions::keyText(plantId));
}

QString AppFolder::plantPicture(qint64 plantId, const QString &fileName) const {
    return plantDir(plantId) + "/" + fileName;
}

QString AppFolder::treatmentsPath() const { return filePath("trattamenti.txt"); }
QString AppFolder::tempBitmapPath() const { return filePath("$_tmp.BMP"); }
