#pragma once

#include "archive/records.h"
#include "ui/reportrows.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

// The rows of the plant list, the plant read last at the top, kept lean: the texts are made
// when a cell is shown. The three derived columns (last watering or fertilising, flowering,
// other event) may come later than the plants: then they are read for the rows about to be
// shown, and for the others a block at a time while the program is idle, each block short
// enough for the window to stay responsive. A sort needs them all, and reads the rest at once.
class PlantRows : public QObject, public ReportRows {
public:
    // Reads the derived columns of the plants with these rowids; nothing when that failed.
    // `rest` is set when they are all the rows still unread, at once. It is let go once every
    // row is read.
    using Fetch = std::function<std::optional<QList<PlantListRow>>(const QList<qint64> &rowids,
                                                                   bool rest)>;

    // Lists up to this size are read whole when made.
    static constexpr qsizetype smallList = 2000;

    // `plants` in stored order. Without `fetch` their derived columns are those given.
    explicit PlantRows(const QList<PlantListRow> &plants, Fetch fetch = {});

    qsizetype size() const override { return m_rows.size(); }
    QString text(qsizetype row, int column) const override;
    // Past the last column, the row's rowid (sub-item 8).
    int width(qsizetype) const override { return 9; }
    bool ready(qsizetype row) const override { return m_rows.at(row).known; }
    void fetch(const QList<qsizetype> &rows) override;
    void fetchColumn(int column) override;
    bool complete() const override { return m_missing == 0; }

private:
    struct Entry {
        QString specie, identificazione, vaso; // as shown
        qint64 id = 0;
        qint64 rowid = 0;
        bool wholeKey = true; // false: the stored key is no whole number and is not shown
        qint32 waterOrFeed, flowering, other; // dates, see day()
        qint32 otherKind = -1;                // in m_kinds; -1: no other event
        bool fertilising = false;
        bool known = false; // derived columns read
    };

    void take(qsizetype row, const PlantListRow &derived);
    qint32 dayOf(qsizetype row, int which, const std::optional<LastEvent> &event);
    QString day(qsizetype row, int which, qint32 value) const;
    void read(const QList<qsizetype> &rows, bool rest = false);
    void background();

    QList<Entry> m_rows;    // top first: the reverse of the stored order
    QList<qsizetype> m_byKey; // rows in key order, the order of the background reads
    qsizetype m_nextByKey = 0;
    qsizetype m_missing = 0;  // rows whose derived columns are not read yet
    QStringList m_kinds;      // kinds of other events, each kept once
    QHash<QString, qint32> m_kindIndex;
    QHash<qsizetype, QString> m_rawDays; // stored values that are no date, by row * 3 + which
    Fetch m_fetch;
    qsizetype m_block = 500; // rows per background read, fitted to the time one takes
};
