#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// When a photo was taken, as its camera wrote it: the EXIF DateTimeOriginal of a JPEG.
// Only that one tag is read, from the first segments of the file; anything malformed is no
// date, never a failure.
class ExifDate {
public:
    // The date, or an invalid one when the file has none.
    static QDateTime original(const QString &path);
    // The same from the start of a JPEG file.
    static QDateTime fromJpeg(const QByteArray &head);
    // The photo's date as the history stores it: the camera's, else the file's own.
    static QDate taken(const QString &path);
};
