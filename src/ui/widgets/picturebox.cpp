#include "ui/widgets/picturebox.h"

#include "ui/widgets/framefit.h"
#include "ui/platform/regularfile.h"

#include <QPainter>
#include <cmath>

namespace {
QSize pixelsAt(const QSizeF &logical, qreal scale) {
    return QSize(int(std::ceil(logical.width() * scale - 1e-6)),
                 int(std::ceil(logical.height() * scale - 1e-6)));
}
} // namespace

PictureBox::PictureBox(QWidget *parent, const QColor &background)
    : QWidget(parent), m_background(background) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage PictureBox::load(const QString &path) {
    return HeldPicture::read(path).pixels();
}

HeldPicture PictureBox::hold(const QString &path) const {
    const qreal scale = devicePixelRatioF();
    return HeldPicture::read(path, [&](const QSize &natural) {
        return pixelsAt(FrameFit::paintedSize(natural, size()), scale);
    });
}

QImage PictureBox::render(qreal scale) const {
    QImage frame(pixelsAt(size().expandedTo(QSize(1, 1)), scale), QImage::Format_RGB32);
    frame.setDevicePixelRatio(scale);
    frame.fill(m_background);
    if (m_blank)
        return frame;
    const QSizeF fitted = FrameFit::paintedSize(m_held.size(), size());
    QPainter p(&frame);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(QPointF(0, 0), fitted), m_held.pixels(pixelsAt(fitted, scale)));
    return frame;
}

QImage PictureBox::image() const {
    if (m_canvas.size() == size() && m_canvas.devicePixelRatio() == 1)
        return m_canvas;
    QImage img(size(), QImage::Format_RGB32);
    img.fill(m_background);
    QPainter p(&img);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(0, 0, m_canvas);
    return img;
}

QImage PictureBox::image(qreal scale) const {
    return render(scale);
}

void PictureBox::clear() {
    m_held = HeldPicture();
    m_blank = true;
    m_painted = QSize();
    m_canvas = render(devicePixelRatioF());
    update();
}

void PictureBox::paintFitted(const HeldPicture &picture) {
    clear();
    if (picture.isNull())
        return;
    m_held = picture;
    m_blank = false;
    m_painted = FrameFit::paintedSize(picture.size(), size()).toSize();
    m_canvas = render(devicePixelRatioF());
    update();
}

void PictureBox::paintEvent(QPaintEvent *) {
    // On a screen of another pixel ratio the picture is drawn again for it.
    if (!m_blank && m_canvas.devicePixelRatio() != devicePixelRatioF())
        m_canvas = render(devicePixelRatioF());
    QPainter p(this);
    p.fillRect(rect(), m_background);
    if (!m_canvas.isNull())
        p.drawImage(0, 0, m_canvas);
}

void PictureBox::resizeEvent(QResizeEvent *) {
    const qreal scale = devicePixelRatioF();
    const QSize pixels = pixelsAt(size(), scale);
    if (m_canvas.size() != pixels && !size().isEmpty()) {
        QImage grown(pixels, QImage::Format_RGB32);
        grown.setDevicePixelRatio(scale);
        grown.fill(m_background);
        QPainter p(&grown);
        if (!m_canvas.isNull())
            p.drawImage(0, 0, m_canvas);
        m_canvas = grown;
    }
}
