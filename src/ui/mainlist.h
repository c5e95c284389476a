#pragma once

#include "archive/records.h"

#include <QImage>
#include <QList>
#include <QString>
#include <functional>

class QWidget;

// What the windows opened from the main window need of it: its list filled again after a
// change, the picture its side panel shows now, a way to bring one plant's events forward,
// and the opening of a plant's photo history. The main window implements it; the windows it
// opens know nothing else of it.
class MainList {
public:
    virtual ~MainList() = default;

    // Fills the list again as it is: the selected plant's events while events are listed,
    // else the plants the search box finds, or every plant when it is empty.
    virtual void showListAgain() = 0;
    // Fills the list with the events of the plant `idpianta`; false when that failed.
    virtual bool showEventsOfSelectedPlant() = 0;

    // Selects the plant (`rowid` its row, 0 when not known) and lists its events, its picture
    // in the side panel; false when that failed.
    virtual bool showEventsOfPlant(qint64 plantId, qint64 rowid) = 0;

    // The plants the list shows now, top first: every plant or the search's result. While a
    // plant's events are listed, that plant.
    virtual QList<PlantKey> listedPlants() const = 0;
    // The side-panel frame as it is painted now.
    virtual QImage sidePanelPicture() const = 0;
    // The same frame drawn afresh at `scale` pixels to each of the frame's, its picture read
    // again from the picture file as large as that needs.
    virtual QImage sidePanelPicture(qreal scale) const = 0;

    // Takes a photo chosen as the card's picture; false with the reason.
    using PictureChoice = std::function<bool(const QString &photo, QString *error)>;
    // Opens the photo history of the plant `key` over `over`. A photo chosen there as the
    // card's picture goes to `useAsCardPicture` (an open card editor takes it as its own
    // choice); without one the card is changed at once.
    virtual void openPhotoHistory(qint64 key, QWidget *over,
                                  const PictureChoice &useAsCardPicture = {}) = 0;
};
