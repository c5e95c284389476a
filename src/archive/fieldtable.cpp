#include "archive/fieldtable.h"

const QString FieldTable::plants = QStringLiteral("piante");
const QString FieldTable::events = QStringLiteral("coltivazione");
const QString FieldTable::reminders = QStringLiteral("promemoria");

namespace {

using K = Schema::Kind;

// A one-line box holds QLineEdit's 32,767 characters.
Field field(const char *column, K kind, const char *label, const char *cardLabel) {
    const QString empty = kind == K::Text     ? QStringLiteral(" ")
                          : kind == K::Number ? QStringLiteral("0")
                                              : QString();
    return Field{QString::fromLatin1(column),
                 kind,
                 0,
                 QString::fromUtf8(label),
                 QString::fromUtf8(cardLabel),
                 empty,
                 kind == K::Text ? 32767 : 0};
}
// A text typed in a box of many lines.
Field memo(Field f) {
    f.maxLength = 65535;
    return f;
}
// The picture's file name; a card without a picture names the placeholder.
Field picture(Field f) {
    f.emptyText = QStringLiteral("nd.jpg");
    f.maxLength = 255;
    return f;
}

const QList<Field> &plantFields() {
    static const QList<Field> fields = {
    field("id", K::Key, "", ""),
    field("famiglia", K::Text, "Famiglia", "Famiglia :"),
    field("genere", K::Text, "Genere", "Genere :"),
    field("specie", K::Text, "Specie", "Specie :"),
    field("identificazione", K::Text, "Identificazione", "Identificazione :"),
    field("habitat", K::Text, "Habitat", "Habitat :"),
    field("temperatura", K::Number, "Temperatura min Estiva", "Temperatura Minima Estiva:"),
    field("temperaturaid", K::Number, "Temperatura Max Estiva", "Temperatura Massima Estiva:"),
    field("r3", K::Text, "Temperatura Min. Invernale", "Temperatura Minima Invernale:"),
    field("r4", K::Text, "Temperatura Max Invernale", "Temperatura Massima Invernale:"),
    field("r1", K::Text, "Concimazione  Inizio", "Inizio concimazione:"),
    field("r2", K::Text, "Fine", "Fine concimazione:"),
    field("umdita", K::Number, "Umidità", "Umidità :"),
    field("fioritura", K::Text, "Periodo fioritura", "Fioritura :"),
    memo(field("descrizione", K::Text, "Descrizione", "Descrizione :")),
    field("dataacquisto", K::Date, "Data di acquisto", "Data di acquisto :"),
    field("prezzo", K::Number, "Prezzo", "Prezzo Euro :"),
    field("vaso", K::Text, "Tipo di Vaso/Stile", "Vaso :"),
    field("eta", K::Number, "Età", "Età :"),
    memo(field("note", K::Text, "Note sulla coltivazione", "Note :")),
    picture(field("img", K::Text, "Immagine", "")),
    };
    return fields;
}

const QList<Field> &eventFields() {
    static const QList<Field> fields = {
    field("idtrat", K::Key, "", ""),
    field("id", K::Key, "", ""),
    field("intervento", K::Text, "Tipo Intervento/Evento", ""),
    field("datatratt", K::Date, "Data", ""),
    field("temperatura", K::Number, "Temperatura °C", ""),
    field("umidita", K::Number, "Umidità %", ""),
    memo(field("descrizione", K::Text, "Descrizione trattamento", "")),
    };
    return fields;
}

Field since(Field f, int layout) {
    f.since = layout;
    return f;
}

// Nobody types these: the window of care that is due writes them.
// clang-format off
const QList<Field> &reminderFields() {
    static const QList<Field> fields = {
        since(field("id", K::Key, "", ""), 1),
        since(field("intervento", K::Text, "", ""), 1),
        since(field("giorni", K::Key, "", ""), 1), // a whole number of days; 0: do not remind
    };
    return fields;
}
// clang-format on

} // namespace

const QList<Field> &FieldTable::of(const QString &table) {
    return table == plants ? plantFields() : table == reminders ? reminderFields() : eventFields();
}

const Field *FieldTable::find(const QString &table, const QString &column) {
    for (const Field &f : of(table))
        if (f.column == column)
            return &f;
    return nullptr;
}

QStringList FieldTable::columns(const QString &table, int layout) {
    QStringList names;
    for (const Field &f : of(table))
        if (layout < 0 || f.since <= layout)
            names << f.column;
    return names;
}
