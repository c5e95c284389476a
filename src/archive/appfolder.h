#pragma once

#include <QString>

// The folder that holds the program, the archive, the picture folder and the list of
// treatment types. Every path the program uses is built from it.
class AppFolder {
public:
    explicit AppFolder(QString dir = QString());

    // The folder of the running executable.
    static AppFolder ofExecutable();

    // The application folder of the running program. A program whose executable's folder
    // has the installed templates at `templatesRelative` (say "../share/silvaro") is an
    // installed one and lives in the user's own data folder, laid out on the first start;
    // any other is a portable folder: the executable's own.
    static AppFolder ofProgram(const QString &templatesRelative);
    // The same decision for a given executable's folder and user's data folder.
    static AppFolder choose(const QString &exeDir, const QString &templatesRelative,
                            const QString &userDataDir);
    // The user's first start: copies into `target` every template file it does not have
    // (never over an existing file) and then marks the folder as laid out. A folder
    // already marked is left exactly as it is, so a file the user removed later is not
    // brought back. False when a file could not be copied (the next start tries again).
    static bool layOut(const QString &templates, const QString &target);
    static QString layoutMarkName();  // the mark left in a laid-out folder

    QString dir() const { return m_dir; }
    QString filePath(const QString &relative) const;

    QString archivePath() const;             // dbpiante.mdb
    QString imgDir() const;                  // img
    QString placeholderPath() const;         // img/nd.jpg
    QString plantDir(qint64 plantId) const;  // img/<key>
    QString plantPicture(qint64 plantId, const QString &fileName) const;
    QString treatmentsPath() const;          // trattamenti.txt
    QString tempBitmapPath() const;          // $_tmp.BMP
    QString labelChoicesPath() const;        // etichette.ini

private:
    QString m_dir;
};
