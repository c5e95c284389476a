#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>

// Reads whole tables of an Access file (Jet 3 or Jet 4) row by row, each value as stored:
// texts and memos as QString ("" stays "", NULL is a null QVariant), numbers as double
// (Currency as its exact decimal value), dates as a QDate, or when they carry a time of day
// as a QDateTime in UTC holding the stored day and time without any zone. Nothing is ever written
// to the file.
class JetReader {
public:
    enum class Kind { Text, Number, Date };
    struct Column {
        QString name;
        Kind kind;
    };

    explicit JetReader(QString path);
    ~JetReader();
    JetReader(const JetReader &) = delete;
    JetReader &operator=(const JetReader &) = delete;

    bool open();
    QString lastError() const { return m_error; }

    // Every row of the table in stored order, its cells in the order of `columns`. The table
    // must hold exactly these columns (names without regard to case), of fitting kinds.
    std::optional<QList<QVariantList>> read(const QString &table, const QList<Column> &columns);

    // Files that begin like an Access database ("Standard Jet DB" or "Standard ACE DB").
    static bool looksLikeJet(const QString &path);

private:
    struct Handle;
    bool fail(const QString &error);

    QString m_path;
    std::unique_ptr<Handle> m_handle;
    QString m_error;
};
