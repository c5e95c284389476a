#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Which field each column of a spreadsheet holds. The fields a column may go to are the
// table's own (FieldTable) and, in a file of care events, the plant's specie and
// identificazione, by which an event finds its plant when the file carries no plant key.
// A column is proposed from its header by the field's name, the export's header, the
// editor's label or the card's, with case, accents, blanks and punctuation ignored.
class CsvColumns {
public:
    // Where an event's plant is named in a file of care events.
    static const QString plantSpecie;          // "specie"
    static const QString plantIdentificazione; // "identificazione"

    // The fields of a file of the table, in the export's order.
    static const QStringList &targets(const QString &table);
    // A field as the window names it: its editor label, else its card label, else a name of
    // its own (the keys).
    static QString label(const QString &table, const QString &target);
    // The field each column of a header names, "" for a column naming none. A field goes to
    // the first column that names it.
    static QStringList propose(const QString &table, const QList<QStringView> &header);
    // Without a header, the columns in the export's order.
    static QStringList byPosition(const QString &table, qsizetype columns);
    // Whether a header is the export's own, word for word: then the keys in the file are
    // the program's and may be kept.
    static bool isExportHeader(const QString &table, const QList<QStringView> &header);

    // How a header and a name are compared: lower case, without accents, letters and
    // digits only.
    static QString folded(QStringView text);
};
