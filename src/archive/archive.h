#pragma once

#include "archive/careevent.h"
#include "archive/plant.h"
#include "archive/records.h"

#include <QSqlDatabase>
#include <QString>
#include <functional>

class QSqlQuery;

// The archive file dbpiante.mdb: the only place that speaks SQL. Each operation makes an
// Archive, opens it, does its work and lets it go; nothing stays open between operations.
// Failures come back as false or an empty optional, with lastError() telling why.
class Archive {
public:
    explicit Archive(QString path);
    ~Archive();
    Archive(const Archive &) = delete;
    Archive &operator=(const Archive &) = delete;

    // Opens an existing SQLite file read-write. Never creates a file and refuses anything
    // that is not SQLite (an old Jet file, an empty file, random bytes), leaving it as it was.
    bool open();
    bool isOpen() const;
    // Before open(): opens for reading only, whatever the file's permissions allow.
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // Opens the archive and reads both tables through: false, with the reason, when it
    // cannot serve the program (not SQLite, unreadable, damaged, without the tables).
    bool check();
    QString lastError() const { return m_error; }
    QString path() const { return m_path; }

    // Plant list: every plant in stored order, with its three derived columns.
    std::optional<QList<PlantListRow>> plantList();
    // The plants whose chosen field begins with the typed text (`*` and `?` as wildcards).
    std::optional<QList<PlantListRow>> searchPlants(SearchField field, const QString &typed);
    // The same plants by key only, in key order; their other columns come from
    // plantRowsOf(), for the rows wanted, when they are wanted (the key is not read again).
    std::optional<QList<PlantKey>> plantKeys();
    std::optional<QList<PlantKey>> searchPlantKeys(SearchField field, const QString &typed);
    std::optional<QList<PlantListRow>> plantRowsOf(const QList<qint64> &rowids, bool many = false);
    // Every plant with its own columns only, in stored order (a sort on one of them).
    std::optional<QList<PlantListRow>> plantTexts();

    // Rows by key. A rowid (not 0) names the one row meant where another tool stored two
    // rows under one key; a write or delete by key alone must find exactly one row.
    std::optional<Plant> plant(qint64 id, qint64 rowid = 0);
    std::optional<CareEvent> event(qint64 idtrat, qint64 rowid = 0);
    // Events of a plant, oldest first (ties in stored order), or in stored order.
    enum class EventOrder { ByDate, Stored };
    std::optional<QList<CareEvent>> events(qint64 plantId, EventOrder order);
    // The rowids of the same rows, oldest first; then the fields the event list shows, of
    // those of the plant's events with these rowids (in no particular order).
    std::optional<QList<qint64>> eventRowids(qint64 plantId);
    std::optional<QList<EventListRow>> eventListRows(qint64 plantId, const QList<qint64> &rowids);

    // Writes. Each runs in one transaction: all of it reaches the file or none of it.
    // Texts are converted to their fields' kinds first; a text a field refuses fails the
    // write with the reason, and nothing is written.
    bool checkPlantTexts(const FieldTexts &texts);
    bool insertPlant(qint64 id, const FieldTexts &texts);
    // Each fails, writing nothing, unless it changes exactly one row.
    // `beforeCommit` sees the row as written, inside the transaction; false undoes it all.
    using RowCheck = std::function<bool(const Record &row, QString *error)>;
    bool updatePlant(qint64 id, const FieldTexts &texts, qint64 rowid = 0,
                     const RowCheck &beforeCommit = {});
    bool insertEvent(qint64 idtrat, const FieldTexts &texts); // fails when its plant is gone
    bool updateEvent(qint64 idtrat, const FieldTexts &texts, qint64 rowid = 0);
    bool deleteEvent(qint64 idtrat, qint64 rowid = 0);
    // The plant, its events and its photo rows, or nothing. Events and photos stay while a
    // twin row keeps their key. The files of the photo rows removed go in *photoFiles, for
    // the caller to remove once this has returned.
    bool deletePlantWithEvents(qint64 id, qint64 rowid = 0, QStringList *photoFiles = nullptr);

    // Keys are made from the clock and may collide; these give the made key, or the next
    // free number after it. `alsoTaken` adds a test of the caller's (a picture folder).
    std::optional<qint64> freePlantKey(qint64 made,
                                       const std::function<bool(qint64)> &alsoTaken = {});
    std::optional<qint64> freeEventKey(qint64 made);

    // Care that is due (see CareRhythm), for `today`; `keepGoing` false stops the reading,
    // which then gives nothing with an empty lastError(). Works on any thread; a large
    // archive is read by two, and `keepGoing` is asked from both.
    std::optional<QList<DueRow>> dueCare(const QDate &today,
                                         const std::function<bool()> &keepGoing = {});
    // The kinds of care in a plant's log, in alphabetical order.
    std::optional<QStringList> careKinds(qint64 plantId);
    // A rhythm set by hand for a plant and kind: every `days` days, 0 for "do not remind",
    // nothing to go back to the learned one. Fails on an archive without promemoria.
    bool setRhythm(qint64 plantId, const QString &intervento, std::optional<int> days);
    // One event dated `day` for each, in one transaction, keys made from `made` on (the next
    // free ones): all of them are written, or none when any fails.
    bool recordCare(const QList<CareToRecord> &care, const QDate &day, qint64 made);

    // "ok" when the file is sound, else what the check found; nothing when it cannot run.
    std::optional<QString> integrityCheck();

    // Files that begin with this are SQLite databases.
    static bool looksLikeSqlite(const QString &path, QString *error = nullptr);

private:
    bool fail(const QString &error);
    bool failQuery(const QSqlQuery &q);
    bool exec(QSqlQuery &q);
    std::optional<QVariantList> convert(const QString &table, const FieldTexts &texts);
    bool write(const QString &sql, const FieldTexts &texts, const QString &table,
               const QVariantList &extra, bool mustChangeRow,
               const std::function<bool()> &firstCheck = {},
               const std::function<bool()> &lastCheck = {});
    // The row's fields, and its rowid under "rowid".
    std::optional<Record> one(const QString &table, const QString &field, qint64 key,
                              qint64 rowid);
    bool keyUsed(const QString &table, const QString &field, qint64 key, bool *used);
    bool hasReminders(bool *has);

    QString m_path;
    QString m_connection;
    QSqlDatabase m_db;
    QString m_error;
    bool m_readOnly = false;
};
