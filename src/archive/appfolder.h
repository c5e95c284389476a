#pragma once

#include <QString>

// The folder that holds the program, the archive, the picture folder and the list of
// treatment types. Every path the program uses is built from it.
class AppFolder {
public:
    explicit AppFolder(QString dir = QString());

    // The folder of the running executable.
    static AppFolder ofExecutable();

    QString dir() const { return m_dir; }
    QString filePath(const QString &relative) const;

    QString archivePath() const;             // dbpiante.mdb
    QString imgDir() const;                  // img
    QString placeholderPath() const;         // img/nd.jpg
    QString plantDir(qint64 plantId) const;  // img/<key>
    QString plantPicture(qint64 plantId, const QString &fileName) const;
    QString treatmentsPath() const;          // trattamenti.txt
    QString tempBitmapPath() const;          // $_tmp.BMP

private:
    QString m_dir;
};
