#include "ui/lists/reportlist.h"

#include "ui/widgets/twips.h"

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

void ReportList::clearAll() {
    m_model->clearAll();
}

void ReportList::setRows(QList<QStringList> rows) {
    m_model->setRows(std::move(rows));
}

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
    // The toolkit may leave the focus frame in a hidden column (the first, when the list
    // gets the focus), from where the keys move the frame but select nothing.
    const QModelIndex frame = currentIndex();
    if (frame.isValid() && isColumnHidden(frame.column()))
        selectionModel()->setCurrentIndex(visibleIndex(frame.row()), QItemSelectionModel::NoUpdate);
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
        // With nothing selected the focus frame already sits on the first row, so Home (or
        // a page key that stays there) does not move it; the row it names is taken all the
        // same, as the arrows take it.
        const QModelIndex current = currentIndex();
        if (before == 0 && selectedPosition() == 0 && current.isValid() && mods == Qt::NoModifier &&
            isMoveKey(e->key()))
            selectPosition(current.row() + 1);
    }
    const int after = selectedPosition();
    if (after != before)
        emit keyboardSelected(after);
}

bool ReportList::isMoveKey(int key) {
    switch (key) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

void ReportList::focusInEvent(QFocusEvent *e) {
    // The keys move on from the highlighted row, wherever the focus frame was left.
    const int selected = selectedPosition();
    if (selected > 0 && currentIndex().row() != selected - 1)
        selectionModel()->setCurrentIndex(visibleIndex(selected - 1),
                                          QItemSelectionModel::NoUpdate);
    QTreeView::focusInEvent(e);
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
