#pragma once

#include <QDate>
#include <QHash>
#include <QSqlDatabase>
#include <QString>

struct DueRow;

// The care that is due worked out by one plain SQL statement with window functions: the
// yardstick the window's reading is timed against, and the truth its rows are checked with.
// It knows the learned rhythms only (a rhythm set by hand overrides one and is left out).
class DueCareLimit {
public:
    struct Row {
        int every = 0;
        QDate next;
        bool outOfSeason = false;
    };
    using Table = QHash<QPair<qint64, QString>, Row>; // by plant and kind

    explicit DueCareLimit(const QString &path);
    ~DueCareLimit();
    DueCareLimit(const DueCareLimit &) = delete;
    DueCareLimit &operator=(const DueCareLimit &) = delete;

    bool open(QString *error);
    bool run(const QDate &today, Table *rows, QString *error);
    static QString statement();
    // Compares the window's rows with the statement's; prints the first differences and
    // returns how many checks failed.
    static int compare(const QList<DueRow> &rows, const Table &expected);

private:
    QString m_connection;
    QString m_path;
    QSqlDatabase m_db;
};
