#pragma once

#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>

// Which rows of a list have been read, and the reads of the others: the rows about to be
// shown at once, the rest a block at a time while the program is idle, each block short
// enough for the window to stay responsive.
class LateReads : public QObject {
public:
    // Reads these rows (none read yet) and marks them known; `rest` is set when they are
    // every row still unread, at once.
    using Read = std::function<void(const QList<qsizetype> &rows, bool rest)>;

    // `order`: every row of the list, in the order the idle reads take them.
    LateReads(QList<qsizetype> order, Read read);

    bool known(qsizetype row) const { return m_known.at(row); }
    void markKnown(qsizetype row);
    qsizetype missing() const { return m_missing; }

    // Reads those of these rows not read yet, now.
    void fetch(const QList<qsizetype> &rows);
    // Reads every row not read yet, now: at once, or with `between` in blocks of the idle
    // reads' size, calling it after each with the rows read so far and the rows to read.
    void fetchAll(const std::function<void(qsizetype, qsizetype)> &between = {});
    // Starts the idle reads.
    void startIdle();

private:
    void readBlock();
    void idle();

    QList<bool> m_known;
    QList<qsizetype> m_order;
    qsizetype m_next = 0; // in m_order: where the idle reads go on
    qsizetype m_missing = 0;
    Read m_read;
    qsizetype m_block = 500; // rows per idle read, fitted to the time one takes
    QTimer m_timer;
};
