#pragma once

#include "printing/labelsheet.h"

#include <QFont>
#include <QList>
#include <QStringList>
#include <functional>

class QPagedPaintDevice;
class QPainter;
class QPaintDevice;

// Paints pot labels onto A4 pages in the cells of a label sheet, from a chosen cell of the
// first sheet on. Each label holds its lines, the first in bold, in the largest type that
// fits, and optionally a QR code at its right; the painter's device must be a whole A4
// page with no margins (a PDF writer, or a printer printing on the full page).
class LabelComposer {
public:
    struct Label {
        QStringList lines;
        QString code; // the QR code's text; empty: no code
    };
    // The text as it fits a label: the size of its type and the lines as drawn.
    struct FittedText {
        QFont font; // the bold first line is this font in bold
        QStringList lines;
    };

    // The type is made smaller down to smallestPoints, then the lines that still do not fit
    // are cut with an ellipsis.
    static constexpr double largestPoints = 12;
    static constexpr double smallestPoints = 6;
    // The white border inside each label, in mm: printers feed sheets a little askew.
    static constexpr double paddingMm = 1.5;
    // The side of the QR code at most, quiet zone included, in mm.
    static constexpr double largestCodeMm = 24;

    // `firstCell` is the first free cell of the first sheet (0 the top left).
    LabelComposer(LabelSheet sheet, int firstCell = 0);

    int pageCount(int labels) const;
    // Where label `n` of those printed goes: its page and its cell on that page, in mm.
    int pageOf(int n) const;
    QRectF cellOf(int n) const;

    // Paints every label, starting a new page on `device` whenever a sheet is full.
    // `progress` hears how many labels are done; when it answers false the painting stops
    // and this gives false.
    using Progress = std::function<bool(int done)>;
    bool paint(QPainter &painter, QPagedPaintDevice &device, const QList<Label> &labels,
               const Progress &progress = {}) const;

    // One label into `cell`, in the painter's device units.
    static void paintLabel(QPainter &painter, const QRectF &cell, const Label &label);
    // The lines fitted into `area`, measured on `device`.
    static FittedText fit(const QStringList &lines, const QSizeF &area, const QPaintDevice *device);
    // The face of the labels' text: scalable at every size.
    static QFont face(double points, bool bold = false);

private:
    LabelSheet m_sheet;
    int m_firstCell;
};
