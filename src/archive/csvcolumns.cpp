#include "archive/csvcolumns.h"

#include "archive/fieldtable.h"

#include <QHash>

const QString CsvColumns::plantSpecie = QStringLiteral("specie");
const QString CsvColumns::plantIdentificazione = QStringLiteral("identificazione");

namespace {

// The export writes the event's plant names right after its plant key.
QStringList exportOrder(const QString &table, int layout = -1) {
    QStringList names = FieldTable::columns(table, layout);
    if (table == FieldTable::events) {
        const qsizetype at = names.indexOf(QLatin1String("id")) + 1;
        names.insert(at, CsvColumns::plantIdentificazione);
        names.insert(at, CsvColumns::plantSpecie);
    }
    return names;
}

// Folded name -> field, for each table.
const QHash<QString, QString> &namesOf(const QString &table) {
    static const auto make = [](const QString &t) {
        QHash<QString, QString> names;
        const QStringList targets = exportOrder(t);
        for (const QString &target : targets) {
            QStringList said{target, CsvColumns::label(t, target)};
            if (const Field *f = FieldTable::find(t, target); f && t == FieldTable::plants)
                said << f->cardLabel;
            for (const QString &s : said)
                if (const QString k = CsvColumns::folded(s); !k.isEmpty() && !names.contains(k))
                    names.insert(k, target);
        }
        return names;
    };
    static const QHash<QString, QString> plants = make(FieldTable::plants);
    static const QHash<QString, QString> events = make(FieldTable::events);
    return table == FieldTable::plants ? plants : events;
}

} // namespace

const QStringList &CsvColumns::targets(const QString &table) {
    static const QStringList plants = exportOrder(FieldTable::plants);
    static const QStringList events = exportOrder(FieldTable::events);
    return table == FieldTable::plants ? plants : events;
}

QString CsvColumns::label(const QString &table, const QString &target) {
    if (table == FieldTable::events) {
        if (target == QLatin1String("idtrat"))
            return QStringLiteral("Chiave del trattamento");
        if (target == QLatin1String("id"))
            return QStringLiteral("Chiave della pianta");
        if (target == plantSpecie)
            return QStringLiteral("Specie della pianta");
        if (target == plantIdentificazione)
            return QStringLiteral("Identificazione della pianta");
    } else if (target == QLatin1String("id")) {
        return QStringLiteral("Chiave");
    }
    const Field *f = FieldTable::find(table, target);
    if (!f)
        return target;
    if (!f->label.isEmpty())
        return f->label.simplified();
    return f->cardLabel.isEmpty() ? target : f->cardLabel;
}

QString CsvColumns::folded(QStringView text) {
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.isLetterOrNumber())
            out += c.toLower();
    return out;
}

QStringList CsvColumns::propose(const QString &table, const QList<QStringView> &header) {
    const QHash<QString, QString> &names = namesOf(table);
    QStringList chosen;
    for (const QStringView h : header) {
        QString target = names.value(folded(h));
        if (chosen.contains(target))
            target.clear();
        chosen << target;
    }
    return chosen;
}

QStringList CsvColumns::byPosition(const QString &table, qsizetype columns) {
    QStringList chosen = targets(table).mid(0, columns);
    while (chosen.size() < columns)
        chosen << QString();
    return chosen;
}

bool CsvColumns::isExportHeader(const QString &table, const QList<QStringView> &header) {
    QList<int> layouts{-1};
    for (const Field &f : FieldTable::of(table))
        layouts << f.since;
    for (const int layout : layouts) {
        const QStringList names = exportOrder(table, layout);
        if (names.size() != header.size())
            continue;
        bool same = true;
        for (qsizetype i = 0; same && i < names.size(); ++i)
            same = header.at(i).trimmed().compare(names.at(i), Qt::CaseInsensitive) == 0;
        if (same)
            return true;
    }
    return false;
}
