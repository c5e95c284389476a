#include "ui/reportlistmodel.h"

#include <algorithm>

ReportListModel::ReportListModel(QObject *parent)
    : QAbstractTableModel(parent), m_collator(QLocale(QLocale::Italian, QLocale::Italy)) {
    // Texts sort as people expect: case ignored, accented letters beside their plain ones,
    // numbers by value.
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(true);
}

int ReportListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : m_rows.size();
}

int ReportListModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : m_columns.size();
}

QVariant ReportListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return text(index.row(), index.column());
}

QVariant ReportListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section < m_columns.size())
        return m_columns.at(section).header;
    return {};
}

QString ReportListModel::text(int row, int column) const {
    if (row < 0 || row >= m_rows.size())
        return {};
    return m_rows.at(row).value(column);
}

void ReportListModel::clearAll() {
    beginResetModel();
    m_rows.clear();
    m_columns.clear();
    endResetModel();
}

void ReportListModel::setColumns(const QList<Column> &columns) {
    beginResetModel();
    m_columns = columns;
    endResetModel();
}

void ReportListModel::setRows(QList<QStringList> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    if (m_sorted)
        applySort();
    endResetModel();
}

void ReportListModel::setSorted(bool on) {
    m_sorted = on;
    if (on) {
        beginResetModel();
        applySort();
        endResetModel();
    }
}

void ReportListModel::applySort() {
    const int key = m_sortKey;
    // Sort keys are made once per row: comparing collation keys is much cheaper than
    // comparing the texts again and again.
    QList<QPair<QCollatorSortKey, int>> keys;
    keys.reserve(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i)
        keys.append({m_collator.sortKey(m_rows.at(i).value(key)), i});
    const bool descending = m_order == Qt::DescendingOrder;
    std::stable_sort(keys.begin(), keys.end(), [descending](const auto &a, const auto &b) {
        const int c = a.first.compare(b.first);
        return descending ? c > 0 : c < 0;
    });
    QList<QStringList> sorted;
    sorted.reserve(m_rows.size());
    for (const auto &k : keys)
        sorted.append(std::move(m_rows[k.second]));
    m_rows = std::move(sorted);
}
