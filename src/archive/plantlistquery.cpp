#include "archive/plantlistquery.h"

#include "archive/rawquery.h"
#include "archive/schema.h"

#include <QSqlDatabase>
#include <QSqlError>

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
    Picked, // all of them
    Given   // the rowids in the JSON array bound to the statement
};

// Columns: plant rowid; flags (1 when the newest watering or fertilising is a watering, 2 when
// it is a fertilising, 0 when there is neither; plus 4 when the plant has a flowering); the
// date of that watering or fertilising; the newest flowering date; kind and date of the
// newest other event; then specie, identificazione and vaso. Flags instead of kind names spare the driver tens of thousands of
// values. Plants are read in key order (from the key index when all are wanted).
// `max(+datatratt)` keeps the planner on coltivazione_tipo: for the bare column it picks
// coltivazione_data and a table look-up per event.
QString derivedSql(Plants plants) {
    const QString given = QStringLiteral("WHERE p.rowid IN (SELECT value FROM json_each(?))");
    return QStringLiteral(
               "WITH d AS MATERIALIZED ("
               " SELECT p.rowid AS r, p.id AS id,"
               "  p.specie AS specie, p.identificazione AS ident, p.vaso AS vaso,"
               "  (SELECT max(datatratt) FROM coltivazione"
               "    WHERE id = p.id AND intervento = 'Annaffiatura') AS da,"
               "  (SELECT max(datatratt) FROM coltivazione"
               "    WHERE id = p.id AND intervento = 'Concimazione') AS dc,"
               "  (SELECT max(datatratt) FROM coltivazione"
               "    WHERE id = p.id AND intervento = 'Fioritura') AS df,"
               "  (SELECT max(+datatratt) FROM coltivazione WHERE id = p.id AND %1) AS do"
               " FROM piante p %2), "
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
               "   WHERE id = e.id AND +datatratt IS e.do AND %1),"
               " do, specie, ident, vaso "
               "FROM e")
        .arg(otherKind,
             (plants == Plants::Given ? given : QString()) + QStringLiteral(" ORDER BY p.id"));
}

// Reads plant rows and their derived columns within the caller's read transaction, so that
// they see one state of the file. Long reads go through SQLite itself (RawQuery).
class PlantRowReader {
public:
    explicit PlantRowReader(const QSqlDatabase &db) : m_db(db) {}

    QList<PlantListRow> rows;
    QList<PlantKey> keys;
    QString error;

    // Every plant with its own columns, in stored order.
    bool readPlants() {
        if (!reserve())
            return false;
        RawQuery q(m_db, QStringLiteral("SELECT rowid, id, specie, identificazione, vaso "
                                        "FROM piante ORDER BY rowid"));
        while (q.next())
            take(q);
        return succeeded(q);
    }

    // Every plant's key, in key order: read from the key index alone.
    bool readKeys() {
        if (!reserve())
            return false;
        RawQuery q(m_db, QStringLiteral("SELECT rowid, id FROM piante ORDER BY id"));
        while (q.next())
            keys.append(keyOf(q));
        return succeeded(q);
    }

    // The derived columns of the plants read by readPlants() or matchPlants().
    bool readPickedDerived() {
        RawQuery q(m_db, derivedSql(Plants::Picked));
        while (q.next()) {
            const auto at = std::lower_bound(m_rowids.cbegin(), m_rowids.cend(), q.integer(0));
            if (at != m_rowids.cend() && *at == q.integer(0))
                setDerived(rows[at - m_rowids.cbegin()], q);
        }
        return succeeded(q);
    }

    // The plants whose `field` the test accepts (NULL never is), in stored order: one walk of
    // the table. With `whole`, their rows with their own columns, else their keys only.
    bool matchPlants(const QString &field, const std::function<bool(const QString &)> &accept,
                     bool whole) {
        const int tested = field == QLatin1String("specie") ? 2 : 3;
        RawQuery q(m_db, QStringLiteral("SELECT rowid, id, specie, identificazione, vaso "
                                        "FROM piante ORDER BY rowid"));
        while (q.next()) {
            ++m_scanned;
            if (q.isNull(tested))
                continue;
            // A text is read in place: most plants are not taken, and no copy is made of it.
            // Another value is tested as the driver's value reads.
            if (!accept(q.isText(tested) ? q.textInPlace(tested) : q.value(tested).toString()))
                continue;
            if (whole)
                take(q);
            else
                keys.append(keyOf(q));
        }
        return succeeded(q);
    }

    // The derived columns of the plants matched by matchPlants(whole).
    bool readMatchedDerived() {
        if (m_rowids.isEmpty())
            return true;
        // Most plants (an emptied search box): walking them all in key order and dropping
        // the others costs less than fetching them one by one.
        if (m_rowids.size() * 3 > m_scanned)
            return readPickedDerived();
        QList<PlantListRow> found = std::exchange(rows, {});
        if (!readRowsOf(m_rowids, false))
            return false;
        for (PlantListRow &d : rows) {
            const auto at = std::lower_bound(m_rowids.cbegin(), m_rowids.cend(), d.rowid);
            PlantListRow &r = found[at - m_rowids.cbegin()]; // one transaction: all are there
            r.waterOrFeed = std::move(d.waterOrFeed);
            r.flowering = std::move(d.flowering);
            r.other = std::move(d.other);
        }
        rows = std::move(found);
        return true;
    }

    // The plants with these rowids, own and derived columns, in key order; a plant no longer
    // there is left out.
    bool readRowsOf(const QList<qint64> &rowids, bool many) {
        if (rowids.isEmpty())
            return true;
        if (many && rowids.size() > 1000) {
            // Many of the plants: one walk of all of them in key order costs less than
            // looking the wanted ones up by rowid, which takes the index in no order.
            RawQuery count(m_db, QStringLiteral("SELECT count(*) FROM piante"));
            if (!count.next())
                return succeeded(count);
            if (rowids.size() * 3 > count.integer(0))
                return readSomeOfAll(rowids);
        }
        RawQuery q(m_db, derivedSql(Plants::Given));
        q.bind(1, rowids);
        rows.reserve(rowids.size());
        while (q.next())
            rows.append(derivedRow(q));
        return succeeded(q);
    }

private:
    bool readSomeOfAll(QList<qint64> wanted) {
        std::sort(wanted.begin(), wanted.end());
        RawQuery q(m_db, derivedSql(Plants::Picked));
        rows.reserve(wanted.size());
        while (q.next())
            if (std::binary_search(wanted.cbegin(), wanted.cend(), q.integer(0)))
                rows.append(derivedRow(q));
        return succeeded(q);
    }

    // Room for every row at once: growing a list of ten thousand rows step by step moves
    // them again and again.
    bool reserve() {
        RawQuery count(m_db, QStringLiteral("SELECT count(*) FROM piante"));
        if (!count.next())
            return succeeded(count);
        rows.reserve(count.integer(0));
        m_rowids.reserve(count.integer(0));
        return true;
    }

    // Columns: rowid, id, specie, identificazione, vaso.
    void take(const RawQuery &q) {
        PlantListRow r;
        const PlantKey key = keyOf(q);
        r.rowid = key.rowid;
        r.id = key.id;
        r.wholeKey = key.wholeKey;
        r.specie = q.value(2);
        r.identificazione = q.value(3);
        r.vaso = q.value(4);
        m_rowids.append(r.rowid);
        rows.append(std::move(r));
    }

    // Columns: rowid, id.
    static PlantKey keyOf(const RawQuery &q) {
        const auto key = Schema::wholeKey(q.value(1));
        return PlantKey{q.integer(0), key.value_or(0), key.has_value()};
    }

    // A row of derivedSql(): the plant's rowid, texts and derived columns.
    static PlantListRow derivedRow(const RawQuery &q) {
        PlantListRow r;
        r.rowid = q.integer(0);
        r.specie = q.value(6);
        r.identificazione = q.value(7);
        r.vaso = q.value(8);
        setDerived(r, q);
        return r;
    }

    static void setDerived(PlantListRow &r, const RawQuery &q) {
        static const QString watering = QStringLiteral("Annaffiatura");
        static const QString fertilising = QStringLiteral("Concimazione");
        static const QString flowering = QStringLiteral("Fioritura");
        const qint64 flags = q.integer(1);
        if (flags & 3)
            r.waterOrFeed =
                LastEvent{(flags & 3) == 2 ? fertilising : watering, Schema::storedDate(q.value(2))};
        if (flags & 4)
            r.flowering = LastEvent{flowering, Schema::storedDate(q.value(3))};
        if (!q.isNull(4))
            r.other = LastEvent{q.value(4).toString(), Schema::storedDate(q.value(5))};
    }

    bool succeeded(const RawQuery &q) {
        if (!q.failed())
            return true;
        error = q.error();
        return false;
    }

    QSqlDatabase m_db;
    QList<qint64> m_rowids;  // ascending: the rows read, or the plants matched
    qsizetype m_scanned = 0; // plants looked at by matchPlants()
};

// Runs a reader's statements in one read transaction, so that they see one state of the
// file: what `result` keeps of the reader, or nothing with the reason in `error`.
template <class Result, class Steps>
std::optional<Result> readInOneState(QSqlDatabase &db, QString *error, Steps steps,
                                     Result PlantRowReader::*result = &PlantRowReader::rows) {
    if (!db.transaction()) {
        *error = db.lastError().text();
        return std::nullopt;
    }
    PlantRowReader reader(db);
    const bool ok = steps(reader);
    db.rollback(); // nothing was written
    if (!ok) {
        *error = reader.error;
        return std::nullopt;
    }
    return std::move(reader.*result);
}

} // namespace

std::optional<QList<PlantListRow>> PlantListQuery::all(QSqlDatabase &db, QString *error) {
    return readInOneState<QList<PlantListRow>>(db, error, [](PlantRowReader &reader) {
        return reader.readPlants() && (reader.rows.isEmpty() || reader.readPickedDerived());
    });
}

std::optional<QList<PlantListRow>>
PlantListQuery::matching(QSqlDatabase &db, const QString &column,
                         const std::function<bool(const QString &)> &accept, QString *error) {
    return readInOneState<QList<PlantListRow>>(db, error, [&](PlantRowReader &reader) {
        return reader.matchPlants(column, accept, true) && reader.readMatchedDerived();
    });
}

std::optional<QList<PlantListRow>> PlantListQuery::texts(QSqlDatabase &db, QString *error) {
    return readInOneState<QList<PlantListRow>>(
        db, error, [](PlantRowReader &reader) { return reader.readPlants(); });
}

std::optional<QList<PlantKey>> PlantListQuery::keys(QSqlDatabase &db, QString *error) {
    return readInOneState<QList<PlantKey>>(
        db, error, [](PlantRowReader &reader) { return reader.readKeys(); },
        &PlantRowReader::keys);
}

std::optional<QList<PlantKey>>
PlantListQuery::matchingKeys(QSqlDatabase &db, const QString &column,
                             const std::function<bool(const QString &)> &accept,
                             QString *error) {
    return readInOneState<QList<PlantKey>>(
        db, error,
        [&](PlantRowReader &reader) { return reader.matchPlants(column, accept, false); },
        &PlantRowReader::keys);
}

std::optional<QList<PlantListRow>> PlantListQuery::rowsOf(QSqlDatabase &db,
                                                          const QList<qint64> &rowids,
                                                          QString *error, bool many) {
    return readInOneState<QList<PlantListRow>>(
        db, error, [&](PlantRowReader &reader) { return reader.readRowsOf(rowids, many); });
}
