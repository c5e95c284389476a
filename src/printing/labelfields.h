#pragma once

#include "archive/plant.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a pot label may carry of a plant: the fields of the plant record that have a line
// on the printed card, in the field table's order, and the text of the label's QR code.
class LabelFields {
public:
    struct Offered {
        QString column;  // as stored
        QString caption; // the card's line, without its colon
    };
    static QList<Offered> offered();
    // The fields the window starts with before anything was chosen.
    static QStringList firstChoice();

    // The values of `columns` in that order, as the card shows them; a field left empty
    // (blank, 0 for a number, no date) gives no line.
    static QStringList lines(const Plant &plant, const QStringList &columns);
    // The code's text: the key, `specie` and `identificazione`, one a line, named by their
    // columns.
    static QString codeText(const Plant &plant);
};
