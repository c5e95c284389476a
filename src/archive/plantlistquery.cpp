#include "archive/plantlistquery.h"

#include "archive/schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <utility>

namespace {

// The derived columns of the plant list. The newest event of a kind is the one with the
// greatest datatratt, and among events of one date the one stored first (lowest rowid).
//
// Speed: the look-ups run for all plants in one statement, in key order, so that they walk
// coltivazione_tipo (id, intervento, datatratt) from one end to the other and every look-up
// is answered from the index alone. Watering, fertilising and flowering take one index seek
// each (the last entry of the plant and kind); the other kinds take one pass over the
// plant's entries for the newest date and a second one for the first event stored on that
// date. The few cases the newest dates alone do not settle (a watering and a fertilising on
// the same newest date, events without a date) take one more look-up, so the result is
// exactly that of ordering by datatratt DESC, rowid.
const QString otherKind =
    QStringLiteral("intervento <> 'Annaffiatura' AND intervento <> 'Concimazione' "
                   "AND intervento <> 'Fioritura'");

// Which plants the derived columns are wanted for.
enum class Plants {
    Picked, // those a condition picks (all, when it is empty); their own columns are read apart
    Listed, // the rowids in the JSON array bound to the statement, with their own columns
    Given   // the rowids in the JSON array, derived columns only, in key order
};

// Columns: plant rowid; flags (1 when the newest watering or fertilising is a watering, 2 when
// it is a fertilising, 0 when there is neither; plus 4 when the plant has a flowering); the
// date of that watering or fertilising; the newest flowering date; kind and date of the
// newest other event; for listed plants also id, specie, identificazione and vaso, in stored
// order. Flags instead of kind names spare the driver tens of thousands of values.
// Picked plants are read in key order (from the key index when all are wanted); a few listed
// ones are fetched by rowid, where the order matters little. `max(+datatratt)` keeps the planner on
// coltivazione_tipo: for the bare column it picks coltivazione_data and a table look-up per
// event.
QString derivedSql(Plants plants, const QString &where = QString()) {
    const bool listed = plants == Plants::Listed;
    const QString given = QStringLiteral("WHERE p.rowid IN (SELECT value FROM json_each(?))");
    return QStringLiteral(
               "WITH d AS MATERIALIZED ("
               " SELECT p.rowid AS r, p.id AS id,%1"
               "  (SELECT max(datatratt) FROM coltivazione"
               "    WHERE id = p.id AND intervento = 'Annaffiatura') AS da,"
               "  (SELECT max(datatratt) FROM coltivazione"
               "    WHERE id = p.id AND intervento = 'Concimazione') AS dc,"
               "  (SELECT max(datatratt) FROM coltivazione"
               "    WHERE id = p.id AND intervento = 'Fioritura') AS df,"
               "  (SELECT max(+datatratt) FROM coltivazione WHERE id = p.id AND %2) AS do"
               " FROM piante p %3), "
               "e AS ("
               " SELECT d.*,"
               "  CASE WHEN da IS NOT NULL AND (dc IS NULL OR da > dc) THEN 0"
               "       WHEN dc IS NOT NULL AND (da IS NULL OR dc > da) THEN 1"
               "       ELSE (SELECT CASE WHEN min(rowid) IS NULL THEN NULL"
               "                         WHEN intervento = 'Concimazione' THEN 1 ELSE 0 END"
               "               FROM coltivazione WHERE id = d.id"
               "                AND intervento IN ('Annaffiatura', 'Concimazione')"
               "                AND datatratt IS d.da) END AS ac"
               " FROM d) "
               "SELECT r,"
               " coalesce(ac + 1, 0) + CASE WHEN df IS NOT NULL OR EXISTS ("
               "  SELECT 1 FROM coltivazione WHERE id = e.id AND intervento = 'Fioritura')"
               "  THEN 4 ELSE 0 END,"
               " CASE ac WHEN 1 THEN dc ELSE da END, df,"
               " (SELECT CASE WHEN min(rowid) IS NOT NULL THEN intervento END FROM coltivazione"
               "   WHERE id = e.id AND +datatratt IS e.do AND %2),"
               " do%4 "
               "FROM e%5")
        .arg(listed ? QStringLiteral(" p.specie AS specie, p.identificazione AS ident,"
                                     " p.vaso AS vaso,")
                    : QString(),
             otherKind,
             listed                      ? given
             : plants == Plants::Given ? given + QStringLiteral(" ORDER BY p.id")
                                       : where + QStringLiteral(" ORDER BY p.id"),
             listed ? QStringLiteral(", id, specie, ident, vaso") : QString(),
             listed ? QStringLiteral(" ORDER BY r") : QString());
}

// Reads plant rows in stored order, then their derived columns; both within the caller's
// read transaction, so that they see one state of the file.
class PlantRowReader {
public:
    explicit PlantRowReader(const QSqlDatabase &db) : m_db(db) {}

    QList<PlantListRow> rows;
    QSqlError error;

    // The plants `where` picks (all when it is empty) with their own columns, in stored order.
    bool readPlants(const QString &where = QString(), const QVariantList &binds = {}) {
        QSqlQuery q(m_db);
        // Room for every row at once: growing a list of ten thousand rows step by step moves
        // them again and again.
        if (!run(q, QStringLiteral("SELECT count(*) FROM piante p %1").arg(where), binds))
            return false;
        if (q.next()) {
            rows.reserve(q.value(0).toLongLong());
            m_rowids.reserve(q.value(0).toLongLong());
        }
        q.finish();
        if (!run(q,
                 QStringLiteral("SELECT p.rowid, p.id, p.specie, p.identificazione, p.vaso "
                                "FROM piante p %1 ORDER BY p.rowid")
                     .arg(where),
                 binds))
            return false;
        while (q.next()) {
            PlantListRow r;
            r.rowid = q.value(0).toLongLong();
            setKey(r, q.value(1));
            r.specie = q.value(2);
            r.identificazione = q.value(3);
            r.vaso = q.value(4);
            m_rowids.append(q.value(0).toLongLong());
            rows.append(std::move(r));
        }
        return done(q);
    }

    // The derived columns of the plants read by readPlants(`where`, `binds`).
    bool readPickedDerived(const QString &where = QString(), const QVariantList &binds = {}) {
        QSqlQuery q(m_db);
        if (!run(q, derivedSql(Plants::Picked, where), binds))
            return false;
        while (q.next()) {
            const qint64 rowid = q.value(0).toLongLong();
            const auto at = std::lower_bound(m_rowids.cbegin(), m_rowids.cend(), rowid);
            if (at != m_rowids.cend() && *at == rowid)
                setDerived(rows[at - m_rowids.cbegin()], q);
        }
        return done(q);
    }

    // The plants whose `field` the test accepts (NULL never is): only their rowids for now.
    bool matchPlants(const QString &field, const std::function<bool(const QString &)> &accept) {
        QSqlQuery q(m_db);
        if (!run(q, QStringLiteral("SELECT rowid, %1 FROM piante ORDER BY rowid").arg(field)))
            return false;
        while (q.next()) {
            ++m_scanned;
            const QVariant v = q.value(1);
            if (!v.isNull() && accept(v.toString()))
                m_rowids.append(q.value(0).toLongLong());
        }
        return done(q);
    }

    // The plants matched by matchPlants(), with their own and their derived columns.
    bool readMatched() {
        if (m_rowids.isEmpty())
            return true;
        if (m_rowids.size() * 3 > m_scanned) {
            // Most plants (an emptied search box): reading them all in key order and dropping
            // the others costs less than fetching them one by one.
            const QList<qint64> wanted = std::exchange(m_rowids, {});
            if (!readPlants() || !readPickedDerived())
                return false;
            keepOnly(wanted);
            return true;
        }
        QSqlQuery q(m_db);
        if (!run(q, derivedSql(Plants::Listed), {QVariant(jsonArray(m_rowids))}))
            return false;
        rows.reserve(m_rowids.size());
        while (q.next()) {
            PlantListRow r;
            r.rowid = q.value(0).toLongLong();
            setKey(r, q.value(6));
            r.specie = q.value(7);
            r.identificazione = q.value(8);
            r.vaso = q.value(9);
            setDerived(r, q);
            rows.append(std::move(r));
        }
        return done(q);
    }

    // The plants matched by matchPlants() with their own columns only, in stored order.
    bool readMatchedOwn() {
        if (m_rowids.isEmpty())
            return true;
        const QList<qint64> wanted = std::exchange(m_rowids, {});
        if (wanted.size() * 3 > m_scanned) {
            if (!readPlants())
                return false;
            keepOnly(wanted);
            return true;
        }
        return readPlants(QStringLiteral("WHERE p.rowid IN (SELECT value FROM json_each(?))"),
                          {QVariant(jsonArray(wanted))});
    }

    // The derived columns of the plants with these rowids.
    bool readDerived(const QList<qint64> &rowids, bool many) {
        if (rowids.isEmpty())
            return true;
        if (many && rowids.size() > 1000) {
            // Many of the plants: one walk of all of them in key order costs less than
            // looking the wanted ones up by rowid, which takes the index in no order.
            QSqlQuery count(m_db);
            if (!run(count, QStringLiteral("SELECT count(*) FROM piante")))
                return false;
            if (count.next() && rowids.size() * 3 > count.value(0).toLongLong())
                return readSomeOfAll(rowids);
        }
        QSqlQuery q(m_db);
        if (!run(q, derivedSql(Plants::Given), {QVariant(jsonArray(rowids))}))
            return false;
        rows.reserve(rowids.size());
        while (q.next()) {
            PlantListRow r;
            r.rowid = q.value(0).toLongLong();
            setDerived(r, q);
            rows.append(std::move(r));
        }
        return done(q);
    }

    bool readSomeOfAll(QList<qint64> wanted) {
        std::sort(wanted.begin(), wanted.end());
        QSqlQuery q(m_db);
        if (!run(q, derivedSql(Plants::Picked)))
            return false;
        rows.reserve(wanted.size());
        while (q.next()) {
            const qint64 rowid = q.value(0).toLongLong();
            if (!std::binary_search(wanted.cbegin(), wanted.cend(), rowid))
                continue;
            PlantListRow r;
            r.rowid = rowid;
            setDerived(r, q);
            rows.append(std::move(r));
        }
        return done(q);
    }

private:
    // Keeps of the rows read those whose rowids are `wanted` (ascending, as the rows are).
    void keepOnly(const QList<qint64> &wanted) {
        QList<PlantListRow> kept;
        kept.reserve(wanted.size());
        auto w = wanted.cbegin();
        for (qsizetype i = 0; i < rows.size() && w != wanted.cend(); ++i) {
            if (m_rowids.at(i) == *w) {
                kept.append(std::move(rows[i]));
                ++w;
            }
        }
        rows = std::move(kept);
        m_rowids = wanted;
    }

    static void setKey(PlantListRow &r, const QVariant &stored) {
        const auto key = Schema::wholeKey(stored);
        r.wholeKey = key.has_value();
        r.id = key.value_or(0);
    }

    static QString jsonArray(const QList<qint64> &values) {
        QString json = QStringLiteral("[");
        json.reserve(values.size() * 8 + 2);
        for (qint64 r : values) {
            json += QString::number(r);
            json += QLatin1Char(',');
        }
        if (values.isEmpty())
            json += QLatin1Char(']');
        else
            json.back() = QLatin1Char(']');
        return json;
    }

    void setDerived(PlantListRow &r, const QSqlQuery &q) {
        static const QString watering = QStringLiteral("Annaffiatura");
        static const QString fertilising = QStringLiteral("Concimazione");
        static const QString flowering = QStringLiteral("Fioritura");
        const int flags = q.value(1).toInt();
        if (flags & 3)
            r.waterOrFeed =
                LastEvent{(flags & 3) == 2 ? fertilising : watering, Schema::storedDate(q.value(2))};
        if (flags & 4)
            r.flowering = LastEvent{flowering, Schema::storedDate(q.value(3))};
        const QVariant other = q.value(4);
        if (!other.isNull())
            r.other = LastEvent{other.toString(), Schema::storedDate(q.value(5))};
    }

    bool run(QSqlQuery &q, const QString &sql, const QVariantList &binds = {}) {
        q.setForwardOnly(true);
        bool ok = q.prepare(sql);
        if (ok) {
            for (const QVariant &b : binds)
                q.addBindValue(b);
            ok = q.exec();
        }
        if (!ok)
            error = q.lastError();
        return ok;
    }

    bool done(const QSqlQuery &q) {
        if (!q.lastError().isValid())
            return true;
        error = q.lastError();
        return false;
    }

    QSqlDatabase m_db;
    QList<qint64> m_rowids;  // ascending: the rows read, or the plants matched
    qsizetype m_scanned = 0; // plants looked at by matchPlants()
};

// Runs a reader's statements in one read transaction, so that they see one state of the
// file: the rows, or nothing with the reason in `error`.
template <class Steps>
std::optional<QList<PlantListRow>> readInOneState(QSqlDatabase &db, QString *error, Steps steps) {
    if (!db.transaction()) {
        *error = db.lastError().text();
        return std::nullopt;
    }
    PlantRowReader reader(db);
    const bool ok = steps(reader);
    db.rollback(); // nothing was written
    if (!ok) {
        const QSqlError &e = reader.error;
        *error = e.databaseText().isEmpty() ? e.text() : e.databaseText();
        return std::nullopt;
    }
    return std::move(reader.rows);
}

} // namespace

std::optional<QList<PlantListRow>> PlantListQuery::all(QSqlDatabase &db, QString *error) {
    return readInOneState(db, error, [](PlantRowReader &reader) {
        return reader.readPlants() && (reader.rows.isEmpty() || reader.readPickedDerived());
    });
}

std::optional<QList<PlantListRow>>
PlantListQuery::matching(QSqlDatabase &db, const QString &column,
                         const std::function<bool(const QString &)> &accept, QString *error) {
    return readInOneState(db, error, [&](PlantRowReader &reader) {
        return reader.matchPlants(column, accept) && reader.readMatched();
    });
}

std::optional<QList<PlantListRow>> PlantListQuery::allOwn(QSqlDatabase &db, QString *error) {
    return readInOneState(db, error, [](PlantRowReader &reader) { return reader.readPlants(); });
}

std::optional<QList<PlantListRow>>
PlantListQuery::matchingOwn(QSqlDatabase &db, const QString &column,
                            const std::function<bool(const QString &)> &accept, QString *error) {
    return readInOneState(db, error, [&](PlantRowReader &reader) {
        return reader.matchPlants(column, accept) && reader.readMatchedOwn();
    });
}

std::optional<QList<PlantListRow>>
PlantListQuery::derived(QSqlDatabase &db, const QList<qint64> &rowids, QString *error,
                        bool many) {
    return readInOneState(db, error, [&](PlantRowReader &reader) {
        return reader.readDerived(rowids, many);
    });
}
