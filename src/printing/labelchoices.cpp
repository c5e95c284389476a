#include "printing/labelchoices.h"

#include "printing/labelfields.h"

#include <QSettings>

namespace {
namespace Key {
const QString format = QStringLiteral("foglio/formato");
const QString rows = QStringLiteral("proprio/righe");
const QString columns = QStringLiteral("proprio/colonne");
const QString width = QStringLiteral("proprio/larghezza");
const QString height = QStringLiteral("proprio/altezza");
const QString left = QStringLiteral("proprio/margine_sinistro");
const QString top = QStringLiteral("proprio/margine_superiore");
const QString columnGap = QStringLiteral("proprio/spazio_colonne");
const QString rowGap = QStringLiteral("proprio/spazio_righe");
const QString fields = QStringLiteral("etichetta/campi");
const QString code = QStringLiteral("etichetta/codice_qr");
} // namespace Key
const QString ownName = QStringLiteral("Formato proprio");
} // namespace

LabelChoices LabelChoices::load(const QString &path) {
    LabelChoices c;
    c.own.name = ownName;
    c.fields = LabelFields::firstChoice();
    const QSettings kept(path, QSettings::IniFormat);
    const int format = kept.value(Key::format, 0).toInt();
    if (format >= 0 && format <= LabelSheet::commercial().size())
        c.format = format;
    LabelSheet own = c.own;
    own.rows = kept.value(Key::rows, own.rows).toInt();
    own.columns = kept.value(Key::columns, own.columns).toInt();
    own.label = {kept.value(Key::width, own.label.width()).toDouble(),
                 kept.value(Key::height, own.label.height()).toDouble()};
    own.left = kept.value(Key::left, own.left).toDouble();
    own.top = kept.value(Key::top, own.top).toDouble();
    own.columnGap = kept.value(Key::columnGap, own.columnGap).toDouble();
    own.rowGap = kept.value(Key::rowGap, own.rowGap).toDouble();
    if (own.fitsOnA4())
        c.own = own;
    if (kept.contains(Key::fields)) {
        // Only fields the program knows, each once: a file edited by hand stays harmless.
        QStringList known;
        for (const LabelFields::Offered &f : LabelFields::offered())
            known << f.column;
        QStringList fields;
        for (const QString &f : kept.value(Key::fields).toStringList())
            if (known.contains(f) && !fields.contains(f))
                fields << f;
        c.fields = fields;
    }
    c.code = kept.value(Key::code, c.code).toBool();
    return c;
}

bool LabelChoices::save(const QString &path) const {
    QSettings kept(path, QSettings::IniFormat);
    kept.setValue(Key::format, format);
    kept.setValue(Key::rows, own.rows);
    kept.setValue(Key::columns, own.columns);
    kept.setValue(Key::width, own.label.width());
    kept.setValue(Key::height, own.label.height());
    kept.setValue(Key::left, own.left);
    kept.setValue(Key::top, own.top);
    kept.setValue(Key::columnGap, own.columnGap);
    kept.setValue(Key::rowGap, own.rowGap);
    kept.setValue(Key::fields, fields);
    kept.setValue(Key::code, code);
    kept.sync();
    return kept.status() == QSettings::NoError;
}

LabelSheet LabelChoices::sheet() const {
    return ownSheet() ? own : LabelSheet::commercial().at(format);
}
