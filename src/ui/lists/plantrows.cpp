#include "ui/lists/plantrows.h"

#include "archive/conversions.h"

#include <QDate>
#include <QThreadPool>

#include <algorithm>
#include <utility>
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

} // namespace

PlantRows::PlantRows(const QList<PlantListRow> &plants) {
    const qsizetype n = plants.size();
    m_rows.resize(n);
    for (qsizetype i = 0; i < n; ++i) {
        const PlantListRow &p = plants.at(i);
        Entry &e = m_rows[n - 1 - i]; // every row goes to the top
        e.id = p.id;
        e.rowid = p.rowid;
        e.wholeKey = p.wholeKey;
        take(n - 1 - i, p);
    }
}

PlantRows::PlantRows(const QList<PlantKey> &keys, Fetch fetch, FetchTexts texts)
    : m_fetch(std::move(fetch)), m_fetchTexts(std::move(texts)) {
    const qsizetype n = keys.size();
    // Rows stand by rowid, the newest on top; the background reads go in the order given.
    QList<qsizetype> byRowid(n);
    for (qsizetype i = 0; i < n; ++i)
        byRowid[i] = i;
    auto newer = [&keys](qsizetype a, qsizetype b) { return keys.at(a).rowid > keys.at(b).rowid; };
    // Keys made from the clock mostly grow with the rowid: then the order is only reversed.
    std::reverse(byRowid.begin(), byRowid.end());
    if (!std::is_sorted(byRowid.cbegin(), byRowid.cend(), newer))
        std::sort(byRowid.begin(), byRowid.end(), newer);
    m_rows.resize(n);
    QList<qsizetype> byKey(n);
    for (qsizetype row = 0; row < n; ++row) {
        const PlantKey &k = keys.at(byRowid.at(row));
        Entry &e = m_rows[row];
        e.id = k.id;
        e.rowid = k.rowid;
        e.wholeKey = k.wholeKey;
        e.waterOrFeed = e.flowering = e.other = noEvent;
        byKey[byRowid.at(row)] = row;
    }
    m_reads = std::make_unique<LateReads>(
        std::move(byKey), [this](const QList<qsizetype> &rows, bool rest) { read(rows, rest); });
    // A small list is read whole at once, in one statement: that costs less than reading it
    // in parts and stays well below a stall anyone notices.
    if (n <= smallList)
        m_reads->fetchAll();
    else
        m_reads->startIdle();
}

PlantRows::~PlantRows() {
    // The texts of a big list take a while to free: that is done beside the window.
    if (m_rows.size() > smallList)
        QThreadPool::globalInstance()->start([rows = std::move(m_rows)]() mutable { rows = {}; });
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
    m_rawDays.insert(row * 3 + which, Conversions::listDate(v));
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
    e.specie = cell(d.specie);
    e.identificazione = cell(d.identificazione);
    e.vaso = cell(d.vaso);
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
}

bool PlantRows::holds(qsizetype row, int column, const QString &wanted) const {
    // The key and the rowid are compared as numbers: no text is made for every row.
    const Entry &e = m_rows.at(row);
    bool ok = false;
    const qint64 n = wanted.toLongLong(&ok);
    if (column == 7)
        return ok && e.wholeKey && e.id == n && QString::number(n) == wanted;
    if (column == 8)
        return ok && e.rowid == n && QString::number(n) == wanted;
    return text(row, column) == wanted;
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

// Reads the other columns of these rows (all not read yet). A plant gone from the archive
// meanwhile, or a read that failed, leaves those cells empty.
void PlantRows::read(const QList<qsizetype> &rows, bool rest) {
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
            const qsizetype row = at - m_rows.cbegin();
            if (at != m_rows.cend() && at->rowid == d.rowid && !m_reads->known(row)) {
                take(row, d);
                m_reads->markKnown(row);
            }
        }
    }
    for (qsizetype r : rows)
        m_reads->markKnown(r);
    if (m_reads->missing() == 0)
        m_fetch = {}; // lets go of what the reads kept (the open archive)
}

void PlantRows::fetch(const QList<qsizetype> &rows) {
    if (m_reads)
        m_reads->fetch(rows);
}

void PlantRows::fetchColumn(int column, const Between &between) {
    if (!m_reads || !late(column) || m_reads->missing() == 0)
        return;
    const bool ownText = column == 1 || column == 2 || column == 5;
    if (!ownText || !readTexts())
        m_reads->fetchAll(between);
}

// Sets the own texts of every row not read yet; the rows stay unread for their derived
// columns, which the reads that follow set with the texts again.
bool PlantRows::readTexts() {
    if (m_textsRead)
        return true;
    if (!m_fetchTexts)
        return false;
    const auto plants = std::exchange(m_fetchTexts, {})();
    if (!plants)
        return false;
    m_textsRead = true;
    // Both in rowid order: the plants ascending, the rows descending.
    auto row = m_rows.rbegin();
    for (const PlantListRow &p : *plants) {
        while (row != m_rows.rend() && row->rowid < p.rowid)
            ++row;
        if (row == m_rows.rend())
            break;
        if (row->rowid == p.rowid && !m_reads->known(m_rows.rend() - row - 1)) {
            row->specie = cell(p.specie);
            row->identificazione = cell(p.identificazione);
            row->vaso = cell(p.vaso);
        }
    }
    // A plant gone meanwhile keeps empty texts, as a later read would give it.
    return true;
}
