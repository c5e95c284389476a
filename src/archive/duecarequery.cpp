#include "archive/duecarequery.h"

#include "archive/carerhythm.h"
#include "archive/conversions.h"
#include "archive/fieldtable.h"
#include "archive/rawquery.h"

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>

#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

// A plant as the rows need it: its names, and its fertilising period read once.
struct Plant {
    qint64 id = 0, rowid = 0;
    QString specie, identificazione;
    CareRhythm::Period period;
};

// The Julian day of a date stored as yyyy-mm-dd (maybe with a time after it), read from its
// bytes, with its season; nothing when it is no real calendar date.
std::optional<CareRhythm::Day> isoDay(QByteArrayView t) {
    if (t.size() < 10 || t[4] != '-' || t[7] != '-')
        return std::nullopt;
    int n[8];
    for (int i = 0, j = 0; i < 10; ++i) {
        if (i == 4 || i == 7)
            continue;
        if (t[i] < '0' || t[i] > '9')
            return std::nullopt;
        n[j++] = t[i] - '0';
    }
    const int y = n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3], m = n[4] * 10 + n[5],
              d = n[6] * 10 + n[7];
    if (y == 0 || m < 1 || m > 12 || d < 1)
        return std::nullopt;
    static constexpr int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > monthDays[m - 1] + (m == 2 && leap))
        return std::nullopt;
    // The proleptic Gregorian calendar's day count, as QDate keeps it.
    const int a = (14 - m) / 12;
    const qint64 yy = y + 4800 - a, mm = m + 12 * a - 3;
    const qint64 julian = d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
    return CareRhythm::Day{julian, CareRhythm::warmSeason(m)};
}

QString textOf(const RawQuery &q, int column) {
    return q.isNull(column) ? QString() : q.value(column).toString();
}

// A text column as a QString; ASCII, the common case, without SQLite's UTF-16 copy.
QString plainText(const RawQuery &q, int column) {
    const RawQuery::Cell c = q.cell(column);
    if (c.type != RawQuery::Cell::Text)
        return textOf(q, column);
    const QByteArrayView bytes = c.text;
    for (char c : bytes)
        if (uchar(c) >= 0x80)
            return textOf(q, column);
    return QString::fromLatin1(bytes);
}

// Values that repeat through the archive (species, months, kinds), made by `make(q, column)`
// once per distinct stored text; the stored bytes are looked up without a copy. A value
// that is no text is made each time, and is valid until the next one.
template <typename T> class ByText {
public:
    template <typename Make> const T &get(const RawQuery &q, int column, Make make) {
        const RawQuery::Cell c = q.cell(column);
        if (c.type != RawQuery::Cell::Text) {
            m_other = make(q, column);
            return m_other;
        }
        const QByteArrayView bytes = c.text;
        const auto found = m_values.constFind(QByteArray::fromRawData(bytes.data(), bytes.size()));
        if (found != m_values.cend())
            return *found;
        // Copied first: reading the value as UTF-16 may free SQLite's UTF-8 bytes.
        QByteArray key = bytes.toByteArray();
        return *m_values.insert(std::move(key), make(q, column));
    }

private:
    QHash<QByteArray, T> m_values;
    T m_other;
};

// The events' days of one plant and kind, distinct and in order. Dates are stored as
// yyyy-mm-dd and so come sorted; another tool's forms may not, and are sorted here.
class Days {
public:
    void add(const CareRhythm::Day &day) {
        if (day.julian == noDate)
            return;
        if (!m_days.empty() && day.julian <= m_days.back().julian) {
            if (day.julian < m_days.back().julian)
                m_unsorted = true;
            else
                return;
        }
        m_days.push_back(day);
    }
    const std::vector<CareRhythm::Day> &sorted() {
        if (m_unsorted) {
            const auto earlier = [](const CareRhythm::Day &a, const CareRhythm::Day &b) {
                return a.julian < b.julian;
            };
            const auto same = [](const CareRhythm::Day &a, const CareRhythm::Day &b) {
                return a.julian == b.julian;
            };
            std::sort(m_days.begin(), m_days.end(), earlier);
            m_days.erase(std::unique(m_days.begin(), m_days.end(), same), m_days.end());
            m_unsorted = false;
        }
        return m_days;
    }
    void clear() {
        m_days.clear(); // keeps its room for the next kind
        m_unsorted = false;
    }

private:
    static inline const qint64 noDate = QDate(1900, 1, 1).toJulianDay(); // the editor's none
    std::vector<CareRhythm::Day> m_days;
    bool m_unsorted = false;
};

using ByHand = QHash<std::pair<qint64, QString>, int>;
using Stop = std::function<bool()>;

// Plants by key, the first stored of any two under one key (another tool's).
bool readPlants(RawQuery &q, std::vector<Plant> *plants) {
    ByText<QString> species;
    ByText<std::optional<int>> months;
    const auto month = [](const RawQuery &q, int column) {
        return CareRhythm::month(textOf(q, column));
    };
    while (q.next()) {
        Plant p;
        p.id = q.integer(0);
        p.rowid = q.integer(1);
        p.specie = species.get(q, 2, textOf);
        p.identificazione = plainText(q, 3);
        p.period.from = months.get(q, 4, month);
        p.period.to = months.get(q, 5, month);
        plants->push_back(std::move(p));
    }
    if (q.failed())
        return false;
    const auto byKey = [](const Plant &a, const Plant &b) { return a.id < b.id; };
    const auto sameKey = [](const Plant &a, const Plant &b) { return a.id == b.id; };
    if (!std::is_sorted(plants->begin(), plants->end(), byKey))
        std::stable_sort(plants->begin(), plants->end(), byKey);
    plants->erase(std::unique(plants->begin(), plants->end(), sameKey), plants->end());
    return true;
}

const QString plantsStatement = QStringLiteral(
    "SELECT id, rowid, specie, identificazione, r1, r2 FROM piante "
    "WHERE typeof(id) = 'integer' ORDER BY rowid");

// The events of the plant keys from `from` (inclusive) to `to` (exclusive), either open.
QString eventsStatement(std::optional<qint64> from, std::optional<qint64> to) {
    QStringList range;
    if (from)
        range << QStringLiteral("id >= %1").arg(*from);
    if (to)
        range << QStringLiteral("id < %1").arg(*to);
    const QString where =
        range.isEmpty() ? QString() : QStringLiteral(" WHERE ") + range.join(QStringLiteral(" AND "));
    return QStringLiteral("SELECT id, intervento, datatratt FROM coltivazione%1 "
                          "ORDER BY id, intervento, datatratt")
        .arg(where);
}

// One walk of coltivazione_tipo (id, intervento, datatratt) over the rows of `q`, answered
// from the index: a row for every plant key and kind with a rhythm, in key order, with the
// plant's key only (its other fields and the season come later, from the plants read
// apart), also for keys no plant has. Rows another tool left without a whole key or a kind
// are passed over here: a test in the statement costs more. Kinds and dates are compared
// and read as SQLite holds them; a kind is looked up only when it changes. False when it
// fails or is stopped.
bool walkEvents(RawQuery &q, const ByHand &byHand, const QDate &today, const Stop &keepGoing,
                QList<DueRow> *rows) {
    ByText<QString> kinds; // blank kinds as null texts: they get no rows
    const auto kindOf = [](const RawQuery &q, int column) {
        const QString t =
            q.isText(column) ? QString::fromUtf8(q.utf8InPlace(column)) : textOf(q, column);
        return t.trimmed().isEmpty() ? QString() : t;
    };
    const auto addRow = [&](qint64 id, const QString &kind, Days &days) {
        std::optional<int> set;
        if (!byHand.isEmpty()) {
            const auto hand = byHand.constFind({id, kind});
            if (hand != byHand.cend())
                set = *hand;
        }
        const auto &sorted = days.sorted();
        if (!set && qsizetype(sorted.size()) < CareRhythm::fewestDays)
            return; // most kinds of most plants: no rhythm, and no row to make
        DueRow row;
        row.plantId = id;
        row.intervento = kind;
        if (CareRhythm::complete(row, sorted.data(), qsizetype(sorted.size()), set, today))
            *rows << std::move(row);
    };
    bool started = false;
    qint64 id = 0;
    const QString *kind = nullptr;
    std::string kindBytes; // the kind as stored, to compare the next rows' with
    Days days;
    qint64 seen = 0;
    while (q.next()) {
        if (keepGoing && ++seen % 4096 == 0 && !keepGoing())
            return false;
        const RawQuery::Cell key = q.cell(0);
        if (key.type != RawQuery::Cell::Integer)
            continue;
        const RawQuery::Cell kindCell = q.cell(1);
        QByteArray other;
        if (kindCell.type != RawQuery::Cell::Text)
            other = q.value(1).toString().toUtf8();
        const QByteArrayView rowKind =
            kindCell.type == RawQuery::Cell::Text ? kindCell.text : QByteArrayView(other);
        if (!started || key.integer != id ||
            rowKind != QByteArrayView(kindBytes.data(), qsizetype(kindBytes.size()))) {
            if (kind)
                addRow(id, *kind, days);
            days.clear();
            started = true;
            id = key.integer;
            kindBytes.assign(rowKind.data(), size_t(rowKind.size()));
            kind = &kinds.get(q, 1, kindOf);
            if (kind->isNull())
                kind = nullptr;
        }
        if (!kind)
            continue;
        if (const RawQuery::Cell date = q.cell(2); date.type == RawQuery::Cell::Text) {
            if (const auto day = isoDay(date.text))
                days.add(*day);
        } else if (const QDate day = Conversions::storedDate(q.value(2)); day.isValid()) {
            days.add({day.toJulianDay(), CareRhythm::warmSeason(day)});
        }
    }
    if (q.failed())
        return false;
    if (kind)
        addRow(id, *kind, days);
    return true;
}

// The plants and the events from `from` on, read on a connection of its own in a thread of
// its own, while the caller's connection holds its read lock: in rollback-journal mode no
// change can be committed meanwhile, so both read the same archive.
struct SecondHalf {
    qint64 from = 0;
    std::vector<Plant> plants;
    QList<DueRow> rows;
    bool done = false; // false: the caller reads it all itself
    bool stopped = false;

    void read(const QByteArray &file, const ByHand &byHand, const QDate &today,
              const Stop &keepGoing) {
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                            nullptr) == SQLITE_OK &&
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK) {
            // No busy wait: a lock refused means a writer waits on the caller's, and the
            // caller then reads this half itself.
            RawQuery plantsQuery(db, plantsStatement);
            if (readPlants(plantsQuery, &plants)) {
                RawQuery events(db, eventsStatement(from, std::nullopt));
                done = walkEvents(events, byHand, today, keepGoing, &rows);
                stopped = !done && keepGoing && !keepGoing();
            }
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        sqlite3_close(db);
    }
};

// Archives smaller than this are read by one walk: a second connection costs more.
constexpr qint64 fewestPlantsToSplit = 4000;

} // namespace

std::optional<bool> DueCareQuery::hasReminders(const QSqlDatabase &db, QString *error) {
    RawQuery q(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND "
                                  "name = ? COLLATE NOCASE"));
    q.bind(1, FieldTable::reminders);
    const bool found = q.next();
    if (q.failed()) {
        *error = q.error();
        return std::nullopt;
    }
    return found;
}

std::optional<QList<DueRow>> DueCareQuery::rows(QSqlDatabase &db, const QDate &today,
                                                QString *error, const Stop &keepGoing) {
    error->clear();
    if (!db.transaction()) {
        *error = db.lastError().text();
        return std::nullopt;
    }
    QList<DueRow> rows;
    const auto run = [&]() -> bool {
        const auto fail = [&](const RawQuery &q) {
            *error = q.error();
            return false;
        };
        // The rhythms set by hand, by plant and kind.
        ByHand byHand;
        const auto reminders = hasReminders(db, error); // from here the read lock is held
        if (!reminders)
            return false;
        if (*reminders) {
            RawQuery q(db, QStringLiteral("SELECT id, intervento, giorni FROM promemoria "
                                          "WHERE typeof(id) = 'integer' AND intervento <> ''"));
            while (q.next())
                byHand.insert({q.integer(0), textOf(q, 1)}, int(q.integer(2)));
            if (q.failed())
                return fail(q);
        }
        // A large archive is read in two halves at once, split at a plant key about five
        // eighths up, since the second half's thread reads the plants too. Not in WAL mode,
        // where a read lock does not hold back writers.
        std::optional<qint64> split;
        {
            RawQuery q(db, QStringLiteral(
                               "SELECT (SELECT count(*) FROM piante), "
                               "(SELECT id FROM piante WHERE typeof(id) = 'integer' ORDER BY id "
                               "LIMIT 1 OFFSET (SELECT count(*) FROM piante) * 5 / 8), "
                               "(SELECT lower(journal_mode) = 'wal' FROM pragma_journal_mode)"));
            if (!q.next())
                return fail(q);
            if (q.integer(0) >= fewestPlantsToSplit && q.isInteger(1) && !q.integer(2))
                split = q.integer(1);
        }
        const QByteArray file =
            split ? QByteArray(sqlite3_db_filename(RawQuery::handle(db), "main")) : QByteArray();
        if (file.isEmpty())
            split.reset(); // an archive in memory: one walk
        SecondHalf second;
        std::thread reader;
        if (split) {
            second.from = *split;
            reader = std::thread([&] { second.read(file, byHand, today, keepGoing); });
        }
        QList<DueRow> first;
        bool walked = false;
        {
            RawQuery q(db, eventsStatement(std::nullopt, split));
            walked = walkEvents(q, byHand, today, keepGoing, &first);
            if (!walked && q.failed())
                fail(q);
        }
        if (reader.joinable())
            reader.join();
        if (!walked || second.stopped)
            return false;
        std::vector<Plant> plants;
        if (second.done) {
            plants = std::move(second.plants);
            first << std::move(second.rows);
        } else {
            RawQuery q(db, plantsStatement);
            if (!readPlants(q, &plants))
                return fail(q);
            if (split) { // the second connection failed: its half is read here
                RawQuery events(db, eventsStatement(split, std::nullopt));
                if (!walkEvents(events, byHand, today, keepGoing, &first))
                    return events.failed() ? fail(events) : false;
            }
        }
        const auto findPlant = [&](qint64 id) -> const Plant * {
            const auto found = std::lower_bound(
                plants.cbegin(), plants.cend(), id,
                [](const Plant &p, qint64 key) { return p.id < key; });
            return found != plants.cend() && found->id == id ? &*found : nullptr;
        };
        const auto fill = [&](DueRow &row, const Plant &p) {
            row.plantRowid = p.rowid;
            row.specie = p.specie;
            row.identificazione = p.identificazione;
            row.outOfSeason = CareRhythm::outOfSeason(row, p.period, today);
        };
        // The plants' fields, in key order as the rows are; the rows of keys no plant has
        // (events of a plant that is gone) are left out.
        QSet<std::pair<qint64, QString>> used; // the rhythms set by hand the log has kinds for
        rows.reserve(first.size());
        auto p = plants.cbegin();
        for (DueRow &row : first) {
            if (row.byHand)
                used.insert({row.plantId, row.intervento});
            while (p != plants.cend() && p->id < row.plantId)
                ++p;
            if (p == plants.cend() || p->id != row.plantId)
                continue;
            fill(row, *p);
            rows << std::move(row);
        }
        // Rhythms set by hand for a kind the log does not hold (yet).
        for (auto it = byHand.cbegin(); it != byHand.cend(); ++it) {
            const Plant *found = findPlant(it.key().first);
            if (!found || it.key().second.trimmed().isEmpty() || used.contains(it.key()))
                continue;
            DueRow row;
            row.plantId = found->id;
            row.intervento = it.key().second;
            CareRhythm::complete(row, nullptr, 0, *it, today);
            fill(row, *found);
            rows << row;
        }
        return true;
    };
    const bool ok = run();
    db.rollback(); // nothing was written
    if (!ok)
        return std::nullopt;
    return rows;
}
