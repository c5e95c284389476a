#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

// A CSV file as spreadsheets write it, read record by record. The encoding is found: UTF-8
// with or without a byte-order mark, UTF-16 with one, else Windows-1252. So is the
// separator, among ';', ',' and tab: the one that splits the first records into the same
// number of fields, more than one. Fields follow RFC 4180: a field in double quotes may hold
// separators, line breaks and doubled quotes; records end in CR LF, LF or CR.
class CsvReader {
public:
    // Reads the whole file; false with error() telling why in Italian.
    bool open(const QString &path);
    // The same for bytes at hand.
    void setBytes(const QByteArray &bytes);

    QString encoding() const { return m_encoding; } // "UTF-8", "Windows-1252"...
    QChar separator() const { return m_separator; }

    // From the first record again.
    void rewind() { m_pos = 0; }
    // The next record; false at the end. Its fields stay valid until the next call.
    bool next();
    const QList<QStringView> &fields() const { return m_fields; }
    // The record ran to the end of the file inside quotes that were never closed.
    bool unclosedQuote() const { return m_unclosed; }
    // Whether every field of the record is empty or blank.
    bool blank() const;

    qsizetype position() const { return m_pos; }
    qsizetype size() const { return m_text.size(); }
    QString error() const { return m_error; }

    // Files beyond this are refused: no spreadsheet of a collection comes near it.
    static constexpr qint64 maxBytes = qint64(512) << 20;

private:
    // Reads one record from `pos` with the separator `sep` into m_fields.
    bool parse(qsizetype &pos, QChar sep);
    QChar sniff();

    QString m_text;
    QString m_encoding;
    QString m_error;
    QChar m_separator = u';';
    qsizetype m_pos = 0;
    QList<QStringView> m_fields;
    std::vector<QString> m_unquoted; // fields whose quotes were undone, for this record
    bool m_unclosed = false;
};
