#pragma once

#include "ui/lists/reportlistmodel.h"

#include <QTreeView>

// A list view in report style over a ReportListModel: full-row selection, zero-width columns
// hidden, header clicks and mouse releases reported with the row they concern, and the
// keyboard's moves of the selection and its pop-up keys reported too.
class ReportList : public QTreeView {
    Q_OBJECT
public:
    explicit ReportList(QWidget *parent = nullptr);

    ReportListModel *list() const { return m_model; }

    // Lays out the columns; widths are in twips, width 0 hides a column.
    void setColumns(const QList<ReportListModel::Column> &columns);
    void clearAll();
    void setRows(QList<QStringList> rows);

    // The 1-based position of the selected row; 0 when none is selected.
    int selectedPosition() const;
    // Marks the row at a 1-based position as selected (and scrolls it into view), without
    // acting as a click.
    bool selectPosition(int position);
    // Where a pop-up menu opened from the keyboard goes: below the selected row, or at the
    // top of the list when none is selected; in global coordinates.
    QPoint menuPosition() const;
    // The text of sub-item n (column n+1) of the selected row; empty when none.
    QString selectedSubItem(int n) const;

    // Pointer tracking: rows follow the pointer while it is on.
    void setTracking(bool on);
    bool tracking() const { return m_tracking; }

signals:
    void itemClicked(int position);
    void mouseReleased(Qt::MouseButton button, const QPoint &globalPos);
    void mouseMoved();
    void headerClicked(int column);
    // A key moved the selection to the row at `position` (0: it took the selection away).
    void keyboardSelected(int position);
    // A key was let go (the releases of auto-repeat do not count).
    void keyReleased();
    // The context-menu key or Shift+F10.
    void menuKeyPressed();

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;

private:
    void applyWidths();
    static bool isMoveKey(int key);
    // The cell of a 0-based row in its first visible column.
    QModelIndex visibleIndex(int row) const;

    ReportListModel *m_model;
    bool m_tracking = false;
};
