#pragma once

#include "archive/schema.h"

#include <QList>
#include <QString>
#include <QStringList>

// One field of a plant or of a care event: everything the program knows about it in one row.
// The archive's checks, the backup check, the conversion, the export, the card editor, the
// printed card and the tests all read this table; a new field is a new row here, its column
// in resources/schema.sql and the upgrade step that adds it to existing archives.
struct Field {
    QString column;     // as stored
    Schema::Kind kind;  // how its values are stored and read back
    int since = 0;      // the archive layout (user_version) that brought it
    QString label;      // its caption where the user types it ("" when nobody types it)
    QString cardLabel;  // its line on the printed card, colon included ("" when not printed)
    // What an empty box is given before it is stored: " " for a text, "0" for a number;
    // empty for a date (the editor writes its own "no date") and for a key.
    QString emptyText;
    // The longest text the field takes, in characters (0 for what is no text): what the
    // editor's box holds; for the picture ("nd.jpg" when empty), a file name's length.
    int maxLength = 0;
};

class FieldTable {
public:
    static const QString plants; // "piante"
    static const QString events; // "coltivazione"
    // Care rhythms set by hand (layout 1): an archive of an older layout has no such table.
    static const QString reminders; // "promemoria"

    // Every field of the table, in the table's order.
    static const QList<Field> &of(const QString &table);
    static const QList<Field> &plant() { return of(plants); }
    static const QList<Field> &event() { return of(events); }
    // The field of that column, or nullptr.
    static const Field *find(const QString &table, const QString &column);
    // The columns of the table, in its order; with a layout, only those it already has.
    static QStringList columns(const QString &table, int layout = -1);
};
