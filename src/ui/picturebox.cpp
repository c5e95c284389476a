#include "ui/picturebox.h"

#include "ui/framefit.h"
#include "ui/regularfile.h"

#include <QImageReader>
#include <QPainter>

PictureBox::PictureBox(QWidget *parent, const QColor &background)
    : QWidget(parent), m_background(background) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage PictureBox::load(const QString &path) {
    if (!RegularFile::is(path))
        return {};
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    // A picture that would need more than about 256 MB to hold is refused, not loaded.
    if (size.isValid() && qint64(size.width()) * size.height() > 64LL * 1024 * 1024)
        return {};
    QImage img = reader.read();
    return img;
}

QImage PictureBox::image() const {
    if (m_canvas.size() == size())
        return m_canvas;
    QImage img(size(), QImage::Format_RGB32);
    img.fill(m_background);
    QPainter p(&img);
    p.drawImage(0, 0, m_canvas);
    return img;
}

void PictureBox::clear() {
    m_canvas = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    m_canvas.fill(m_background);
    m_blank = true;
    m_painted = QSize();
    update();
}

void PictureBox::paintFitted(const QImage &picture) {
    clear();
    if (picture.isNull())
        return;
    const QSizeF fitted = FrameFit::paintedSize(picture.size(), size());
    m_painted = fitted.toSize();
    QPainter p(&m_canvas);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(QPointF(0, 0), fitted), picture);
    m_blank = false;
    update();
}

void PictureBox::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), m_background);
    if (!m_canvas.isNull())
        p.drawImage(0, 0, m_canvas);
}

void PictureBox::resizeEvent(QResizeEvent *) {
    if (m_canvas.size() != size() && !size().isEmpty()) {
        QImage grown(size(), QImage::Format_RGB32);
        grown.fill(m_background);
        QPainter p(&grown);
        if (!m_canvas.isNull())
            p.drawImage(0, 0, m_canvas);
        m_canvas = grown;
    }
}
