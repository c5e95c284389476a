#include "printing/labelcomposer.h"

#include "printing/qrcode.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>

namespace {
constexpr double pointStep = 0.5;
const QString ellipsis = QStringLiteral("\u2026");

double pixelsPerMm(const QPaintDevice *device) {
    return device->logicalDpiX() / 25.4;
}

QRectF inPixels(const QRectF &mm, double scale) {
    return {mm.x() * scale, mm.y() * scale, mm.width() * scale, mm.height() * scale};
}

// The widest line and the height of all of them, the first in bold.
QSizeF measure(const QStringList &lines, const QFont &font, const QPaintDevice *device) {
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF plain(font, device), strong(bold, device);
    double width = 0;
    for (qsizetype i = 0; i < lines.size(); ++i)
        width = std::max(width, (i == 0 ? strong : plain).horizontalAdvance(lines.at(i)));
    const double line = std::max(plain.lineSpacing(), strong.lineSpacing());
    return {width, lines.isEmpty() ? 0 : lines.size() * line - plain.leading()};
}
} // namespace

LabelComposer::LabelComposer(LabelSheet sheet, int firstCell)
    : m_sheet(std::move(sheet)), m_firstCell(std::clamp(firstCell, 0, m_sheet.perSheet() - 1)) {}

int LabelComposer::pageCount(int labels) const {
    return labels <= 0 ? 0 : pageOf(labels - 1) + 1;
}

int LabelComposer::pageOf(int n) const {
    return (m_firstCell + n) / m_sheet.perSheet();
}

QRectF LabelComposer::cellOf(int n) const {
    return m_sheet.cell((m_firstCell + n) % m_sheet.perSheet());
}

bool LabelComposer::paint(QPainter &painter, QPagedPaintDevice &device, const QList<Label> &labels,
                          const Progress &progress) const {
    const double scale = pixelsPerMm(&device);
    int page = 0;
    for (qsizetype n = 0; n < labels.size(); ++n) {
        if (pageOf(int(n)) != page) {
            device.newPage();
            page = pageOf(int(n));
        }
        paintLabel(painter, inPixels(cellOf(int(n)), scale), labels.at(n));
        if (progress && !progress(int(n + 1)))
            return false;
    }
    return true;
}

void LabelComposer::paintLabel(QPainter &painter, const QRectF &cell, const Label &label) {
    const double padding = paddingMm * pixelsPerMm(painter.device());
    const QRectF inside = cell.adjusted(padding, padding, -padding, -padding);
    if (inside.isEmpty())
        return;
    QRectF text = inside;
    if (!label.code.isEmpty()) {
        // The code takes a square at the right, as tall as the label but no larger than a
        // phone needs; its quiet zone keeps the text off it. On a label too narrow for both
        // it takes two thirds of the width.
        const double largest = largestCodeMm * pixelsPerMm(painter.device());
        const double side = std::min({inside.height(), inside.width() / 3 * 2, largest});
        const QRectF square(inside.right() - side, inside.center().y() - side / 2, side, side);
        const QrCode code(label.code);
        code.paint(painter, square);
        text.setRight(square.left());
    }
    const FittedText fitted = fit(label.lines, text.size(), painter.device());
    if (fitted.lines.isEmpty())
        return;
    QFont bold = fitted.font;
    bold.setBold(true);
    const QFontMetricsF plain(fitted.font, painter.device()), strong(bold, painter.device());
    const double line = std::max(plain.lineSpacing(), strong.lineSpacing());
    const double height = fitted.lines.size() * line - plain.leading();
    // The block of lines is centred in the height left to it.
    double y =
        text.top() + (text.height() - height) / 2 + std::max(plain.ascent(), strong.ascent());
    painter.save();
    painter.setPen(Qt::black);
    for (qsizetype i = 0; i < fitted.lines.size(); ++i) {
        painter.setFont(i == 0 ? bold : fitted.font);
        painter.drawText(QPointF(text.left(), y), fitted.lines.at(i));
        y += line;
    }
    painter.restore();
}

LabelComposer::FittedText LabelComposer::fit(const QStringList &lines, const QSizeF &area,
                                             const QPaintDevice *device) {
    for (double points = largestPoints; points >= smallestPoints; points -= pointStep) {
        const QFont font = face(points);
        const QSizeF needed = measure(lines, font, device);
        if (needed.width() <= area.width() && needed.height() <= area.height())
            return {font, lines};
    }
    // At the smallest type: the lines that fit the height, each cut to the width, the last
    // kept one ending in an ellipsis when lines are left out.
    const QFont font = face(smallestPoints);
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF plain(font, device), strong(bold, device);
    const double line = std::max(plain.lineSpacing(), strong.lineSpacing());
    const qsizetype room =
        std::max<qsizetype>(0, qsizetype((area.height() + plain.leading()) / line));
    const qsizetype kept = std::min(room, lines.size());
    QStringList cut;
    for (qsizetype i = 0; i < kept; ++i) {
        QString text = lines.at(i);
        if (i == kept - 1 && kept < lines.size())
            text += ellipsis;
        const QFontMetricsF &metrics = i == 0 ? strong : plain;
        if (metrics.horizontalAdvance(text) > area.width())
            text = metrics.elidedText(text, Qt::ElideRight, area.width());
        cut << text;
    }
    return {font, cut};
}

QFont LabelComposer::face(double points, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    // Measured and drawn at the device's own resolution, so a line measured as fitting
    // fits as printed.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}
