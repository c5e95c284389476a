#include "ui/widgets/decorpanel.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

DecorPanel::DecorPanel(QWidget *parent, const QColor &top, const QColor &bottom, bool pattern)
    : QWidget(parent), m_top(top), m_bottom(bottom), m_pattern(pattern) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void DecorPanel::paintEvent(QPaintEvent *) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, m_top);
    g.setColorAt(1, m_bottom);
    p.fillRect(rect(), g);
    if (!m_pattern)
        return;
    // Faint leaves scattered on a regular grid.
    p.setRenderHint(QPainter::Antialiasing);
    QColor leaf = Qt::white;
    leaf.setAlpha(18);
    p.setPen(Qt::NoPen);
    p.setBrush(leaf);
    for (int y = 20; y < height(); y += 70) {
        for (int x = (y / 70) % 2 ? 40 : 5; x < width(); x += 80) {
            QPainterPath path;
            path.moveTo(x, y + 24);
            path.cubicTo(x - 10, y + 10, x + 4, y - 6, x + 22, y);
            path.cubicTo(x + 20, y + 16, x + 10, y + 26, x, y + 24);
            p.drawPath(path);
        }
    }
}
