#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// The archive as files a spreadsheet opens by a double click, Italian style: piante.csv
// (every field of every plant), trattamenti.csv (every field of every event, with the
// plant's specie and identificazione after its id) and promemoria.csv (the care rhythms set
// by hand; only the first row for an archive of a layout without them) and foto.csv (every
// photo's row; only the first row when the archive has no photos table yet). UTF-8 with a
// byte-order mark, ';' between fields, CR LF after every row, a field in double quotes only
// when it holds a quote, a ';' or a line break (quotes doubled), dates dd/mm/yyyy and nothing
// for the "no date" 01/01/1900, numbers with a decimal comma, NULL as an empty field, and a
// first row with the field names. A text that a spreadsheet would run as a formula (one of
// = + - @, a tab or a carriage return first, after any apostrophes) is written with one
// apostrophe more in front, so that it shows as text; reading the files back takes the
// first apostrophe away from such a text, and nothing else.
class CsvExport {
public:
    explicit CsvExport(QString archivePath);

    static const QString plantsFile;    // piante.csv
    static const QString eventsFile;    // trattamenti.csv
    static const QString remindersFile; // promemoria.csv
    static const QString photosFile;    // foto.csv
    static QStringList fileNames() { return {plantsFile, eventsFile, remindersFile, photosFile}; }

    // Rows written so far and rows in all; answering false stops the export.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    // Writes the files into `folder`, from one state of the archive. They are written into
    // a fresh folder inside it, synced and marked whole, then renamed over the files of
    // those names (a link there is replaced, never written through). On failure or when
    // stopped nothing there changes. false with error() telling why (empty when stopped).
    bool write(const QString &folder, const Progress &progress = {});

    // Finishes an export into `folder` cut short after its new pair was marked whole (both
    // files end up new), or removes what it wrote before (both stay old).
    static void settle(const QString &folder);
    // The same for the folder of an export the program was stopped in, which a note beside
    // the archive names: run at startup.
    static void settleInterrupted(const QString &archivePath);

    qint64 plants() const { return m_plants; }
    qint64 events() const { return m_events; }
    bool stopped() const { return m_stopped; }
    QString error() const { return m_error; }

private:
    QString m_path;
    QString m_error;
    qint64 m_plants = 0;
    qint64 m_events = 0;
    bool m_stopped = false;
};
