#include "ui/reportlist.h"

#include "ui/twips.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
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
    // The current cell sits in a visible column: the keys move on from it by its place on
    // the screen, which a hidden column does not have.
    const QModelIndex idx = visibleIndex(position - 1);
    selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
    scrollTo(idx);
    return true;
}

QModelIndex ReportList::visibleIndex(int row) const {
    int column = 0;
    while (column + 1 < m_model->columnCount() && isColumnHidden(column))
        ++column;
    return m_model->index(row, column);
}

QPoint ReportList::menuPosition() const {
    const int pos = selectedPosition();
    if (pos == 0)
        return viewport()->mapToGlobal(QPoint(0, 0));
    const QRect r = visualRect(visibleIndex(pos - 1));
    return viewport()->mapToGlobal(QPoint(viewport()->rect().left() + 8, r.bottom()));
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

void ReportList::keyPressEvent(QKeyEvent *e) {
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if (e->key() == Qt::Key_Menu || (e->key() == Qt::Key_F10 && mods == Qt::ShiftModifier)) {
        e->accept();
        emit menuKeyPressed();
        return;
    }
    const int before = selectedPosition();
    const bool upOrDown = e->key() == Qt::Key_Up || e->key() == Qt::Key_Down;
    if (before == 0 && upOrDown && mods == Qt::NoModifier && m_model->rowCount() > 0) {
        // Nothing selected: the first arrow takes the row with the focus frame rather than
        // stepping past it.
        const QModelIndex current = currentIndex();
        selectPosition(current.isValid() ? current.row() + 1 : 1);
        e->accept();
    } else {
        QTreeView::keyPressEvent(e);
    }
    const int after = selectedPosition();
    if (after != before)
        emit keyboardSelected(after);
}

void ReportList::keyReleaseEvent(QKeyEvent *e) {
    QTreeView::keyReleaseEvent(e);
    if (!e->isAutoRepeat())
        emit keyReleased();
}

void ReportList::contextMenuEvent(QContextMenuEvent *e) {
    // Some systems turn the context-menu key into this event as well as into a key press;
    // the menu opened by the first of the two takes the second.
    if (e->reason() == QContextMenuEvent::Keyboard) {
        e->accept();
        emit menuKeyPressed();
        return;
    }
    QTreeView::contextMenuEvent(e);
}
