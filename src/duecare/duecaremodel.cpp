#include "duecare/duecaremodel.h"

#include "archive/conversions.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <functional>
#include <utility>
#include <vector>

namespace {
namespace T {
const QStringList headers = {"Specie", "Identificazione", "Intervento", "Ultima volta",
                             "Ritmo",  "Prossima",        "Ritardo"};
const QString never = QStringLiteral("mai");
const QString everyDay = QStringLiteral("ogni giorno");
const QString everyDays = QStringLiteral("ogni %1 giorni");
const QString byHand = QStringLiteral("%1 (a mano)");
const QString silenced = QStringLiteral("non ricordare");
const QString outOfSeason = QStringLiteral("fuori stagione");
const QString today = QStringLiteral("oggi");
const QString oneDay = QStringLiteral("1 giorno");
const QString days = QStringLiteral("%1 giorni");
const QString inOneDay = QStringLiteral("tra 1 giorno");
const QString inDays = QStringLiteral("tra %1 giorni");
} // namespace T

// How late, for sorting: the rows that are not due at all below every other.
int lateness(const DueRow &r) {
    return r.silenced ? INT_MIN : r.outOfSeason ? INT_MIN / 2 : r.late;
}

bool shownIn(DueCareModel::Span span, const DueRow &r) {
    if (span == DueCareModel::Span::All)
        return true;
    if (r.silenced || r.outOfSeason)
        return false;
    return r.late >= (span == DueCareModel::Span::Today ? 0 : -7);
}
} // namespace

QString DueCareModel::rhythmText(const DueRow &row) {
    const QString text = row.silenced     ? T::silenced
                         : row.every == 1 ? T::everyDay
                                          : T::everyDays.arg(row.every);
    return row.byHand && !row.silenced ? T::byHand.arg(text) : text;
}

QString DueCareModel::lateText(const DueRow &row) {
    if (row.silenced)
        return QString();
    if (row.outOfSeason)
        return T::outOfSeason;
    if (row.late == 0)
        return T::today;
    if (row.late > 0)
        return row.late == 1 ? T::oneDay : T::days.arg(row.late);
    return row.late == -1 ? T::inOneDay : T::inDays.arg(-row.late);
}

QList<DueRow> DueCareModel::setRows(QList<DueRow> rows, bool inFirstOrder) {
    beginResetModel();
    QList<DueRow> before = std::exchange(m_rows, std::move(rows));
    m_inFirstOrder = inFirstOrder;
    arrange();
    endResetModel();
    return before;
}

void DueCareModel::setSpan(Span span) {
    beginResetModel();
    m_span = span;
    arrange();
    endResetModel();
}

void DueCareModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged();
    m_sortColumn = column;
    m_order = order;
    arrange();
    emit layoutChanged();
}

int DueCareModel::compare(const DueRow &a, const DueRow &b, int column) {
    const auto text = [](const QString &x, const QString &y) {
        return x.compare(y, Qt::CaseInsensitive);
    };
    const auto number = [](int x, int y) { return x < y ? -1 : x > y ? 1 : 0; };
    const auto date = [](const QDate &x, const QDate &y) { return x < y ? -1 : y < x ? 1 : 0; };
    switch (column) {
    case Specie:
        return text(a.specie, b.specie);
    case Identificazione:
        return text(a.identificazione, b.identificazione);
    case Intervento:
        return text(a.intervento, b.intervento);
    case Last:
        return date(a.last, b.last);
    case Rhythm:
        return number(a.silenced ? INT_MAX : a.every, b.silenced ? INT_MAX : b.every);
    case Next:
        return date(a.next, b.next);
    default:
        return number(lateness(a), lateness(b));
    }
}

namespace {
// Ties by plant and kind, so that the order is the same from one reading to the next.
bool before(const DueRow &a, const DueRow &b, int c) {
    if (c != 0)
        return c < 0;
    const int s = a.specie.compare(b.specie, Qt::CaseInsensitive);
    if (s != 0)
        return s < 0;
    return a.plantId != b.plantId ? a.plantId < b.plantId : a.intervento < b.intervento;
}
} // namespace

namespace {
// The rank of each row's text in an order of texts, equal texts (by `equal`) sharing one.
// The rows' texts are mostly shared copies of a few (the archive's reading makes each
// species and kind once), so a text is looked up by its value only once per copy.
template <typename Text, typename Less, typename Equal>
std::vector<int> ranks(const QList<DueRow> &rows, Text text, Less less, Equal equal) {
    QHash<std::pair<const QChar *, qsizetype>, int> byAddress;
    QHash<QString, int> byValue;
    QStringList distinct;
    std::vector<int> of(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString &t = text(rows.at(i));
        const std::pair<const QChar *, qsizetype> at{t.constData(), t.size()};
        auto found = byAddress.constFind(at);
        if (found == byAddress.cend()) {
            auto value = byValue.constFind(t);
            if (value == byValue.cend()) {
                value = byValue.insert(t, int(distinct.size()));
                distinct << t;
            }
            found = byAddress.insert(at, *value);
        }
        of[i] = *found;
    }
    std::vector<int> order(distinct.size()), rank(distinct.size());
    for (int i = 0; i < int(order.size()); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return less(distinct.at(a), distinct.at(b)); });
    for (int i = 0, n = 0; i < int(order.size()); ++i) {
        if (i > 0 && !equal(distinct.at(order[i - 1]), distinct.at(order[i])))
            ++n;
        rank[order[i]] = n;
    }
    for (int &r : of)
        r = rank[r];
    return of;
}
} // namespace

void DueCareModel::sortFirst(QList<DueRow> &rows) {
    // The order of before(), on numbers worked out once: the species and kinds ranked in
    // their order, then the rows sorted on keys, their positions last so that ties keep
    // their order as a stable sort would.
    const std::vector<int> specie = ranks(
        rows, [](const DueRow &r) -> const QString & { return r.specie; },
        [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; },
        [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; });
    const std::vector<int> kind = ranks(
        rows, [](const DueRow &r) -> const QString & { return r.intervento; },
        std::less<QString>(), std::equal_to<QString>());
    struct Key {
        int late, specie, kind, at;
        qint64 plant;
    };
    std::vector<Key> keys;
    keys.reserve(rows.size());
    for (int i = 0; i < rows.size(); ++i)
        keys.push_back({lateness(rows.at(i)), specie[i], kind[i], i, rows.at(i).plantId});
    std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
        if (a.late != b.late)
            return a.late > b.late;
        if (a.specie != b.specie)
            return a.specie < b.specie;
        if (a.plant != b.plant)
            return a.plant < b.plant;
        if (a.kind != b.kind)
            return a.kind < b.kind;
        return a.at < b.at;
    });
    QList<DueRow> sorted;
    sorted.reserve(rows.size());
    for (const Key &k : keys)
        sorted << std::move(rows[k.at]);
    rows = std::move(sorted);
}

void DueCareModel::arrange() {
    m_shown.clear();
    for (int i = 0; i < m_rows.size(); ++i)
        if (shownIn(m_span, m_rows.at(i)))
            m_shown << i;
    if (m_inFirstOrder && m_sortColumn == Late && m_order == Qt::DescendingOrder)
        return; // as sortFirst() left them
    const bool up = m_order == Qt::AscendingOrder;
    std::stable_sort(m_shown.begin(), m_shown.end(), [&](int i, int j) {
        const DueRow &a = m_rows.at(i), &b = m_rows.at(j);
        const int c = compare(a, b, m_sortColumn);
        return before(a, b, up ? c : -c);
    });
}

int DueCareModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_shown.size());
}

int DueCareModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant DueCareModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_shown.size())
        return {};
    const DueRow &r = at(index.row());
    if (role == Qt::TextAlignmentRole && index.column() == Late)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case Specie:
        return r.specie;
    case Identificazione:
        return r.identificazione;
    case Intervento:
        return r.intervento;
    case Last:
        return r.last.isValid() ? Conversions::editorDate(r.last) : T::never;
    case Rhythm:
        return rhythmText(r);
    case Next:
        return r.next.isValid() ? Conversions::editorDate(r.next) : QString();
    case Late:
        return lateText(r);
    default:
        return {};
    }
}

QVariant DueCareModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < T::headers.size())
        return T::headers.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
