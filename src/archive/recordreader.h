#pragma once

#include "archive/records.h"
#include "archive/schema.h"

#include <QList>
#include <QStringList>

class QSqlQuery;

// Reads the rows of one query as records; the columns' names and kinds are worked out once.
class RecordReader {
public:
    RecordReader(const QString &table, const QSqlQuery &q);
    Record read(const QSqlQuery &q) const;

private:
    QStringList m_names;
    QList<Schema::Kind> m_kinds;
};
