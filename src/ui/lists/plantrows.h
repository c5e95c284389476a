#pragma once

#include "archive/records.h"
#include "ui/lists/latereads.h"
#include "ui/lists/reportrows.h"

#include <QHash>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// The rows of the plant list, the plant read last at the top, kept lean: the texts are made
// when a cell is shown. A big list may start from the plants' keys alone: the other columns
// (the plant's texts and the three derived ones: last watering or fertilising, flowering,
// other event) are then read for the rows about to be shown, and for the others a block at a
// time while the program is idle, each block short enough for the window to stay responsive.
// A sort needs them all, and reads the rest at once.
class PlantRows : public ReportRows {
public:
    // Reads the other columns of the plants with these rowids; nothing when that failed.
    // `rest` is set when they are all the rows still unread, at once. It is let go once every
    // row is read.
    using Fetch = std::function<std::optional<QList<PlantListRow>>(const QList<qint64> &rowids,
                                                                   bool rest)>;

    // Reads the own columns of every plant, in stored order (for a sort on one of them: far
    // less than the derived columns of every plant); nothing when that failed.
    using FetchTexts = std::function<std::optional<QList<PlantListRow>>()>;

    // Lists up to this size are read whole when made.
    static constexpr qsizetype smallList = 2000;

    // Rows read whole, in stored order.
    explicit PlantRows(const QList<PlantListRow> &plants);
    // Plants by key, in any order: their other columns come from `fetch`, or for a sort on a
    // text of their own from `texts`.
    PlantRows(const QList<PlantKey> &keys, Fetch fetch, FetchTexts texts = {});
    ~PlantRows() override;

    qsizetype size() const override { return m_rows.size(); }
    QString text(qsizetype row, int column) const override;
    bool holds(qsizetype row, int column, const QString &text) const override;
    // Past the last column, the row's rowid (sub-item 8).
    int width(qsizetype) const override { return 9; }
    bool late(int column) const override { return column >= 1 && column <= 6; }
    bool ready(qsizetype row) const override { return !m_reads || m_reads->known(row); }
    void fetch(const QList<qsizetype> &rows) override;
    void fetchColumn(int column, const Between &between = {}) override;
    bool complete() const override { return !m_reads || m_reads->missing() == 0; }

private:
    struct Entry {
        QString specie, identificazione, vaso; // as shown
        qint64 id = 0;
        qint64 rowid = 0;
        bool wholeKey = true; // false: the stored key is no whole number and is not shown
        qint32 waterOrFeed, flowering, other; // dates, see day()
        qint32 otherKind = -1;                // in m_kinds; -1: no other event
        bool fertilising = false;
    };

    void take(qsizetype row, const PlantListRow &read);
    qint32 dayOf(qsizetype row, int which, const std::optional<LastEvent> &event);
    QString day(qsizetype row, int which, qint32 value) const;
    void read(const QList<qsizetype> &rows, bool rest);
    bool readTexts();

    QList<Entry> m_rows;    // top first: the reverse of the stored order
    QStringList m_kinds;    // kinds of other events, each kept once
    QHash<QString, qint32> m_kindIndex;
    QHash<qsizetype, QString> m_rawDays; // stored values that are no date, by row * 3 + which
    Fetch m_fetch;
    FetchTexts m_fetchTexts; // let go once used
    bool m_textsRead = false; // every row has its own texts
    std::unique_ptr<LateReads> m_reads; // none: every row was read whole
};
