#include "ui/lists/latereads.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {
// An idle read takes about this long; the window answers in between.
constexpr qint64 blockMs = 40;
} // namespace

LateReads::LateReads(QList<qsizetype> order, Read read)
    : m_known(order.size(), false), m_order(std::move(order)), m_missing(m_order.size()),
      m_read(std::move(read)) {
    // A timer rather than a posted call: the window's own timers and input get their turn
    // between two blocks.
    m_timer.setSingleShot(true);
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &LateReads::idle);
}

void LateReads::markKnown(qsizetype row) {
    if (!m_known.at(row)) {
        m_known[row] = true;
        --m_missing;
    }
}

void LateReads::fetch(const QList<qsizetype> &rows) {
    QList<qsizetype> wanted;
    for (qsizetype r : rows)
        if (!m_known.at(r))
            wanted.append(r);
    if (!wanted.isEmpty())
        m_read(wanted, false);
}

void LateReads::fetchAll(const std::function<void(qsizetype, qsizetype)> &between) {
    if (m_missing == 0)
        return;
    if (!between) {
        QList<qsizetype> wanted;
        wanted.reserve(m_missing);
        for (qsizetype i = m_next; i < m_order.size(); ++i)
            if (!m_known.at(m_order.at(i)))
                wanted.append(m_order.at(i));
        m_next = m_order.size();
        m_read(wanted, true);
        return;
    }
    // Rows before m_next are all read: the idle reads go in order, other reads mark theirs.
    // `between` may let the window read rows too: those are skipped here.
    m_timer.stop();
    const qsizetype total = m_missing;
    while (m_missing > 0 && m_next < m_order.size()) {
        readBlock();
        between(total - m_missing, total);
    }
}

void LateReads::startIdle() {
    if (m_missing > 0)
        m_timer.start();
}

// Reads the next rows not read yet in the idle reads' order, as many as take about blockMs.
void LateReads::readBlock() {
    QElapsedTimer t;
    t.start();
    QList<qsizetype> wanted;
    wanted.reserve(m_block);
    while (m_next < m_order.size() && wanted.size() < m_block) {
        const qsizetype r = m_order.at(m_next++);
        if (!m_known.at(r))
            wanted.append(r);
    }
    if (!wanted.isEmpty())
        m_read(wanted, false);
    const qint64 ms = std::max<qint64>(t.elapsed(), 1);
    m_block = std::clamp<qsizetype>(m_block * blockMs / ms, 100, 50000);
}

void LateReads::idle() {
    if (m_missing == 0)
        return;
    readBlock();
    // No repaint is asked for: a row is read before it is painted, so the rows on screen
    // were read already.
    if (m_missing > 0)
        m_timer.start();
}
