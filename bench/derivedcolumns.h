#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

class ReportListModel;

// The three derived columns of the plant list computed by one plain SQL statement on the
// archive: the yardstick the list fill is timed against, and the truth it is checked with.
class DerivedColumns {
public:
    struct Row {
        qint64 id = 0;
        qint64 rowid = 0;    // stored order
        QString specie, identificazione, vaso; // as the list shows them (blank: empty)
        QString waterOrFeed; // "yyyy/mm/dd A" or "yyyy/mm/dd C"
        QString flowering;   // "yyyy/mm/dd"
        QString other;       // kind, a blank, "yyyy/mm/dd"
    };
    using Table = QList<Row>;

    explicit DerivedColumns(const QString &path);
    ~DerivedColumns();
    DerivedColumns(const DerivedColumns &) = delete;
    DerivedColumns &operator=(const DerivedColumns &) = delete;

    bool open(QString *error);
    // Runs the statement and reads every row it returns.
    bool run(Table *rows, QString *error);
    // The statement (its plan is in docs/benchmark.md).
    static QString statement();

    // Plants whose species begins with `prefix` (ASCII, case ignored).
    int countStartingWith(const QString &prefix);
    // The letter most species begin with.
    QString commonestInitial();

    // Compares every cell of a filled plant list with the statement's rows; prints every
    // difference (the first few in full) and returns how many checks failed. With `rows` >= 0
    // the list must hold exactly that many rows; with `storedOrder` the rows must stand in
    // the reverse of the stored order (the list unsorted).
    static int compare(const ReportListModel &list, const Table &expected, const char *what,
                       int rows, bool storedOrder = true);

    // The cells of the event list of a plant, top row first.
    bool eventCells(qint64 plantId, QList<QStringList> *rows, QString *error);

    // What the archive holds: its size and the plant with the most events.
    struct Collection {
        int plants = 0, events = 0, plantsWithoutEvents = 0, eventsOfBigPlant = 0;
        qint64 bigPlantId = 0;
    };
    Collection collection();

private:
    QString m_connection;
    QString m_path;
    QSqlDatabase m_db;
};
