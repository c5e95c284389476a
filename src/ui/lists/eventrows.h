#pragma once

#include "archive/records.h"
#include "ui/lists/latereads.h"
#include "ui/lists/reportrows.h"

#include <QHash>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// The rows of a plant's event list, the newest on top, from the events' rowids alone: the
// shown fields are read for the rows about to be shown, and for the others a block at a
// time while the program is idle. A sort needs them all, and reads the rest at once.
class EventRows : public ReportRows {
public:
    // Reads the events with these rowids (in any order); nothing when that failed. It is let
    // go once every row is read.
    using Fetch = std::function<std::optional<QList<EventListRow>>(const QList<qint64> &rowids)>;

    // Lists up to this size are read whole when made.
    static constexpr qsizetype smallList = 2000;

    // `rowids` oldest first.
    EventRows(const QList<qint64> &rowids, Fetch fetch);

    qsizetype size() const override { return m_rows.size(); }
    QString text(qsizetype row, int column) const override;
    // Past the last column, the row's rowid (sub-item 7).
    int width(qsizetype) const override { return 8; }
    bool late(int column) const override { return column >= 1 && column <= 6; }
    bool ready(qsizetype row) const override { return m_reads.known(row); }
    void fetch(const QList<qsizetype> &rows) override { m_reads.fetch(rows); }
    void fetchColumn(int column, const Between &between = {}) override;
    bool complete() const override { return m_reads.missing() == 0; }

private:
    struct Entry {
        QStringList cells; // temperatura, umidita, intervento, data, descrizione, idtrat
        qint64 rowid = 0;
    };

    void read(const QList<qsizetype> &rows);

    QList<Entry> m_rows; // top first
    QHash<qint64, qsizetype> m_rowOf;
    Fetch m_fetch;
    LateReads m_reads;
};
