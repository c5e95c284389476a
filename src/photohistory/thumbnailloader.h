#pragma once

#include "photohistory/thumbnailcache.h"

#include <QImage>
#include <QStringList>
#include <QThread>

// Reads the thumbnails of a list of photos in order, away from the window's thread, and hands
// each over as it is ready, so the timeline fills in while the window answers.
class ThumbnailLoader : public QThread {
    Q_OBJECT
public:
    ThumbnailLoader(ThumbnailCache cache, QStringList photos, QObject *parent = nullptr);
    ~ThumbnailLoader() override; // stops between two photos and waits

signals:
    void loaded(int index, const QImage &thumbnail);

protected:
    void run() override;

private:
    ThumbnailCache m_cache;
    QStringList m_photos;
};
