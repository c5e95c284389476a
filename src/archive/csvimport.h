#pragma once

#include "archive/appfolder.h"
#include "archive/csvreader.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Plants and care events from a spreadsheet: a file of plants and one of events (either may
// be left out), each column matched to a field (CsvColumns). Each row is read as the card
// editor reads its boxes: dates d/m/yyyy or yyyy-mm-dd, numbers Italian style ("1.500",
// "12,5") or with a decimal point; an empty cell is an empty text, 0, or no date
// (1 January 1900, as the export writes it); a field no column holds gets the editor's empty
// value. A text the export guarded against formulas loses that apostrophe again.
//
// Keys: a file whose header is the export's keeps its keys where they are free; any other
// row gets a new time-stamp key, one not taken. A row already in the archive (the same kept
// key, or for a plant the same specie and identificazione) is skipped or updated, as chosen.
// An event finds its plant by the plant key when the file has one, else by identificazione,
// and by specie too when that names more than one plant.
class CsvImport {
public:
    explicit CsvImport(AppFolder folder);

    enum class Duplicates { Skip, Update };

    // Reads a file of the table (FieldTable::plants or FieldTable::events) and proposes its
    // columns; false with error() when it cannot be read.
    bool open(const QString &table, const QString &path);
    void close(const QString &table);
    bool isOpen(const QString &table) const { return !source(table).path.isEmpty(); }
    QString path(const QString &table) const { return source(table).path; }
    const CsvReader &reader(const QString &table) const { return source(table).reader; }

    // The first row's texts, one for each column.
    QStringList firstRow(const QString &table) const { return source(table).firstRow; }
    // The first row of values: the second when the first names the columns.
    QStringList sampleRow(const QString &table) const {
        const Source &s = source(table);
        return s.header ? s.secondRow : s.firstRow;
    }
    // Whether the first row names the columns: found when the file is read, changeable.
    bool hasHeader(const QString &table) const { return source(table).header; }
    void setHeader(const QString &table, bool header);
    // The field of each column, "" for a column left out.
    QStringList columns(const QString &table) const { return source(table).columns; }
    // Gives a column its field; another column holding that field lets it go.
    void setColumn(const QString &table, int column, const QString &target);

    void setDuplicates(Duplicates d) { m_duplicates = d; }

    struct Skipped {
        QString file; // the file's name
        qint64 row;   // as a spreadsheet numbers it, the header being row 1
        QString reason;
    };
    // A row as it will be stored: the values of the table's fields as a box shows them.
    struct Preview {
        qint64 row;
        QString outcome; // "nuova", "aggiornata", or why it is skipped
        QStringList values;
    };
    struct Outcome {
        qint64 plants = 0; // stored, new or updated
        qint64 events = 0;
        QList<Skipped> skipped;
        QList<Preview> plantRows, eventRows; // the first rows of each file
    };
    // Rows done and rows in all (in characters read); answering false stops.
    using Progress = std::function<bool(qint64 done, qint64 total)>;
    static constexpr int previewRows = 20;

    // What the import would store and each row it would skip, and why; nothing is written.
    // With `eventRows` at 0 or more, only that many events are looked at (for a preview).
    std::optional<Outcome> check(const QDateTime &now, const Progress &progress = {},
                                 qint64 eventRows = -1);
    // The import: once the day's safety copy exists (made here when it does not), every
    // good row in one transaction. On a failure or when stopped nothing is stored.
    std::optional<Outcome> write(const QDateTime &now, const Progress &progress = {});
    bool stopped() const { return m_stopped; }
    QString error() const { return m_error; }

    // The skipped rows as a file a spreadsheet opens, beside the first file imported:
    // <name>-righe-saltate.csv. Its path, or empty with error() when it cannot be written.
    QString saveReport(const Outcome &outcome);

private:
    struct Source {
        QString path;
        CsvReader reader;
        bool header = false;
        QStringList firstRow, secondRow;
        QStringList columns;
    };
    Source &source(const QString &table);
    const Source &source(const QString &table) const;
    std::optional<Outcome> run(bool writing, const QDateTime &now, const Progress &progress,
                               qint64 eventRows);

    AppFolder m_folder;
    Source m_plants, m_events;
    Duplicates m_duplicates = Duplicates::Skip;
    QString m_error;
    bool m_stopped = false;
};
