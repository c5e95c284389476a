#pragma once

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>

// A sheet of self-adhesive labels on A4 paper: a grid of equal labels, with the sheet's
// margins and the gaps between the labels, all in millimetres from the paper's top-left
// corner. The commercial sheets have their grid centred on the paper.
struct LabelSheet {
    QString name; // as the window lists it
    int rows = 1;
    int columns = 1;
    QSizeF label;    // width and height of one label
    double left = 0; // margin on the left of the first column
    double top = 0;  // margin above the first row
    double columnGap = 0;
    double rowGap = 0;

    static constexpr QSizeF a4{210, 297};

    // The commercial formats, in the order the window lists them.
    static QList<LabelSheet> commercial();
    // A grid centred on A4: its margins are worked out from the label size and the gaps.
    static LabelSheet centred(const QString &name, int rows, int columns, QSizeF label,
                              double columnGap, double rowGap);

    int perSheet() const { return rows * columns; }
    // The label at `index` (0 the top left, then along the row) on the paper, in mm.
    QRectF cell(int index) const;
    // Whether every label lies on the paper and none overlaps the next.
    bool fitsOnA4() const;
};
