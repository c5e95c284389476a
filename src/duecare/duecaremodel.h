#pragma once

#include "archive/records.h"

#include <QAbstractTableModel>
#include <QList>

// The rows of the care that is due: all of them held, those of the chosen span shown, in the
// chosen order (most overdue first until a header is clicked). Out-of-season and silenced
// rows are shown only with the span "Tutte".
class DueCareModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Specie, Identificazione, Intervento, Last, Rhythm, Next, Late, Columns };
    enum class Span { Today, Week, All };

    using QAbstractTableModel::QAbstractTableModel;

    // With `inFirstOrder`, the rows come sorted by sortFirst() already (off the window's
    // thread), and are shown so without sorting them again.
    // Gives back the rows held before.
    QList<DueRow> setRows(QList<DueRow> rows, bool inFirstOrder = false);
    // The order the window opens in: most overdue first.
    static void sortFirst(QList<DueRow> &rows);
    void setSpan(Span span);
    Span span() const { return m_span; }
    // The row shown at `row`.
    const DueRow &at(int row) const { return m_rows.at(m_shown.at(row)); }
    const QList<DueRow> &all() const { return m_rows; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    // The texts of the cells, as shown.
    static QString rhythmText(const DueRow &row);
    static QString lateText(const DueRow &row);

private:
    void arrange();
    static int compare(const DueRow &a, const DueRow &b, int column);

    QList<DueRow> m_rows;
    QList<int> m_shown; // indices into m_rows, in the order shown
    Span m_span = Span::Today;
    int m_sortColumn = Late;
    Qt::SortOrder m_order = Qt::DescendingOrder;
    bool m_inFirstOrder = false; // m_rows stand as sortFirst() leaves them
};
