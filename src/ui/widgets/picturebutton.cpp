#include "ui/widgets/picturebutton.h"

#include <QLinearGradient>
#include <QPainter>

PictureButton::PictureButton(const QString &words, QWidget *parent)
    : QPushButton(parent), m_words(words) {
    setAccessibleName(words);
    setToolTip(words);
    setCursor(Qt::PointingHandCursor);
}

void PictureButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool down = isDown();
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, down ? QColor(10, 30, 80) : QColor(52, 92, 168));
    g.setColorAt(0.5, down ? QColor(16, 42, 104) : QColor(24, 56, 128));
    g.setColorAt(1, down ? QColor(30, 64, 140) : QColor(8, 26, 72));
    p.setPen(QPen(QColor(6, 18, 52), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(rect().translated(down ? 1 : 0, down ? 1 : 0), Qt::AlignCenter, m_words);
    if (hasFocus()) {
        // A solid amber ring, plain to see on the dark blue face.
        p.setPen(QPen(QColor(255, 200, 64), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 3, 3);
    }
}
