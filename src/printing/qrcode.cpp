#include "printing/qrcode.h"

#include <QPainter>
#include <QRectF>
#include <qrencode.h>

#include <algorithm>
#include <cmath>

QrCode::QrCode(const QString &text) {
    const QByteArray bytes = text.toUtf8();
    QRcode *code = QRcode_encodeData(int(bytes.size()),
                                     reinterpret_cast<const unsigned char *>(bytes.constData()), 0,
                                     QR_ECLEVEL_M);
    if (!code)
        return;
    m_width = code->width;
    m_modules.resize(m_width * m_width);
    for (int i = 0; i < m_width * m_width; ++i)
        m_modules[i] = code->data[i] & 1; // the lowest bit: a dark module
    QRcode_free(code);
}

void QrCode::paint(QPainter &painter, const QRectF &area) const {
    if (!isValid())
        return;
    const int modules = m_width + 2 * quietZone;
    const double side = std::min(area.width(), area.height());
    // Whole pixels a module once a module is a few pixels: the modules then meet exactly.
    double module = side / modules;
    if (module >= 4)
        module = std::floor(module);
    const QPointF origin(area.center().x() - module * modules / 2,
                         area.center().y() - module * modules / 2);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRectF(origin, QSizeF(module * modules, module * modules)), Qt::white);
    // A run of dark modules along a row is one rectangle.
    for (int y = 0; y < m_width; ++y) {
        for (int x = 0; x < m_width;) {
            if (!dark(x, y)) {
                ++x;
                continue;
            }
            int end = x;
            while (end < m_width && dark(end, y))
                ++end;
            painter.fillRect(QRectF(origin.x() + (quietZone + x) * module,
                                    origin.y() + (quietZone + y) * module, (end - x) * module,
                                    module),
                             Qt::black);
            x = end;
        }
    }
    painter.restore();
}
