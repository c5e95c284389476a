#pragma once

#include "archive/appfolder.h"
#include "archive/photoarchive.h"

#include <QStringList>

// The photo files of the plants and their rows, changed together. A photo is added as one
// step: a note in the picture folder names the plant and the file's new name first; the
// photo is copied beside under a hidden name, then linked to its new name (never over a file
// already there), the row is stored, and the note goes. A kill at any moment leaves the note,
// and at the next start settle() keeps the file when a row names it, else removes it, so no
// row is without its file and no file is left that no row names.
class PhotoFiles {
public:
    explicit PhotoFiles(const AppFolder &folder);

    // Copies `source` (left where it is) into the plant's folder and stores its row; the
    // stored photo, or nothing with the reason.
    std::optional<Photo> add(qint64 plantId, const QString &source, const QDate &date,
                             const QString &nota, QString *error);
    // The row first, then the file and its thumbnails.
    bool remove(const Photo &photo, QString *error);
    // After the rows are gone: the files and their thumbnails.
    void removeFiles(qint64 plantId, const QStringList &files) const;

    QString path(const Photo &photo) const;
    // Where the thumbnails of a plant's photos are kept.
    QString thumbnailFolder(qint64 plantId) const;

    // At startup: completes or undoes an add that a kill interrupted.
    static void settle(const AppFolder &folder);

private:
    bool writeNote(qint64 plantId, const QString &name, QString *error) const;
    AppFolder m_folder;
};
