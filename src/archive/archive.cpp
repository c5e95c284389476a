#include "archive/archive.h"

#include "archive/conversions.h"
#include "archive/duecarequery.h"
#include "archive/fieldtable.h"
#include "archive/plantlistquery.h"
#include "archive/rawquery.h"
#include "archive/recordreader.h"
#include "archive/schema.h"
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
QAtomicInt connectionCounter;
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
    const bool readOnly = m_readOnly || !(QFileInfo(m_path).permissions() & writable);
    url.setQuery(readOnly ? QStringLiteral("mode=ro") : QStringLiteral("mode=rw"));
    m_db.setDatabaseName(url.toString(QUrl::FullyEncoded));
    if (!m_db.open())
        return fail(m_db.lastError().text());
    QSqlQuery q(m_db);
    // An archive another program keeps in WAL mode is read and written as it is: leaving
    // WAL needs the file to itself, and would fail while that program has it open.
    bool wal = false;
    if (q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next())
        wal = q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    q.finish();
    if ((!wal && !q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"))) ||
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
    // The fields of the first layout: the later ones come with the upgrade after this check.
    for (const QString &table : {FieldTable::plants, FieldTable::events})
        if (!q.exec(QStringLiteral("SELECT count(*) FROM (SELECT %1 FROM %2)")
                        .arg(FieldTable::columns(table, 0).join(QLatin1Char(',')), table)))
            return failQuery(q);
    return true;
}

std::optional<QString> Archive::integrityCheck() {
    if (!open())
        return std::nullopt;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("PRAGMA integrity_check"))) {
        failQuery(q);
        return std::nullopt;
    }
    QStringList found;
    while (q.next() && found.size() < 5)
        found << q.value(0).toString();
    if (q.lastError().isValid()) {
        failQuery(q);
        return std::nullopt;
    }
    return found.join(QStringLiteral("; "));
}

bool Archive::isOpen() const {
    return m_db.isValid() && m_db.isOpen();
}

namespace {
// The field a search looks in: from a fixed mapping, never from the user's text.
QString searchColumn(SearchField field) {
    return field == SearchField::Specie ? QStringLiteral("specie")
                                        : QStringLiteral("identificazione");
}
} // namespace

std::optional<QList<PlantListRow>> Archive::plantList() {
    if (!open())
        return std::nullopt;
    return PlantListQuery::all(m_db, &m_error);
}

std::optional<QList<PlantListRow>> Archive::searchPlants(SearchField field, const QString &typed) {
    if (!open())
        return std::nullopt;
    // The chosen field of every plant is matched here (the pattern's rules are not SQL's);
    // then the plants found are read with their derived columns.
    const SearchPattern pattern(typed);
    return PlantListQuery::matching(
        m_db, searchColumn(field), [&](const QString &value) { return pattern.matches(value); },
        &m_error);
}

std::optional<QList<PlantKey>> Archive::plantKeys() {
    if (!open())
        return std::nullopt;
    return PlantListQuery::keys(m_db, &m_error);
}

std::optional<QList<PlantKey>> Archive::searchPlantKeys(SearchField field, const QString &typed) {
    if (!open())
        return std::nullopt;
    const SearchPattern pattern(typed);
    return PlantListQuery::matchingKeys(
        m_db, searchColumn(field), [&](const QString &value) { return pattern.matches(value); },
        &m_error);
}

std::optional<QList<PlantListRow>> Archive::plantTexts() {
    if (!open())
        return std::nullopt;
    return PlantListQuery::texts(m_db, &m_error);
}

std::optional<QList<PlantListRow>> Archive::plantRowsOf(const QList<qint64> &rowids, bool many) {
    if (!open())
        return std::nullopt;
    return PlantListQuery::rowsOf(m_db, rowids, &m_error, many);
}

namespace {
// The condition that picks a row by its key, and by its rowid when one is known.
QString rowCondition(const QString &field, qint64 rowid) {
    return rowid != 0 ? QStringLiteral("%1 = ? AND rowid = ?").arg(field)
                      : QStringLiteral("%1 = ?").arg(field);
}
QVariantList rowBinds(qint64 key, qint64 rowid) {
    return rowid != 0 ? QVariantList{key, rowid} : QVariantList{key};
}
} // namespace

std::optional<Record> Archive::one(const QString &table, const QString &field, qint64 key,
                                   qint64 rowid) {
    if (!open())
        return std::nullopt;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    const QString sql =
        QStringLiteral("SELECT *, rowid AS rowid FROM %1 WHERE %2").arg(table, rowCondition(field, rowid));
    if (!q.prepare(sql)) {
        failQuery(q);
        return std::nullopt;
    }
    for (const QVariant &b : rowBinds(key, rowid))
        q.addBindValue(b);
    if (!exec(q))
        return std::nullopt;
    if (!q.next()) {
        fail(q.lastError().isValid()
                 ? q.lastError().text()
                 : QStringLiteral("Nessun record corrisponde alla chiave %1").arg(key));
        return std::nullopt;
    }
    return RecordReader(table, q).read(q);
}

namespace {
// The row's own fields, without the rowid read beside them.
template <typename Row> Row takeRowid(Record fields) {
    Row row;
    row.rowid = fields.take(QStringLiteral("rowid")).toLongLong();
    row.fields = std::move(fields);
    return row;
}
} // namespace

std::optional<Plant> Archive::plant(qint64 id, qint64 rowid) {
    auto row = one(QStringLiteral("piante"), QStringLiteral("id"), id, rowid);
    if (!row)
        return std::nullopt;
    return takeRowid<Plant>(std::move(*row));
}

std::optional<CareEvent> Archive::event(qint64 idtrat, qint64 rowid) {
    auto row = one(QStringLiteral("coltivazione"), QStringLiteral("idtrat"), idtrat, rowid);
    if (!row)
        return std::nullopt;
    return takeRowid<CareEvent>(std::move(*row));
}

std::optional<QList<CareEvent>> Archive::events(qint64 plantId, EventOrder order) {
    if (!open())
        return std::nullopt;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(order == EventOrder::ByDate
                  ? QStringLiteral("SELECT *, rowid AS rowid FROM coltivazione WHERE id = ? "
                                   "ORDER BY datatratt ASC, rowid ASC")
                  : QStringLiteral("SELECT *, rowid AS rowid FROM coltivazione WHERE id = ? "
                                   "ORDER BY rowid"));
    q.addBindValue(plantId);
    if (!exec(q))
        return std::nullopt;
    QList<CareEvent> rows;
    const RecordReader reader("coltivazione", q);
    while (q.next())
        rows.append(takeRowid<CareEvent>(reader.read(q)));
    if (q.lastError().isValid()) {
        failQuery(q);
        return std::nullopt;
    }
    return rows;
}

std::optional<QList<qint64>> Archive::eventRowids(qint64 plantId) {
    if (!open())
        return std::nullopt;
    // Answered from the (id, datatratt) index alone.
    RawQuery q(m_db, QStringLiteral("SELECT rowid FROM coltivazione WHERE id = ? "
                                    "ORDER BY datatratt ASC, rowid ASC"));
    q.bind(1, plantId);
    QList<qint64> rowids;
    while (q.next())
        rowids.append(q.integer(0));
    if (q.failed()) {
        fail(q.error());
        return std::nullopt;
    }
    return rowids;
}

std::optional<QList<EventListRow>> Archive::eventListRows(qint64 plantId,
                                                          const QList<qint64> &rowids) {
    if (!open())
        return std::nullopt;
    RawQuery q(m_db, QStringLiteral("SELECT temperatura, umidita, intervento, datatratt, "
                                    "descrizione, idtrat, rowid FROM coltivazione "
                                    "WHERE rowid IN (SELECT value FROM json_each(?)) AND id = ?"));
    q.bind(1, rowids);
    q.bind(2, plantId);
    using K = Schema::Kind;
    QList<EventListRow> rows;
    rows.reserve(rowids.size());
    while (q.next())
        rows.append({Schema::valueOf(K::Number, q.value(0)), Schema::valueOf(K::Number, q.value(1)),
                     Schema::valueOf(K::Text, q.value(2)), Schema::valueOf(K::Date, q.value(3)),
                     Schema::valueOf(K::Text, q.value(4)), Schema::valueOf(K::Key, q.value(5)),
                     q.integer(6)});
    if (q.failed()) {
        fail(q.error());
        return std::nullopt;
    }
    return rows;
}

std::optional<QVariantList> Archive::convert(const QString &table, const FieldTexts &texts) {
    QVariantList values;
    for (const auto &[field, text] : texts) {
        if (!Schema::fieldsOf(table).contains(field)) {
            fail(QStringLiteral("Campo sconosciuto: %1").arg(field));
            return std::nullopt;
        }
        QString why;
        switch (Schema::fieldKind(table, field)) {
        case Schema::Kind::Text:
            // A null text (an untouched box) is stored as an empty text: the driver would
            // bind it as NULL, which the readers' kind tests do not match.
            values << QVariant(text.isNull() ? QStringLiteral("") : text);
            break;
        case Schema::Kind::Key: {
            // Read as the whole number it is: through a double, keys beyond 2^53 would
            // come out as a neighbour's.
            const auto key = Conversions::parseKey(text, &why);
            if (!key) {
                fail(why);
                return std::nullopt;
            }
            values << QVariant(*key);
            break;
        }
        case Schema::Kind::Number: {
            const auto n = Conversions::parseNumber(text, &why);
            if (!n) {
                fail(why);
                return std::nullopt;
            }
            values << QVariant(*n);
            break;
        }
        case Schema::Kind::Date: {
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
                    const QVariantList &extra, bool mustChangeRow,
                    const std::function<bool()> &firstCheck,
                    const std::function<bool()> &lastCheck) {
    const auto values = convert(table, texts);
    if (!values)
        return false;
    if (!open())
        return false;
    if (!m_db.transaction())
        return fail(m_db.lastError().text());
    {
        QSqlQuery q(m_db);
        // The check and the write see one state of the file: nothing can come between.
        bool ok = !firstCheck || firstCheck();
        ok = ok && (q.prepare(sql) || failQuery(q));
        if (ok) {
            for (const QVariant &v : *values)
                q.addBindValue(v);
            for (const QVariant &v : extra)
                q.addBindValue(v);
            ok = exec(q);
        }
        if (ok && mustChangeRow && q.numRowsAffected() != 1)
            ok = fail(q.numRowsAffected() == 0
                          ? QStringLiteral("Nessun record corrisponde alla chiave %1")
                                .arg(extra.value(0).toLongLong())
                          : QStringLiteral("Più record hanno la chiave %1: nessuno è stato "
                                           "modificato")
                                .arg(extra.value(0).toLongLong()));
        q.finish();
        if (ok && lastCheck)
            ok = lastCheck();
        if (!ok) {
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

bool Archive::updatePlant(qint64 id, const FieldTexts &texts, qint64 rowid,
                          const RowCheck &beforeCommit) {
    const QString sql = QStringLiteral("UPDATE piante SET %1 WHERE %2")
                            .arg(columnList(texts, "%1 = ?"), rowCondition("id", rowid));
    std::function<bool()> check;
    if (beforeCommit)
        check = [&] {
            const auto row = plant(id, rowid);
            QString why;
            return row && (beforeCommit(row->fields, &why) || fail(why));
        };
    return write(sql, texts, "piante", rowBinds(id, rowid), true, {}, check);
}

bool Archive::insertEvent(qint64 idtrat, const FieldTexts &texts) {
    FieldTexts all = texts;
    all.append({QStringLiteral("idtrat"), QString::number(idtrat)});
    const QString sql = QStringLiteral("INSERT INTO coltivazione (%1) VALUES (%2)")
                            .arg(columnList(all, "%1"), placeholders(all));
    QString plant;
    for (const auto &[field, text] : texts)
        if (field == QLatin1String("id"))
            plant = text;
    // An event is only stored for a plant that is there when it is written.
    return write(sql, all, "coltivazione", {}, false, [&] {
        const auto plantId = Conversions::parseKey(plant);
        bool there = false;
        if (plantId && !keyUsed("piante", "id", *plantId, &there))
            return false;
        return there || fail(QStringLiteral("Nessuna pianta corrisponde alla chiave \"%1\"")
                                 .arg(plant));
    });
}

bool Archive::updateEvent(qint64 idtrat, const FieldTexts &texts, qint64 rowid) {
    const QString sql = QStringLiteral("UPDATE coltivazione SET %1 WHERE %2")
                            .arg(columnList(texts, "%1 = ?"), rowCondition("idtrat", rowid));
    return write(sql, texts, "coltivazione", rowBinds(idtrat, rowid), true);
}

bool Archive::deleteEvent(qint64 idtrat, qint64 rowid) {
    return write(QStringLiteral("DELETE FROM coltivazione WHERE %1")
                     .arg(rowCondition("idtrat", rowid)),
                 {}, "coltivazione", rowBinds(idtrat, rowid), true);
}

bool Archive::deletePlantWithEvents(qint64 id, qint64 rowid, QStringList *photoFiles) {
    if (!open())
        return false;
    if (!m_db.transaction())
        return fail(m_db.lastError().text());
    bool ok = true;
    {
        QSqlQuery q(m_db);
        q.prepare(
            QStringLiteral("DELETE FROM piante WHERE %1").arg(rowCondition("id", rowid)));
        for (const QVariant &b : rowBinds(id, rowid))
            q.addBindValue(b);
        ok = exec(q);
        if (ok && q.numRowsAffected() == 0)
            ok = fail(QStringLiteral("Nessun record corrisponde alla chiave %1").arg(id));
        else if (ok && q.numRowsAffected() > 1)
            ok = fail(QStringLiteral("Più schede hanno la chiave %1: nessuna è stata cancellata")
                          .arg(id));
        bool twinLeft = false;
        if (ok)
            ok = keyUsed("piante", "id", id, &twinLeft);
        if (ok && !twinLeft) {
            q.prepare(QStringLiteral("DELETE FROM coltivazione WHERE id = ?"));
            q.addBindValue(id);
            ok = exec(q);
        }
        // Its rhythms set by hand go with it; an archive of an older layout has none.
        bool reminders = false;
        if (ok && !twinLeft)
            ok = hasReminders(&reminders);
        if (ok && reminders) {
            q.prepare(QStringLiteral("DELETE FROM promemoria WHERE id = ?"));
            q.addBindValue(id);
            ok = exec(q);
        }
        // An archive of an older layout has no photos.
        bool photos = false;
        if (ok && !twinLeft) {
            q.prepare(QStringLiteral(
                "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'foto'"));
            ok = exec(q);
            photos = ok && q.next();
        }
        QStringList files;
        if (ok && photos) {
            q.prepare(QStringLiteral("SELECT file FROM foto WHERE id = ?"));
            q.addBindValue(id);
            ok = exec(q);
            while (ok && q.next())
                files << q.value(0).toString();
            q.prepare(QStringLiteral("DELETE FROM foto WHERE id = ?"));
            q.addBindValue(id);
            ok = ok && exec(q);
        }
        q.finish();
        if (ok && photoFiles)
            *photoFiles = files;
    }
    if (ok && m_db.commit())
        return true;
    if (photoFiles)
        photoFiles->clear();
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

bool Archive::hasReminders(bool *has) {
    const auto found = DueCareQuery::hasReminders(m_db, &m_error);
    if (!found)
        return false;
    *has = *found;
    return true;
}

std::optional<QList<DueRow>> Archive::dueCare(const QDate &today,
                                              const std::function<bool()> &keepGoing) {
    if (!open())
        return std::nullopt;
    return DueCareQuery::rows(m_db, today, &m_error, keepGoing);
}

std::optional<QStringList> Archive::careKinds(qint64 plantId) {
    if (!open())
        return std::nullopt;
    RawQuery q(m_db, QStringLiteral("SELECT DISTINCT intervento FROM coltivazione "
                                    "WHERE id = ? AND trim(intervento) <> '' ORDER BY 1"));
    q.bind(1, plantId);
    QStringList kinds;
    while (q.next())
        kinds << q.value(0).toString();
    if (q.failed()) {
        fail(q.error());
        return std::nullopt;
    }
    return kinds;
}

bool Archive::setRhythm(qint64 plantId, const QString &intervento, std::optional<int> days) {
    if (!open())
        return false;
    if (intervento.trimmed().isEmpty())
        return fail(QStringLiteral("manca il tipo di intervento"));
    if (days && *days < 0)
        return fail(QStringLiteral("il ritmo non può essere negativo"));
    bool ok = m_db.transaction() || fail(m_db.lastError().text());
    if (!ok)
        return false;
    {
        bool reminders = false;
        ok = hasReminders(&reminders);
        if (ok && !reminders)
            ok = fail(QStringLiteral("l'archivio non ha ancora la tabella dei promemoria"));
        QSqlQuery q(m_db);
        if (ok && days) {
            ok = q.prepare(QStringLiteral(
                     "INSERT INTO promemoria (id, intervento, giorni) VALUES (?, ?, ?) "
                     "ON CONFLICT (id, intervento) DO UPDATE SET giorni = excluded.giorni")) ||
                 failQuery(q);
            q.addBindValue(plantId);
            q.addBindValue(intervento);
            q.addBindValue(*days);
        } else if (ok) {
            ok = q.prepare(
                     QStringLiteral("DELETE FROM promemoria WHERE id = ? AND intervento = ?")) ||
                 failQuery(q);
            q.addBindValue(plantId);
            q.addBindValue(intervento);
        }
        ok = ok && exec(q);
        q.finish();
    }
    if (ok && m_db.commit())
        return true;
    if (ok)
        fail(m_db.lastError().text());
    m_db.rollback();
    return false;
}

bool Archive::recordCare(const QList<CareToRecord> &care, const QDate &day, qint64 made) {
    if (!open())
        return false;
    if (!day.isValid())
        return fail(QStringLiteral("la data non è valida"));
    // The other fields as an empty box of the event editor leaves them.
    QStringList columns;
    QVariantList rest;
    for (const Field &f : FieldTable::event()) {
        if (f.column == QLatin1String("idtrat") || f.column == QLatin1String("id") ||
            f.column == QLatin1String("intervento") || f.column == QLatin1String("datatratt"))
            continue;
        columns << f.column;
        rest << (f.kind == Schema::Kind::Number ? QVariant(0.0) : QVariant(f.emptyText));
    }
    const QString sql =
        QStringLiteral("INSERT INTO coltivazione (idtrat, id, intervento, datatratt%1) "
                       "VALUES (?, ?, ?, ?%2)")
            .arg(columns.isEmpty() ? QString() : QStringLiteral(", ") + columns.join(", "),
                 QString(", ?").repeated(columns.size()));
    if (!m_db.transaction())
        return fail(m_db.lastError().text());
    bool ok = true;
    {
        QSqlQuery insert(m_db);
        ok = insert.prepare(sql) || failQuery(insert);
        qint64 key = made;
        for (const CareToRecord &c : care) {
            if (!ok)
                break;
            bool there = false;
            ok = keyUsed("piante", "id", c.plantId, &there);
            if (ok && !there)
                ok = fail(
                    QStringLiteral("nessuna pianta corrisponde alla chiave %1").arg(c.plantId));
            if (ok && c.intervento.trimmed().isEmpty())
                ok = fail(QStringLiteral("manca il tipo di intervento"));
            // Keys from the clock's, each the next free one: none repeats.
            for (bool used = true; ok && used;) {
                ok = keyUsed("coltivazione", "idtrat", key, &used);
                if (ok && used)
                    ++key;
            }
            if (!ok)
                break;
            const QVariantList values =
                QVariantList{key++, c.plantId, c.intervento, Conversions::isoDate(day)} + rest;
            for (int i = 0; i < values.size(); ++i)
                insert.bindValue(i, values.at(i));
            ok = exec(insert);
        }
        insert.finish();
    }
    if (ok && m_db.commit())
        return true;
    if (ok)
        fail(m_db.lastError().text());
    m_db.rollback();
    return false;
}
