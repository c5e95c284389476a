#pragma once

#include "ui/lists/reportrows.h"

#include <QStringList>

// Rows given as their texts.
class TextRows : public ReportRows {
public:
    explicit TextRows(QList<QStringList> rows) : m_rows(std::move(rows)) {}
    qsizetype size() const override { return m_rows.size(); }
    QString text(qsizetype row, int column) const override;
    int width(qsizetype row) const override { return static_cast<int>(m_rows.at(row).size()); }

private:
    QList<QStringList> m_rows;
};
