#pragma once

#include "archive/photoarchive.h"
#include "photohistory/thumbnailcache.h"
#include "ui/appcontext.h"
#include "ui/mainlist.h"

#include <QDialog>
#include <QHash>
#include <QImage>
#include <memory>

class ComparePane;
class QLabel;
class QListWidget;
class QPushButton;
class ThumbnailLoader;

// The dated photos of one plant: a line of thumbnails from the oldest to the newest, each
// with its date, its note and the care of that day; two of them chosen are shown side by
// side. Photos are added, dated, noted and deleted here, and one can become the card's
// picture.
class PhotoHistoryDialog : public QDialog {
    Q_OBJECT
public:
    PhotoHistoryDialog(AppContext &ctx, qint64 key, MainList::PictureChoice useAsCardPicture,
                       QWidget *parent = nullptr);
    ~PhotoHistoryDialog() override;

    // The photos as the timeline shows them, oldest first.
    const QList<Photo> &photos() const { return m_photos; }
    // How many thumbnails have arrived since the last fill.
    int thumbnailsShown() const { return m_shown; }

    QListWidget *timeline = nullptr;
    QPushButton *addButton = nullptr;
    QPushButton *editButton = nullptr;
    QPushButton *deleteButton = nullptr;
    QPushButton *useButton = nullptr;
    QPushButton *closeButton = nullptr;
    ComparePane *leftPane = nullptr;
    ComparePane *rightPane = nullptr;

public slots:
    void addPhotos();
    void editPhoto();
    void deletePhoto();
    void useAsCardPicture();
    // Reads the photos again and fills the timeline; the thumbnails follow.
    void showPhotos();

signals:
    void thumbnailsLoaded();

private:
    void thumbnailArrived(int index, const QImage &thumbnail);
    void showChosen();
    const Photo *current() const;
    QString pathOf(const Photo &photo) const;

    AppContext &m_ctx;
    qint64 m_key;
    MainList::PictureChoice m_useAsCardPicture;
    ThumbnailCache m_cache;
    QList<Photo> m_photos;
    QHash<int, QImage> m_thumbnails;
    std::unique_ptr<ThumbnailLoader> m_loader;
    int m_shown = 0;
    QLabel *m_leftLabel = nullptr;
    QLabel *m_rightLabel = nullptr;
};
