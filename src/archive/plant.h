#pragma once

#include "archive/records.h"

// One plant card as read from the archive: every field of the plant record (the field
// table's plants()) under its column, each value of its field's kind as Record keeps it,
// and the row it was read from (another tool may have stored two rows under one key).
struct Plant {
    Record fields;
    qint64 rowid = 0;

    QVariant value(const QString &column) const { return fields.value(column); }
};
