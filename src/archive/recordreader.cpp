#include "archive/recordreader.h"

#include <QSqlQuery>
#include <QSqlRecord>

RecordReader::RecordReader(const QString &table, const QSqlQuery &q) {
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i) {
        m_names << rec.fieldName(i).toLower();
        m_kinds << Schema::fieldKind(table, m_names.last());
    }
}

Record RecordReader::read(const QSqlQuery &q) const {
    Record r;
    for (int i = 0; i < m_names.size(); ++i)
        r.insert(m_names.at(i), Schema::valueOf(m_kinds.at(i), q.value(i)));
    return r;
}
