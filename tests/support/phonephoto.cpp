#include "support/phonephoto.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTransform>

QByteArray PhonePhoto::tagged(const QByteArray &jpeg, int tag) {
    // EXIF in big-endian TIFF form: one directory entry, Orientation (0x0112), a SHORT.
    QByteArray exif("Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 24);
    exif += char(0);
    exif += char(tag);
    exif += QByteArray(6, '\0'); // padding, then no further directory
    QByteArray segment("\xFF\xE1", 2);
    const int length = int(exif.size()) + 2;
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    return jpeg.left(2) + segment + exif + jpeg.mid(2);
}

bool PhonePhoto::write(const QString &path, const QImage &upright, int tag, int quality) {
    // The turn that the tag undoes.
    const int stored = tag == 3 ? 180 : tag == 6 ? -90 : tag == 8 ? 90 : 0;
    const QImage pixels = upright.transformed(QTransform().rotate(stored));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!pixels.save(&buffer, "JPG", quality))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(tagged(jpeg, tag)) > 0;
}

QImage PhonePhoto::quarters(int width, int height) {
    QImage img(width, height, QImage::Format_RGB32);
    QPainter p(&img);
    const int w = width / 2, h = height / 2;
    p.fillRect(0, 0, w, h, QColor(220, 30, 30));
    p.fillRect(w, 0, width - w, h, QColor(30, 180, 30));
    p.fillRect(0, h, w, height - h, QColor(30, 30, 220));
    p.fillRect(w, h, width - w, height - h, QColor(230, 210, 20));
    p.setPen(QColor(250, 250, 250));
    for (int x = width / 8; x < width; x += width / 4)
        for (int y = height / 8; y < height; y += height / 4)
            p.drawEllipse(QPoint(x, y), width / 20, width / 20);
    return img;
}
