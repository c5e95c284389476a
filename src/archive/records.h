#pragma once

#include <QDate>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>

// One row as read from the archive: field name -> value. A NULL stays a null QVariant;
// dates stored as ISO text come back as QDate, numbers as double, keys as qint64 (a stored
// key that is no whole number stays as stored).
using Record = QVariantMap;

// Values handed to a write, field name -> the text the user typed, in writing order. The
// archive converts each text to its field's kind.
using FieldTexts = QList<QPair<QString, QString>>;

// The newest event of one kind for a plant, as the plant list shows it.
struct LastEvent {
    QString intervento;
    QVariant datatratt; // QDate, or the raw stored value when it is not a date
};

// A plant by its key and its row.
struct PlantKey {
    qint64 rowid = 0;
    qint64 id = 0; // 0 when the stored key is no whole number (wholeKey false)
    bool wholeKey = true;
};

// One row of the plant list: the plant's own columns and its three derived ones.
struct PlantListRow {
    qint64 rowid = 0;      // the row itself: keys written by another tool may repeat
    qint64 id = 0;         // 0 when the stored key is no whole number (wholeKey false)
    bool wholeKey = true;
    QVariant specie, identificazione, vaso;
    std::optional<LastEvent> waterOrFeed; // newest "Annaffiatura" or "Concimazione"
    std::optional<LastEvent> flowering;   // newest "Fioritura"
    std::optional<LastEvent> other;       // newest event of any other kind
};

// One row of a plant's event list, the values read as Record holds them.
struct EventListRow {
    QVariant temperatura, umidita, intervento, datatratt, descrizione;
    QVariant idtrat;  // null when the stored key is no whole number
    qint64 rowid = 0; // the row itself: keys written by another tool may repeat
};

// A care event by its key and its row.
struct EventKey {
    qint64 rowid = 0;
    qint64 idtrat = 0; // 0: no event (a new one)
};

enum class SearchField { Specie, Identificazione };

// One plant and kind of care with a rhythm, as the window of care that is due lists it.
struct DueRow {
    qint64 plantId = 0;
    qint64 plantRowid = 0; // the plant's row: keys written by another tool may repeat
    QString specie, identificazione, intervento;
    QDate last;               // the newest day of this care; invalid when it was never done
    int every = 0;            // the rhythm in days (0 when silenced)
    bool byHand = false;      // set by hand rather than learned from the log
    bool silenced = false;    // set by hand to "do not remind"
    QDate next;               // when it is next expected; invalid when silenced
    int late = 0;             // days past `next`; negative: days still to go
    bool outOfSeason = false; // fertilising, outside the plant's fertilising period
};

// One event to record in a round of care: the plant and the kind.
struct CareToRecord {
    qint64 plantId = 0;
    QString intervento;
};
