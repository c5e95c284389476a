#include "printing/labelfields.h"

#include "archive/conversions.h"
#include "archive/fieldtable.h"

namespace {
// What the card editor stores for "no date".
const QDate noDate(1900, 1, 1);
} // namespace

QList<LabelFields::Offered> LabelFields::offered() {
    QList<Offered> fields;
    for (const Field &f : FieldTable::plant()) {
        if (f.cardLabel.isEmpty())
            continue;
        QString caption = f.cardLabel;
        while (caption.endsWith(u':') || caption.endsWith(u' '))
            caption.chop(1);
        fields.append({f.column, caption});
    }
    return fields;
}

QStringList LabelFields::firstChoice() {
    return {QStringLiteral("specie"), QStringLiteral("identificazione"),
            QStringLiteral("dataacquisto")};
}

QStringList LabelFields::lines(const Plant &plant, const QStringList &columns) {
    QStringList lines;
    for (const QString &column : columns) {
        const QVariant value = plant.value(column);
        const Field *field = FieldTable::find(FieldTable::plants, column);
        if (!field || value.isNull())
            continue;
        if (field->kind == Schema::Kind::Number && value.toDouble() == 0)
            continue;
        if (field->kind == Schema::Kind::Date && value.toDate() == noDate)
            continue;
        const QString text = Conversions::displayText(value).simplified();
        if (!text.isEmpty())
            lines << text;
    }
    return lines;
}

QString LabelFields::codeText(const Plant &plant) {
    QStringList lines;
    for (const char *column : {"id", "specie", "identificazione"})
        lines << QString::fromLatin1(column) + QStringLiteral(": ") +
                     Conversions::displayText(plant.value(QString::fromLatin1(column))).trimmed();
    return lines.join(u'\n');
}
