#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>

// Reads whole tables of an Access file (Jet 3 or Jet 4) row by row, each value as stored:
// texts and memos as QString ("" stays "", NULL is a null QVariant), numbers as double
// (Currency as its exact decimal value), dates as a QDate, or when they carry a time of day
// as a QDateTime in UTC holding the stored day and time without any zone. Nothing is ever written
// to the file.
//
// libmdb reads the file in a child process of its own (JetTableDump), with limits on its
// processor time and memory and a deadline scaled to the file's size: a damaged file that
// makes the library crash, loop or eat memory ends only the child, and the read fails with
// "il file è danneggiato". A value that cannot be read whole fails the read; no value is
// ever given empty or in part.
class JetReader {
public:
    enum class Kind { Text, Number, Date };
    struct Column {
        QString name;
        Kind kind;
        bool required = true; // a column the file may lack reads as NULL
    };
    struct Table {
        QString name;
        QList<Column> columns;
    };
    // The share of the file read so far, from 0 to 1; false stops the read.
    using Progress = std::function<bool(double)>;

    explicit JetReader(QString path);

    // Every row of each table in stored order, its cells in the order of its `columns`. A
    // table must hold exactly these columns (names without regard to case), of fitting kinds.
    // nullopt with lastError(), or with cancelled() when `progress` stopped it.
    std::optional<QList<QList<QVariantList>>> read(const QList<Table> &tables,
                                                   const Progress &progress = {});
    QString lastError() const { return m_error; }
    bool cancelled() const { return m_cancelled; }

    // Files that begin like an Access database ("Standard Jet DB" or "Standard ACE DB").
    static bool looksLikeJet(const QString &path);

    static inline const QString damaged = QStringLiteral("il file è danneggiato");

private:
    class Parser;

    QString m_path;
    QString m_error;
    bool m_cancelled = false;
};
