#include "ui/lists/reportlistmodel.h"

#include "ui/platform/messages.h"
#include "ui/lists/textrows.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QProgressDialog>

#include <algorithm>

namespace {
namespace T {
const QString sorting = QStringLiteral("Ordinamento dell'elenco...");
} // namespace T
} // namespace

ReportListModel::ReportListModel(QObject *parent)
    : QAbstractTableModel(parent), m_collator(QLocale(QLocale::Italian, QLocale::Italy)) {
    // Texts sort as people expect: case ignored, accented letters beside their plain ones,
    // numbers by value.
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(true);
}

int ReportListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() || !m_source ? 0 : static_cast<int>(m_source->size());
}

int ReportListModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : m_columns.size();
}

QVariant ReportListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return text(index.row(), index.column());
}

// Rows shown from here on are read together: the view asks for them one after another.
void ReportListModel::prefetch(int row) const {
    constexpr int ahead = 128;
    QList<qsizetype> wanted;
    const int end = std::min(rowCount(), row + ahead);
    for (int r = row; r < end; ++r)
        if (!m_source->ready(sourceRow(r)))
            wanted.append(sourceRow(r));
    m_source->fetch(wanted);
}

QVariant ReportListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section < m_columns.size())
        return m_columns.at(section).header;
    return {};
}

QString ReportListModel::text(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0)
        return {};
    if (m_source->late(column) && !m_source->ready(sourceRow(row)))
        prefetch(row);
    return m_source->text(sourceRow(row), column);
}

QStringList ReportListModel::row(int r) const {
    QStringList texts;
    if (r < 0 || r >= rowCount())
        return texts;
    const int n = m_source->width(sourceRow(r));
    for (int c = 0; c < n; ++c)
        texts << text(r, c);
    return texts;
}

int ReportListModel::find(const QList<QPair<int, QString>> &cells) const {
    for (int r = 0; r < rowCount(); ++r) {
        const qsizetype at = sourceRow(r);
        if (std::all_of(cells.cbegin(), cells.cend(), [&](const QPair<int, QString> &c) {
                if (m_source->late(c.first) && !m_source->ready(at))
                    prefetch(r);
                return m_source->holds(at, c.first, c.second);
            }))
            return r;
    }
    return -1;
}

void ReportListModel::clearAll() {
    beginResetModel();
    m_source.reset();
    m_shown.clear();
    m_columns.clear();
    endResetModel();
}

void ReportListModel::setColumns(const QList<Column> &columns) {
    beginResetModel();
    m_columns = columns;
    endResetModel();
}

void ReportListModel::setRows(QList<QStringList> rows) {
    setRows(std::make_unique<TextRows>(std::move(rows)));
}

void ReportListModel::setRows(std::unique_ptr<ReportRows> rows) {
    if (m_sorted && rows)
        readForSort(*rows); // while the rows shown are still the old ones
    beginResetModel();
    m_source = std::move(rows);
    m_shown.clear();
    if (m_sorted)
        applySort();
    endResetModel();
}

void ReportListModel::setSorted(bool on) {
    m_sorted = on;
    if (on) {
        if (m_source)
            readForSort(*m_source);
        beginResetModel();
        applySort();
        endResetModel();
    }
}

// The sort key's texts not read yet are read before the sort, in parts: the window repaints
// (input waits) between them, and a read that takes a while shows its progress.
void ReportListModel::readForSort(ReportRows &rows) {
    if (!rows.late(m_sortKey) || rows.complete())
        return;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    QProgressDialog progress(T::sorting, QString(), 0, 1000, qobject_cast<QWidget *>(parent()));
    progress.setObjectName(QStringLiteral("ordinamento"));
    progress.setWindowTitle(Messages::title);
    // Not modal: a modal one would let input in through setValue(). Input waits until the
    // rows are read and sorted.
    progress.setWindowModality(Qt::NonModal);
    progress.setMinimumDuration(500);
    progress.setCancelButton(nullptr);
    progress.setValue(0);
    rows.fetchColumn(m_sortKey, [&progress](qsizetype done, qsizetype total) {
        progress.setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    QGuiApplication::restoreOverrideCursor();
}

void ReportListModel::applySort() {
    if (!m_source)
        return;
    const int key = m_sortKey;
    m_source->fetchColumn(key); // read by readForSort() already, unless the rows were small
    // Sort keys are made once per row: comparing collation keys is much cheaper than
    // comparing the texts again and again.
    const qsizetype n = m_source->size();
    QList<QPair<QCollatorSortKey, qsizetype>> keys;
    keys.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        keys.append({m_collator.sortKey(m_source->text(sourceRow(static_cast<int>(i)), key)),
                     sourceRow(static_cast<int>(i))});
    const bool descending = m_order == Qt::DescendingOrder;
    std::stable_sort(keys.begin(), keys.end(), [descending](const auto &a, const auto &b) {
        const int c = a.first.compare(b.first);
        return descending ? c > 0 : c < 0;
    });
    QList<qsizetype> order;
    order.reserve(n);
    for (const auto &k : keys)
        order.append(k.second);
    m_shown = std::move(order);
}
