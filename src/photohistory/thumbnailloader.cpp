#include "photohistory/thumbnailloader.h"

ThumbnailLoader::ThumbnailLoader(ThumbnailCache cache, QStringList photos, QObject *parent)
    : QThread(parent), m_cache(std::move(cache)), m_photos(std::move(photos)) {}

ThumbnailLoader::~ThumbnailLoader() {
    requestInterruption();
    wait();
}

void ThumbnailLoader::run() {
    for (int i = 0; i < m_photos.size() && !isInterruptionRequested(); ++i)
        emit loaded(i, m_cache.thumbnail(m_photos.at(i)));
}
