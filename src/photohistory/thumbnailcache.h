#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Small copies of a plant's photos, kept in a folder beside them. A thumbnail's name carries
// the size and the time of change of the photo it was made from, and the edge it was made
// for, so a photo replaced or touched is never shown by an old thumbnail: its thumbnail is
// made again, as is one that is missing or cannot be read.
class ThumbnailCache {
public:
    ThumbnailCache(QString folder, int edge);

    // The photo's thumbnail, upright, no side longer than the edge; null when the photo
    // cannot be read. Safe to call from any thread.
    QImage thumbnail(const QString &photo) const;
    // Where the thumbnail of the photo as it is now is kept.
    QString cachedPath(const QString &photo) const;

    // A photo decoded upright to fit `bound` (device pixels), read at that size rather than
    // whole and then shrunk: a large photo is read in a fraction of the time.
    static QImage decode(const QString &path, const QSize &bound);

private:
    QString m_folder;
    int m_edge;
};
