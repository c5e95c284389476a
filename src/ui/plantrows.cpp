#include "ui/plantrows.h"

#include "archive/conversions.h"

#include <QDate>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {
// Dates are kept as Julian days, or one of these.
constexpr qint32 noEvent = std::numeric_limits<qint32>::min();
constexpr qint32 noDate = noEvent + 1;  // an event without a date
constexpr qint32 rawDate = noEvent + 2; // a stored value that is no date: its text is kept

// A stored text as the list shows it: NULL, empty or blanks give an empty cell. (Blanks
// are told without trimming: a copy of every text of a big list costs.)
QString cell(const QVariant &v) {
    if (v.isNull())
        return {};
    const QString s = v.toString();
    return std::all_of(s.cbegin(), s.cend(), [](QChar c) { return c.isSpace(); }) ? QString()
                                                                                   : s;
}

QString listDate(const QVariant &v) {
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDate)
        return Conversions::listDate(v.toDate());
    return v.toString();
}

// A background read takes about this long; the window answers in between.
constexpr qint64 blockMs = 40;
} // namespace

PlantRows::PlantRows(const QList<PlantListRow> &plants, Fetch fetch) : m_fetch(std::move(fetch)) {
    const qsizetype n = plants.size();
    m_rows.resize(n);
    for (qsizetype i = 0; i < n; ++i) {
        const PlantListRow &p = plants.at(i);
        Entry &e = m_rows[n - 1 - i]; // every row goes to the top
        e.specie = cell(p.specie);
        e.identificazione = cell(p.identificazione);
        e.vaso = cell(p.vaso);
        e.id = p.id;
        e.rowid = p.rowid;
        e.wholeKey = p.wholeKey;
        e.waterOrFeed = e.flowering = e.other = noEvent;
        if (!m_fetch)
            take(n - 1 - i, p);
    }
    if (!m_fetch)
        return;
    m_missing = n;
    m_byKey.resize(n);
    for (qsizetype i = 0; i < n; ++i)
        m_byKey[i] = i;
    std::sort(m_byKey.begin(), m_byKey.end(),
              [this](qsizetype a, qsizetype b) { return m_rows.at(a).id < m_rows.at(b).id; });
    // A small list is read whole at once, in one statement: that costs less than reading it
    // in parts and stays well below a stall anyone notices.
    if (n <= smallList)
        fetchColumn(3);
    else
        QTimer::singleShot(0, this, &PlantRows::background);
}

qint32 PlantRows::dayOf(qsizetype row, int which, const std::optional<LastEvent> &event) {
    if (!event)
        return noEvent;
    const QVariant &v = event->datatratt;
    if (v.isNull())
        return noDate;
    if (v.typeId() == QMetaType::QDate) {
        const qint64 jd = v.toDate().toJulianDay();
        if (jd > rawDate && jd <= std::numeric_limits<qint32>::max())
            return static_cast<qint32>(jd);
    }
    m_rawDays.insert(row * 3 + which, listDate(v));
    return rawDate;
}

QString PlantRows::day(qsizetype row, int which, qint32 value) const {
    if (value == noDate)
        return {};
    if (value == rawDate)
        return m_rawDays.value(row * 3 + which);
    return Conversions::listDate(QDate::fromJulianDay(value));
}

void PlantRows::take(qsizetype row, const PlantListRow &d) {
    Entry &e = m_rows[row];
    e.waterOrFeed = dayOf(row, 0, d.waterOrFeed);
    e.fertilising = d.waterOrFeed && d.waterOrFeed->intervento == QLatin1String("Concimazione");
    e.flowering = dayOf(row, 1, d.flowering);
    e.other = dayOf(row, 2, d.other);
    if (d.other) {
        auto it = m_kindIndex.constFind(d.other->intervento);
        if (it == m_kindIndex.constEnd()) {
            it = m_kindIndex.insert(d.other->intervento, static_cast<qint32>(m_kinds.size()));
            m_kinds << d.other->intervento;
        }
        e.otherKind = *it;
    }
    e.known = true;
}

QString PlantRows::text(qsizetype row, int column) const {
    const Entry &e = m_rows.at(row);
    switch (column) {
    case 1:
        return e.specie;
    case 2:
        return e.identificazione;
    case 3:
        if (e.waterOrFeed == noEvent)
            return {};
        return day(row, 0, e.waterOrFeed) + QLatin1Char(' ') +
               QLatin1Char(e.fertilising ? 'C' : 'A');
    case 4:
        return e.flowering == noEvent ? QString() : day(row, 1, e.flowering);
    case 5:
        return e.vaso;
    case 6:
        if (e.otherKind < 0)
            return {};
        return m_kinds.at(e.otherKind) + QLatin1Char(' ') + day(row, 2, e.other);
    case 7:
        return e.wholeKey ? QString::number(e.id) : QString();
    case 8:
        return QString::number(e.rowid);
    default:
        return {};
    }
}

// Reads the derived columns of these rows (all not read yet). A plant gone from the archive
// meanwhile, or a read that failed, leaves its derived cells empty.
void PlantRows::read(const QList<qsizetype> &rows, bool rest) {
    if (rows.isEmpty())
        return;
    QList<qint64> rowids;
    rowids.reserve(rows.size());
    for (qsizetype r : rows)
        rowids.append(m_rows.at(r).rowid);
    const auto derived = m_fetch(rowids, rest);
    if (derived) {
        // Rows stand in the reverse of the stored order: rowids descending.
        for (const PlantListRow &d : *derived) {
            const auto at = std::lower_bound(
                m_rows.cbegin(), m_rows.cend(), d.rowid,
                [](const Entry &e, qint64 rowid) { return e.rowid > rowid; });
            if (at != m_rows.cend() && at->rowid == d.rowid && !at->known) {
                take(at - m_rows.cbegin(), d);
                --m_missing;
            }
        }
    }
    for (qsizetype r : rows) {
        if (!m_rows.at(r).known) {
            m_rows[r].known = true;
            --m_missing;
        }
    }
    if (m_missing == 0)
        m_fetch = {}; // lets go of what the reads kept (the open archive)
}

void PlantRows::fetch(const QList<qsizetype> &rows) {
    QList<qsizetype> wanted;
    for (qsizetype r : rows)
        if (!m_rows.at(r).known)
            wanted.append(r);
    read(wanted);
}

void PlantRows::fetchColumn(int column) {
    if (m_missing == 0 || (column != 3 && column != 4 && column != 6))
        return;
    QList<qsizetype> wanted;
    wanted.reserve(m_missing);
    for (qsizetype i = m_nextByKey; i < m_byKey.size(); ++i)
        if (!m_rows.at(m_byKey.at(i)).known)
            wanted.append(m_byKey.at(i));
    read(wanted, true);
    m_nextByKey = m_byKey.size();
}

void PlantRows::background() {
    if (m_missing == 0)
        return;
    QElapsedTimer t;
    t.start();
    QList<qsizetype> wanted;
    wanted.reserve(m_block);
    while (m_nextByKey < m_byKey.size() && wanted.size() < m_block) {
        const qsizetype r = m_byKey.at(m_nextByKey++);
        if (!m_rows.at(r).known)
            wanted.append(r);
    }
    read(wanted);
    const qint64 ms = std::max<qint64>(t.elapsed(), 1);
    m_block = std::clamp<qsizetype>(m_block * blockMs / ms, 100, 50000);
    // No repaint is asked for: a row is read before it is painted, so the rows on screen
    // were read already.
    if (m_missing > 0)
        QTimer::singleShot(0, this, &PlantRows::background);
}
