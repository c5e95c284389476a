#include "photohistory/comparepane.h"

#include "photohistory/thumbnailcache.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

ComparePane::ComparePane(QWidget *parent) : QWidget(parent) {
    setMinimumSize(120, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize ComparePane::wanted() const {
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void ComparePane::showPhoto(const QString &path, const QImage &thumbnail) {
    m_path = path;
    m_image = thumbnail;
    m_decodedFor = QSize();
    update();
    decodeLater();
}

void ComparePane::resizeEvent(QResizeEvent *e) {
    QWidget::resizeEvent(e);
    decodeLater();
}

// Only the newest request is kept: a resize that goes on reads the photo once at its end.
void ComparePane::decodeLater() {
    const int request = ++m_request;
    if (m_path.isEmpty())
        return;
    const QString path = m_path;
    const QSize bound = wanted();
    QPointer<ComparePane> pane(this);
    QTimer::singleShot(50, this, [=] {
        if (!pane || pane->m_request != request)
            return;
        QThreadPool::globalInstance()->start([=] {
            const QImage image = ThumbnailCache::decode(path, bound);
            QMetaObject::invokeMethod(qApp, [=] {
                if (!pane || pane->m_request != request)
                    return;
                if (!image.isNull()) {
                    pane->m_image = image;
                    pane->m_decodedFor = bound;
                }
                pane->update();
                emit pane->decoded();
            });
        });
    });
}

void ComparePane::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (m_image.isNull())
        return;
    // Fitted in logical pixels; a picture read for this size is drawn one to one.
    const QSizeF fitted = QSizeF(m_image.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
    const QRectF target(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                        fitted);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, m_image);
}
