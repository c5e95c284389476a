#include "printing/labelsheet.h"

QList<LabelSheet> LabelSheet::commercial() {
    // The gaps are those of the sheets sold in these sizes: 2.5 mm between the columns of
    // the round-cornered labels, none on the square-cut ones.
    return {
        centred(QStringLiteral("A4, 3 x 7 (63,5 x 38,1 mm)"), 7, 3, {63.5, 38.1}, 2.5, 0),
        centred(QStringLiteral("A4, 2 x 7 (99,1 x 38,1 mm)"), 7, 2, {99.1, 38.1}, 2.5, 0),
        centred(QStringLiteral("A4, 3 x 8 (70 x 37 mm)"), 8, 3, {70, 37}, 0, 0),
        centred(QStringLiteral("A4, 4 x 10 (48,5 x 25,4 mm)"), 10, 4, {48.5, 25.4}, 0, 0),
    };
}

LabelSheet LabelSheet::centred(const QString &name, int rows, int columns, QSizeF label,
                               double columnGap, double rowGap) {
    LabelSheet s{name, rows, columns, label, 0, 0, columnGap, rowGap};
    s.left = (a4.width() - columns * label.width() - (columns - 1) * columnGap) / 2;
    s.top = (a4.height() - rows * label.height() - (rows - 1) * rowGap) / 2;
    return s;
}

QRectF LabelSheet::cell(int index) const {
    const int row = index / columns;
    const int column = index % columns;
    return {left + column * (label.width() + columnGap), top + row * (label.height() + rowGap),
            label.width(), label.height()};
}

bool LabelSheet::fitsOnA4() const {
    if (rows < 1 || columns < 1 || label.width() <= 0 || label.height() <= 0 || left < 0 ||
        top < 0 || columnGap < 0 || rowGap < 0)
        return false;
    const QRectF last = cell(perSheet() - 1);
    // A hundredth of a millimetre is given for the rounding of the sizes typed.
    return last.right() <= a4.width() + 0.01 && last.bottom() <= a4.height() + 0.01;
}
