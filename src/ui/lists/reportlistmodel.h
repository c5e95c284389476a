#pragma once

#include "ui/lists/reportrows.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QStringList>
#include <memory>

// The rows of a list in report style: columns with a header and a width in twips, rows of
// texts (column 1 is the row's own text, column n its sub-item n-1). Sorting, once switched
// on, keeps the rows ordered by one key column in one direction.
class ReportListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString header;
        int widthTwips = 0;
    };

    explicit ReportListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // Removes every row and every column.
    void clearAll();
    void setColumns(const QList<Column> &columns);
    const QList<Column> &columns() const { return m_columns; }
    // Replaces the rows, given top first. When sorting is on they are then sorted.
    void setRows(QList<QStringList> rows);
    void setRows(std::unique_ptr<ReportRows> rows);
    QString text(int row, int column) const; // 0-based row and column
    QStringList row(int r) const;
    // The first row (0-based) whose cells hold these texts, column by column; -1 when none.
    int find(const QList<QPair<int, QString>> &cells) const;
    // Whether every text of every row is known (a source may read some after the fill).
    bool complete() const { return !m_source || m_source->complete(); }

    void setSortKey(int column) { m_sortKey = column; }
    int sortKey() const { return m_sortKey; }
    void setSortOrder(Qt::SortOrder order) { m_order = order; }
    Qt::SortOrder sortOrder() const { return m_order; }
    void setSorted(bool on);
    bool isSorted() const { return m_sorted; }

private:
    void readForSort(ReportRows &rows);
    void applySort();
    qsizetype sourceRow(int row) const { return m_shown.isEmpty() ? row : m_shown.at(row); }
    void prefetch(int row) const;

    QList<Column> m_columns;
    // The rows as given, and when sorted the given row shown at each position.
    std::unique_ptr<ReportRows> m_source;
    QList<qsizetype> m_shown;
    int m_sortKey = 0;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    bool m_sorted = false;
    QCollator m_collator;
};
