#include "photohistory/exifdate.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {
// EXIF sits in the first segments; a camera's thumbnail keeps it well under this.
constexpr qint64 headLimit = 256 * 1024;

class Tiff {
public:
    explicit Tiff(QByteArrayView data) : m_data(data), m_big(data.startsWith("MM")) {}
    bool valid() const {
        return m_data.size() >= 8 && (m_data.startsWith("II") || m_data.startsWith("MM")) &&
               u16(2) == 42;
    }
    quint32 u16(qsizetype at) const {
        if (at < 0 || at + 2 > m_data.size())
            return 0;
        const auto b = [&](qsizetype i) { return quint32(quint8(m_data[at + i])); };
        return m_big ? b(0) << 8 | b(1) : b(1) << 8 | b(0);
    }
    quint32 u32(qsizetype at) const {
        return m_big ? u16(at) << 16 | u16(at + 2) : u16(at + 2) << 16 | u16(at);
    }
    // The value field's offset of the tag in the directory at `ifd`, or -1.
    qsizetype entry(quint32 ifd, quint32 tag) const {
        const quint32 count = u16(ifd);
        for (quint32 i = 0; i < count && i < 1024; ++i) {
            const qsizetype at = qsizetype(ifd) + 2 + qsizetype(i) * 12;
            if (at + 12 > m_data.size())
                return -1;
            if (u16(at) == tag)
                return at;
        }
        return -1;
    }
    QByteArrayView bytes(qsizetype at, qsizetype n) const {
        return at >= 0 && n >= 0 && at + n <= m_data.size() ? m_data.sliced(at, n)
                                                            : QByteArrayView();
    }

private:
    QByteArrayView m_data;
    bool m_big;
};

QDateTime fromTiff(QByteArrayView data) {
    const Tiff tiff(data);
    if (!tiff.valid())
        return {};
    const qsizetype pointer = tiff.entry(tiff.u32(4), 0x8769); // the EXIF directory
    if (pointer < 0)
        return {};
    const qsizetype original = tiff.entry(tiff.u32(pointer + 8), 0x9003);
    if (original < 0 || tiff.u16(original + 2) != 2) // ASCII
        return {};
    const quint32 count = tiff.u32(original + 4);
    const QByteArrayView text =
        count <= 4 ? tiff.bytes(original + 8, count) : tiff.bytes(tiff.u32(original + 8), count);
    // "YYYY:MM:DD HH:MM:SS"; cameras without a clock write blanks or zeros.
    const QDateTime when =
        QDateTime::fromString(QString::fromLatin1(text.first(std::min<qsizetype>(19, text.size()))),
                              QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    return when.isValid() ? when : QDateTime();
}
} // namespace

QDateTime ExifDate::fromJpeg(const QByteArray &head) {
    if (!head.startsWith("\xFF\xD8"))
        return {};
    qsizetype at = 2;
    while (at + 4 <= head.size() && quint8(head[at]) == 0xFF) {
        const quint8 marker = quint8(head[at + 1]);
        if (marker == 0xDA || marker == 0xD9) // the pixels begin: no EXIF came before
            return {};
        const qsizetype length = quint8(head[at + 2]) << 8 | quint8(head[at + 3]);
        if (length < 2)
            return {};
        if (marker == 0xE1 && head.mid(at + 4, 6) == QByteArray("Exif\0\0", 6))
            return fromTiff(QByteArrayView(head).sliced(
                std::min(at + 10, head.size()),
                std::max<qsizetype>(0, std::min(length - 8, head.size() - at - 10))));
        at += 2 + length;
    }
    return {};
}

QDateTime ExifDate::original(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return fromJpeg(file.read(headLimit));
}

QDate ExifDate::taken(const QString &path) {
    const QDateTime camera = original(path);
    return camera.isValid() ? camera.date() : QFileInfo(path).lastModified().date();
}
