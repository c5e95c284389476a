#include "photohistory/thumbnailcache.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

ThumbnailCache::ThumbnailCache(QString folder, int edge)
    : m_folder(std::move(folder)), m_edge(edge) {}

QString ThumbnailCache::cachedPath(const QString &photo) const {
    const QFileInfo info(photo);
    return QDir(m_folder).filePath(QStringLiteral("%1.%2-%3-%4.jpg")
                                       .arg(info.fileName())
                                       .arg(info.size())
                                       .arg(info.lastModified().toMSecsSinceEpoch())
                                       .arg(m_edge));
}

QImage ThumbnailCache::thumbnail(const QString &photo) const {
    const QString cached = cachedPath(photo);
    QImageReader kept(cached, "jpg");
    QImage image = kept.read();
    if (!image.isNull() && std::max(image.width(), image.height()) <= m_edge)
        return image;
    image = decode(photo, QSize(m_edge, m_edge));
    if (image.isNull())
        return image;
    // Older thumbnails of this photo go; the new one is written whole or not at all.
    QDir dir(m_folder);
    if (!dir.exists())
        QDir().mkdir(m_folder);
    const QString name = QFileInfo(photo).fileName();
    for (const QString &old : dir.entryList({name + QStringLiteral(".*")}, QDir::Files))
        if (dir.filePath(old) != cached)
            QFile::remove(dir.filePath(old));
    QSaveFile out(cached);
    if (out.open(QIODevice::WriteOnly) && image.save(&out, "JPG", 85))
        out.commit();
    return image;
}

QImage ThumbnailCache::decode(const QString &path, const QSize &bound) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QSize stored = reader.size();
    if (!stored.isValid())
        return reader.read(); // no size known beforehand: read whole, then fit
    // The reader scales before it turns: a photo on its side is scaled to the turned bound.
    const bool onSide = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize box = onSide ? bound.transposed() : bound;
    if (stored.width() > box.width() || stored.height() > box.height())
        reader.setScaledSize(stored.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return reader.read();
}
