#include "ui/lists/eventrows.h"

#include "archive/conversions.h"

#include <QDate>

namespace {
// Numbers in the list: none for NULL and for zero.
QString listNumber(const QVariant &v) {
    if (v.isNull())
        return {};
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok)
        return v.toString();
    return d == 0 ? QString() : Conversions::number(d);
}

// Rows in the order the idle reads take them: top first, the rows shown first.
QList<qsizetype> topFirst(qsizetype n) {
    QList<qsizetype> order(n);
    for (qsizetype i = 0; i < n; ++i)
        order[i] = i;
    return order;
}
} // namespace

EventRows::EventRows(const QList<qint64> &rowids, Fetch fetch)
    : m_fetch(std::move(fetch)),
      m_reads(topFirst(rowids.size()), [this](const QList<qsizetype> &rows, bool) { read(rows); }) {
    const qsizetype n = rowids.size();
    m_rows.resize(n);
    m_rowOf.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        m_rows[n - 1 - i].rowid = rowids.at(i); // every row goes to the top
        m_rowOf.insert(rowids.at(i), n - 1 - i);
    }
    // Most plants have a few dozen events: those are read at once, in one statement.
    if (n <= smallList)
        m_reads.fetchAll();
    else
        m_reads.startIdle();
}

QString EventRows::text(qsizetype row, int column) const {
    const Entry &e = m_rows.at(row);
    if (column == 7)
        return QString::number(e.rowid);
    return e.cells.value(column - 1);
}

// An event gone from the archive meanwhile, or a read that failed, leaves its cells empty.
void EventRows::read(const QList<qsizetype> &rows) {
    QList<qint64> rowids;
    rowids.reserve(rows.size());
    for (qsizetype r : rows)
        rowids.append(m_rows.at(r).rowid);
    if (const auto events = m_fetch(rowids)) {
        for (const EventListRow &e : *events) {
            const qsizetype row = m_rowOf.value(e.rowid, -1);
            if (row < 0 || m_reads.known(row))
                continue;
            m_rows[row].cells = {listNumber(e.temperatura),
                                 listNumber(e.umidita),
                                 e.intervento.toString(),
                                 Conversions::listDate(e.datatratt),
                                 e.descrizione.toString(),
                                 e.idtrat.isNull() ? QString()
                                                   : QString::number(e.idtrat.toLongLong())};
            m_reads.markKnown(row);
        }
    }
    for (qsizetype r : rows)
        m_reads.markKnown(r);
    if (m_reads.missing() == 0)
        m_fetch = {}; // lets go of what the reads kept (the open archive)
}

void EventRows::fetchColumn(int column, const Between &between) {
    if (late(column))
        m_reads.fetchAll(between);
}
