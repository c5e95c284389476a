#include "archive/archive.h"

#include "archive/conversions.h"
#include "archive/searchpattern.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <utility>

namespace {

enum class Kind { Text, Number, Key, Date };

Kind fieldKind(const QString &table, const QString &field) {
    if (field == "id" || field == "idtrat")
        return Kind::Key;
    if (field == "dataacquisto" || field == "datatratt")
        return Kind::Date;
    static const QStringList plantNumbers = {"temperatura", "temperaturaid", "umdita", "prezzo",
                                             "eta"};
    static const QStringList eventNumbers = {"temperatura", "umidita"};
    if ((table == "piante" ? plantNumbers : eventNumbers).contains(field))
        return Kind::Number;
    return Kind::Text;
}

const QStringList &fieldsOf(const QString &table) {
    static const QStringList plant = {
        "id",           "famiglia",    "genere",        "specie",    "identificazione",
        "habitat",      "temperatura", "temperaturaid", "r3",        "r4",
        "r1",           "r2",          "umdita",        "fioritura", "descrizione",
        "dataacquisto", "prezzo",      "vaso",          "eta",       "note",
        "img"};
    static const QStringList event = {"idtrat",      "id",      "intervento", "datatratt",
                                      "temperatura", "umidita", "descrizione"};
    return table == "piante" ? plant : event;
}

// A stored date: what the program writes (yyyy-mm-dd) is read straight from its digits, since
// lists convert tens of thousands; anything else another tool stored stays as its text.
QVariant storedDate(const QVariant &v) {
    if (v.isNull())
        return QVariant();
    const QString s = v.toString();
    if (s.size() >= 10 && s.at(4) == u'-' && s.at(7) == u'-') {
        int n[10] = {};
        bool digits = true;
        for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
            n[i] = s.at(i).unicode() - u'0';
            digits = digits && n[i] >= 0 && n[i] <= 9;
        }
        if (digits) {
            const QDate d(n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3], n[5] * 10 + n[6],
                          n[8] * 10 + n[9]);
            if (d.isValid())
                return d;
        }
    }
    const QDate d = Conversions::storedDate(v);
    return d.isValid() ? QVariant(d) : QVariant(s);
}

QVariant valueOf(Kind kind, const QVariant &v) {
    if (v.isNull())
        return QVariant();
    switch (kind) {
    case Kind::Key:
        return QVariant(v.toLongLong());
    case Kind::Number: {
        bool ok = false;
        const double d = v.toDouble(&ok);
        return ok ? QVariant(d) : QVariant(v.toString());
    }
    case Kind::Date:
        return storedDate(v);
    case Kind::Text:
        break;
    }
    return QVariant(v.toString());
}

// Reads the rows of one query as records; the columns' names and kinds are worked out once.
class RecordReader {
public:
    RecordReader(const QString &table, const QSqlQuery &q) {
        const QSqlRecord rec = q.record();
        for (int i = 0; i < rec.count(); ++i) {
            m_names << rec.fieldName(i).toLower();
            m_kinds << fieldKind(table, m_names.last());
        }
    }
    Record read(const QSqlQuery &q) const {
        Record r;
        for (int i = 0; i < m_names.size(); ++i)
            r.insert(m_names.at(i), valueOf(m_kinds.at(i), q.value(i)));
        return r;
    }

private:
    QStringList m_names;
    QList<Kind> m_kinds;
};

QAtomicInt connectionCounter;

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
    Listed  // the rowids in the JSON array bound to the statement, with their own columns
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
             listed ? QStringLiteral("WHERE p.rowid IN (SELECT value FROM json_each(?))")
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
            r.id = q.value(1).toLongLong();
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
            return true;
        }
        QString json = QStringLiteral("[");
        for (qint64 r : m_rowids)
            json += QString::number(r) + QLatin1Char(',');
        json.back() = QLatin1Char(']');
        QSqlQuery q(m_db);
        if (!run(q, derivedSql(Plants::Listed), {QVariant(json)}))
            return false;
        rows.reserve(m_rowids.size());
        while (q.next()) {
            PlantListRow r;
            r.id = q.value(6).toLongLong();
            r.specie = q.value(7);
            r.identificazione = q.value(8);
            r.vaso = q.value(9);
            setDerived(r, q);
            rows.append(std::move(r));
        }
        return done(q);
    }

private:
    void setDerived(PlantListRow &r, const QSqlQuery &q) {
        static const QString watering = QStringLiteral("Annaffiatura");
        static const QString fertilising = QStringLiteral("Concimazione");
        static const QString flowering = QStringLiteral("Fioritura");
        const int flags = q.value(1).toInt();
        if (flags & 3)
            r.waterOrFeed =
                LastEvent{(flags & 3) == 2 ? fertilising : watering, storedDate(q.value(2))};
        if (flags & 4)
            r.flowering = LastEvent{flowering, storedDate(q.value(3))};
        const QVariant other = q.value(4);
        if (!other.isNull())
            r.other = LastEvent{other.toString(), storedDate(q.value(5))};
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

Archive::Archive(QString path)
    : m_path(std::move(path)),
      m_connection(
          QStringLiteral("silvaro-archive-%1").arg(connectionCounter.fetchAndAddRelaxed(1))) {}

Archive::~Archive() {
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool Archive::fail(const QString &error) {
    m_error = error;
    return false;
}

bool Archive::failQuery(const QSqlQuery &q) {
    const QSqlError e = q.lastError();
    return fail(e.databaseText().isEmpty() ? e.text() : e.databaseText());
}

bool Archive::exec(QSqlQuery &q) {
    return q.exec() || failQuery(q);
}

bool Archive::looksLikeSqlite(const QString &path, QString *error) {
    const QFileInfo info(path);
    auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!info.exists())
        return refuse(QStringLiteral("Impossibile trovare il file \"%1\"").arg(path));
    if (!info.isFile())
        return refuse(QStringLiteral("\"%1\" non è un file").arg(path));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("Impossibile leggere \"%1\": %2").arg(path, f.errorString()));
    static const QByteArray magic("SQLite format 3\0", 16);
    if (f.read(16) != magic)
        return refuse(QStringLiteral("\"%1\" non è un archivio riconosciuto").arg(path));
    return true;
}

bool Archive::open() {
    if (isOpen())
        return true;
    if (!looksLikeSqlite(m_path, &m_error))
        return false;
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    // mode=rw: SQLite must never create the file.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    QUrl url = QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath());
    // A file nobody may write (a backup kept read-only, say) is opened read-only even for
    // the superuser: saves then fail with a message instead of changing it.
    const QFile::Permissions writable = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    const bool readOnly = !(QFileInfo(m_path).permissions() & writable);
    url.setQuery(readOnly ? QStringLiteral("mode=ro") : QStringLiteral("mode=rw"));
    m_db.setDatabaseName(url.toString(QUrl::FullyEncoded));
    if (!m_db.open())
        return fail(m_db.lastError().text());
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=DELETE")) ||
        !q.exec(QStringLiteral("PRAGMA synchronous=FULL"))) {
        failQuery(q);
        m_db.close();
        return false;
    }
    return true;
}

bool Archive::check() {
    const QFileInfo info(m_path);
    if (!info.exists())
        return fail(QStringLiteral("il file non c'è"));
    if (!info.isFile())
        return fail(QStringLiteral("non è un file"));
    if (!looksLikeSqlite(m_path)) {
        QFile f(m_path);
        if (!f.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("il file non si lascia leggere (%1)").arg(f.errorString()));
        return fail(QStringLiteral("il file non è un archivio di Silvaro"));
    }
    if (!open())
        return false;
    QSqlQuery q(m_db);
    for (const QString &table : {QStringLiteral("piante"), QStringLiteral("coltivazione")})
        if (!q.exec(QStringLiteral("SELECT count(*) FROM (SELECT %1 FROM %2)")
                        .arg(fieldsOf(table).join(QLatin1Char(',')), table)))
            return failQuery(q);
    return true;
}

bool Archive::isOpen() const {
    return m_db.isValid() && m_db.isOpen();
}

std::optional<QList<PlantListRow>> Archive::plantRows(const QString &where,
                                                      const QVariantList &binds) {
    if (!open())
        return std::nullopt;
    return readInOneState(m_db, &m_error, [&](PlantRowReader &reader) {
        return reader.readPlants(where, binds) &&
               (reader.rows.isEmpty() || reader.readPickedDerived(where, binds));
    });
}

std::optional<QList<PlantListRow>> Archive::plantList() {
    return plantRows(QString(), {});
}

std::optional<QList<PlantListRow>> Archive::searchPlants(SearchField field, const QString &typed) {
    if (!open())
        return std::nullopt;
    // The chosen field of every plant is matched here (the pattern's rules are not SQL's);
    // then the plants found are read with their derived columns. The field comes from a
    // fixed mapping, never from the user's text.
    const SearchPattern pattern(typed);
    const QString column =
        field == SearchField::Specie ? QStringLiteral("specie") : QStringLiteral("identificazione");
    return readInOneState(m_db, &m_error, [&](PlantRowReader &reader) {
        return reader.matchPlants(column, [&](const QString &value) {
            return pattern.matches(value);
        }) && reader.readMatched();
    });
}

std::optional<Record> Archive::one(const QString &sql, qint64 key) {
    if (!open())
        return std::nullopt;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) {
        failQuery(q);
        return std::nullopt;
    }
    q.addBindValue(key);
    if (!exec(q))
        return std::nullopt;
    if (!q.next()) {
        fail(q.lastError().isValid()
                 ? q.lastError().text()
                 : QStringLiteral("Nessun record corrisponde alla chiave %1").arg(key));
        return std::nullopt;
    }
    return RecordReader(sql.contains("piante") ? "piante" : "coltivazione", q).read(q);
}

std::optional<Record> Archive::plant(qint64 id) {
    return one(QStringLiteral("SELECT * FROM piante WHERE id = ?"), id);
}

std::optional<Record> Archive::event(qint64 idtrat) {
    return one(QStringLiteral("SELECT * FROM coltivazione WHERE idtrat = ?"), idtrat);
}

std::optional<QList<Record>> Archive::events(qint64 plantId, EventOrder order) {
    if (!open())
        return std::nullopt;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(order == EventOrder::ByDate
                  ? QStringLiteral("SELECT * FROM coltivazione WHERE id = ? "
                                   "ORDER BY datatratt ASC, rowid ASC")
                  : QStringLiteral("SELECT * FROM coltivazione WHERE id = ? ORDER BY rowid"));
    q.addBindValue(plantId);
    if (!exec(q))
        return std::nullopt;
    QList<Record> rows;
    const RecordReader reader("coltivazione", q);
    while (q.next())
        rows.append(reader.read(q));
    if (q.lastError().isValid()) {
        failQuery(q);
        return std::nullopt;
    }
    return rows;
}

std::optional<QVariantList> Archive::convert(const QString &table, const FieldTexts &texts) {
    QVariantList values;
    for (const auto &[field, text] : texts) {
        if (!fieldsOf(table).contains(field)) {
            fail(QStringLiteral("Campo sconosciuto: %1").arg(field));
            return std::nullopt;
        }
        QString why;
        switch (fieldKind(table, field)) {
        case Kind::Text:
            // A null text (an untouched box) is stored as an empty text: the driver would
            // bind it as NULL, which the readers' kind tests do not match.
            values << QVariant(text.isNull() ? QStringLiteral("") : text);
            break;
        case Kind::Key:
        case Kind::Number: {
            const auto n = Conversions::parseNumber(text, &why);
            if (!n) {
                fail(why);
                return std::nullopt;
            }
            if (fieldKind(table, field) == Kind::Key)
                values << QVariant(static_cast<qint64>(*n));
            else
                values << QVariant(*n);
            break;
        }
        case Kind::Date: {
            const auto d = Conversions::parseDate(text, &why);
            if (!d) {
                fail(why);
                return std::nullopt;
            }
            values << QVariant(Conversions::isoDate(*d));
            break;
        }
        }
    }
    return values;
}

bool Archive::checkPlantTexts(const FieldTexts &texts) {
    return convert("piante", texts).has_value();
}

bool Archive::write(const QString &sql, const FieldTexts &texts, const QString &table,
                    const QVariantList &extra, bool mustChangeRow) {
    const auto values = convert(table, texts);
    if (!values)
        return false;
    if (!open())
        return false;
    if (!m_db.transaction())
        return fail(m_db.lastError().text());
    {
        QSqlQuery q(m_db);
        bool ok = q.prepare(sql) || failQuery(q);
        if (ok) {
            for (const QVariant &v : *values)
                q.addBindValue(v);
            for (const QVariant &v : extra)
                q.addBindValue(v);
            ok = exec(q);
        }
        if (ok && mustChangeRow && q.numRowsAffected() != 1)
            ok = fail(QStringLiteral("Nessun record corrisponde alla chiave %1")
                          .arg(extra.value(0).toLongLong()));
        if (!ok) {
            q.finish();
            m_db.rollback();
            return false;
        }
    }
    if (!m_db.commit()) {
        const QString why = m_db.lastError().text();
        m_db.rollback();
        return fail(why);
    }
    return true;
}

namespace {
QString columnList(const FieldTexts &texts, const QString &format) {
    QStringList parts;
    for (const auto &ft : texts)
        parts << format.arg(ft.first);
    return parts.join(", ");
}

QString placeholders(const FieldTexts &texts) {
    return QStringList(texts.size(), QStringLiteral("?")).join(", ");
}
} // namespace

bool Archive::insertPlant(qint64 id, const FieldTexts &texts) {
    FieldTexts all = texts;
    all.prepend({QStringLiteral("id"), QString::number(id)});
    const QString sql = QStringLiteral("INSERT INTO piante (%1) VALUES (%2)")
                            .arg(columnList(all, "%1"), placeholders(all));
    return write(sql, all, "piante", {}, false);
}

bool Archive::updatePlant(qint64 id, const FieldTexts &texts) {
    const QString sql =
        QStringLiteral("UPDATE piante SET %1 WHERE id = ?").arg(columnList(texts, "%1 = ?"));
    return write(sql, texts, "piante", {id}, true);
}

bool Archive::insertEvent(qint64 idtrat, const FieldTexts &texts) {
    FieldTexts all = texts;
    all.append({QStringLiteral("idtrat"), QString::number(idtrat)});
    const QString sql = QStringLiteral("INSERT INTO coltivazione (%1) VALUES (%2)")
                            .arg(columnList(all, "%1"), placeholders(all));
    return write(sql, all, "coltivazione", {}, false);
}

bool Archive::updateEvent(qint64 idtrat, const FieldTexts &texts) {
    const QString sql = QStringLiteral("UPDATE coltivazione SET %1 WHERE idtrat = ?")
                            .arg(columnList(texts, "%1 = ?"));
    return write(sql, texts, "coltivazione", {idtrat}, true);
}

bool Archive::deleteEvent(qint64 idtrat) {
    return write(QStringLiteral("DELETE FROM coltivazione WHERE idtrat = ?"), {}, "coltivazione",
                 {idtrat}, true);
}

bool Archive::deletePlantWithEvents(qint64 id) {
    if (!open())
        return false;
    if (!m_db.transaction())
        return fail(m_db.lastError().text());
    bool ok = true;
    {
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("DELETE FROM piante WHERE id = ?"));
        q.addBindValue(id);
        ok = exec(q);
        if (ok && q.numRowsAffected() < 1)
            ok = fail(QStringLiteral("Nessun record corrisponde alla chiave %1").arg(id));
        if (ok) {
            q.prepare(QStringLiteral("DELETE FROM coltivazione WHERE id = ?"));
            q.addBindValue(id);
            ok = exec(q);
        }
        q.finish();
    }
    if (ok && m_db.commit())
        return true;
    if (ok)
        fail(m_db.lastError().text());
    m_db.rollback();
    return false;
}

bool Archive::keyUsed(const QString &table, const QString &field, qint64 key, bool *used) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1").arg(table, field));
    q.addBindValue(key);
    if (!exec(q))
        return false;
    *used = q.next();
    return true;
}

std::optional<qint64> Archive::freePlantKey(qint64 made,
                                            const std::function<bool(qint64)> &alsoTaken) {
    if (!open())
        return std::nullopt;
    for (qint64 key = made;; ++key) {
        bool used = false;
        if (!keyUsed("piante", "id", key, &used))
            return std::nullopt;
        if (!used && !(alsoTaken && alsoTaken(key)))
            return key;
    }
}

std::optional<qint64> Archive::freeEventKey(qint64 made) {
    if (!open())
        return std::nullopt;
    for (qint64 key = made;; ++key) {
        bool used = false;
        if (!keyUsed("coltivazione", "idtrat", key, &used))
            return std::nullopt;
        if (!used)
            return key;
    }
}
