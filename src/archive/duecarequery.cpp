#include "archive/duecarequery.h"

#include "archive/carerhythm.h"
#include "archive/conversions.h"
#include "archive/fieldtable.h"
#include "archive/rawquery.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>

#include <algorithm>

namespace {

struct Plant {
    qint64 rowid = 0;
    QString specie, identificazione, r1, r2;
};

// A date stored as yyyy-mm-dd (maybe with a time after it), read from its bytes; an invalid
// date when it is none.
QDate isoDay(QByteArrayView t) {
    if (t.size() < 10 || t[4] != '-' || t[7] != '-')
        return {};
    int n[8];
    for (int i = 0, j = 0; i < 10; ++i) {
        if (i == 4 || i == 7)
            continue;
        if (t[i] < '0' || t[i] > '9')
            return {};
        n[j++] = t[i] - '0';
    }
    return QDate(n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3], n[4] * 10 + n[5], n[6] * 10 + n[7]);
}

QString textOf(const RawQuery &q, int column) {
    return q.isNull(column) ? QString() : q.value(column).toString();
}

// The events' days of one plant and kind, distinct and in order. Dates are stored as
// yyyy-mm-dd and so come sorted; another tool's forms may not, and are sorted here.
class Days {
public:
    void add(const QDate &day) {
        if (!day.isValid() || day == noDate)
            return;
        if (!m_days.isEmpty() && day <= m_days.last()) {
            if (day < m_days.last())
                m_unsorted = true;
            else
                return;
        }
        m_days << day;
    }
    const QList<QDate> &sorted() {
        if (m_unsorted) {
            std::sort(m_days.begin(), m_days.end());
            m_days.erase(std::unique(m_days.begin(), m_days.end()), m_days.end());
            m_unsorted = false;
        }
        return m_days;
    }
    void clear() {
        m_days.clear();
        m_unsorted = false;
    }

private:
    static inline const QDate noDate = QDate(1900, 1, 1); // what the editor stores for none
    QList<QDate> m_days;
    bool m_unsorted = false;
};

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
                                                QString *error,
                                                const std::function<bool()> &keepGoing) {
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
        // The rhythms set by hand, by plant and kind; those never used below come last.
        QHash<std::pair<qint64, QString>, int> byHand;
        const auto reminders = hasReminders(db, error);
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
        // Plants by key, the first stored of any two under one key (another tool's).
        QHash<qint64, Plant> plants;
        {
            RawQuery q(db, QStringLiteral("SELECT id, rowid, specie, identificazione, r1, r2 "
                                          "FROM piante WHERE typeof(id) = 'integer' "
                                          "ORDER BY rowid"));
            while (q.next())
                if (!plants.contains(q.integer(0)))
                    plants.insert(q.integer(0), {q.integer(1), textOf(q, 2), textOf(q, 3),
                                                 textOf(q, 4), textOf(q, 5)});
            if (q.failed())
                return fail(q);
        }
        const auto addRow = [&](qint64 id, const Plant &p, const QString &kind, Days &days) {
            DueRow row;
            row.plantId = id;
            row.plantRowid = p.rowid;
            row.specie = p.specie;
            row.identificazione = p.identificazione;
            row.intervento = kind;
            const auto hand = byHand.find({id, kind});
            std::optional<int> set;
            if (hand != byHand.end()) {
                set = *hand;
                byHand.erase(hand);
            }
            if (CareRhythm::complete(row, days.sorted(), set, p.r1, p.r2, today))
                rows << row;
        };
        // One walk of coltivazione_tipo (id, intervento, datatratt), answered from the index.
        // Rows another tool left without a whole key or a kind are passed over here: a test
        // in the statement costs more.
        RawQuery q(db, QStringLiteral("SELECT id, intervento, datatratt FROM coltivazione "
                                      "ORDER BY id, intervento, datatratt"));
        qint64 id = 0;
        const Plant *plant = nullptr;
        QString kind;
        QByteArray kindBytes; // the kind as stored, to compare the next rows' with
        Days days;
        qint64 seen = 0;
        while (q.next()) {
            if (keepGoing && ++seen % 4096 == 0 && !keepGoing())
                return false;
            if (!q.isInteger(0))
                continue;
            const qint64 rowPlant = q.integer(0);
            // Kinds and dates are compared and read as SQLite holds them; a kind becomes a
            // text only when it changes.
            QByteArray other;
            if (!q.isText(1))
                other = q.value(1).toString().toUtf8();
            const QByteArrayView rowKind = q.isText(1) ? q.utf8InPlace(1) : QByteArrayView(other);
            if (rowPlant != id || !plant || rowKind != kindBytes) {
                if (plant)
                    addRow(id, *plant, kind, days);
                days.clear();
                if (rowPlant != id) {
                    id = rowPlant;
                    const auto found = plants.constFind(id);
                    plant = found == plants.cend() ? nullptr : &*found;
                }
                if (!plant)
                    continue; // the events of a plant that is gone
                kindBytes = rowKind.toByteArray();
                kind = QString::fromUtf8(kindBytes);
                if (kind.trimmed().isEmpty()) {
                    plant = nullptr;
                    id = 0;
                    continue;
                }
            }
            days.add(q.isText(2) ? isoDay(q.utf8InPlace(2)) : Conversions::storedDate(q.value(2)));
        }
        if (q.failed())
            return fail(q);
        if (plant)
            addRow(id, *plant, kind, days);
        // Rhythms set by hand for a kind the log does not hold (yet).
        for (auto it = byHand.cbegin(); it != byHand.cend(); ++it) {
            const auto found = plants.constFind(it.key().first);
            if (found == plants.cend() || it.key().second.trimmed().isEmpty())
                continue;
            Days none;
            DueRow row;
            row.plantId = it.key().first;
            row.plantRowid = found->rowid;
            row.specie = found->specie;
            row.identificazione = found->identificazione;
            row.intervento = it.key().second;
            CareRhythm::complete(row, none.sorted(), *it, found->r1, found->r2, today);
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
