#include "ui/reportlist.h"

#include "ui/twips.h"

#include <QHeaderView>
#include <QMouseEvent>

ReportList::ReportList(QWidget *parent) : QTreeView(parent), m_model(new ReportListModel(this)) {
    setModel(m_model);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setItemsExpandable(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);
    header()->setSectionsMovable(false);
    connect(header(), &QHeaderView::sectionClicked, this, &ReportList::headerClicked);
    setMouseTracking(true);
}

void ReportList::setColumns(const QList<ReportListModel::Column> &columns) {
    m_model->setColumns(columns);
    applyWidths();
}

void ReportList::applyWidths() {
    const auto &columns = m_model->columns();
    for (int i = 0; i < columns.size(); ++i) {
        const int w = columns.at(i).widthTwips;
        setColumnHidden(i, w == 0);
        if (w > 0)
            setColumnWidth(i, Twips::px(w));
    }
}

void ReportList::clearAll() { m_model->clearAll(); }

void ReportList::setRows(QList<QStringList> rows) { m_model->setRows(std::move(rows)); }

int ReportList::selectedPosition() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

bool ReportList::selectPosition(int position) {
    if (position < 1 || position > m_model->rowCount())
        return false;
    const QModelIndex idx = m_model->index(position - 1, 0);
    selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
    return true;
}

QString ReportList::selectedSubItem(int n) const {
    const int pos = selectedPosition();
    return pos == 0 ? QString() : m_model->text(pos - 1, n);
}

void ReportList::setTracking(bool on) {
    m_tracking = on;
    setAttribute(Qt::WA_Hover, on);
    viewport()->setAttribute(Qt::WA_Hover, on);
}

void ReportList::mousePressEvent(QMouseEvent *e) {
    QTreeView::mousePressEvent(e);
    // A right click selects the row under the pointer too, as a left click does.
    const QModelIndex idx = indexAt(e->position().toPoint());
    if (idx.isValid() && e->button() == Qt::RightButton)
        selectPosition(idx.row() + 1);
    if (idx.isValid() && e->button() == Qt::LeftButton)
        emit itemClicked(idx.row() + 1);
}

void ReportList::mouseReleaseEvent(QMouseEvent *e) {
    QTreeView::mouseReleaseEvent(e);
    emit mouseReleased(e->button(), e->globalPosition().toPoint());
}

void ReportList::mouseMoveEvent(QMouseEvent *e) {
    QTreeView::mouseMoveEvent(e);
    emit mouseMoved();
}
