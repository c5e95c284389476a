#include "ui/lists/textrows.h"

QString TextRows::text(qsizetype row, int column) const {
    return m_rows.at(row).value(column);
}
