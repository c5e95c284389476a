#pragma once

#include "archive/appfolder.h"
#include "archive/records.h"

#include <QString>

// A card's new picture and its row change as one step, even when the new picture has the
// old one's name (two cameras both write IMG_0001.JPG). The new picture is copied beside the
// old one under a hidden name; while the row's transaction is open, a note in the picture
// folder records which row state the new picture belongs to; after the commit the new picture
// is renamed over the old one and the note goes. A kill at any moment leaves either the note
// or nothing: at the next start settle() finishes the rename when the row is the noted one,
// else removes the new picture, so the card always shows its old picture with its old row or
// the new with the new.
class PictureChange {
public:
    PictureChange(const AppFolder &folder, qint64 key, qint64 rowid, QString name);
    ~PictureChange(); // a change not finished is abandoned: its new picture is removed

    bool stage(const QString &source, QString *error);
    // Inside the row's transaction, once the row is written.
    bool noteRow(const Record &row, QString *error);
    // After the commit.
    bool finish(QString *error);

    // At startup: completes or abandons a change that a kill interrupted. What to tell the
    // user when the note was no note and was moved aside; else empty.
    static QString settle(const AppFolder &folder);

private:
    QString stagedPath() const;
    bool writeNote(const QByteArray &digest, QString *error);
    void abandon();

    AppFolder m_folder;
    qint64 m_key, m_rowid;
    QString m_name;
    bool m_staged = false;
};
