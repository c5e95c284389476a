#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

// A picture as a hidden holder keeps it: its natural size, upright as the camera's
// orientation tag has it, read from the file's header; and its pixels, decoded no larger
// than the frame that shows it needs. A phone photo of 6000 x 4000 that a frame paints
// 193 pixels wide is decoded at 193 pixels, which for a JPEG is several times faster.
//
// A picture already in memory can be held as well; its natural size is then its own.
class HeldPicture {
public:
    HeldPicture() = default;
    HeldPicture(const QImage &image); // NOLINT: an image is held as it is

    // Reads the picture file at `path`, by its content whatever its name says. `atLeast` is
    // the upright size in pixels the picture will be shown at: the pixels are decoded at
    // that size when the picture is larger, whole otherwise (and whole when `atLeast` is
    // empty). Null when the file is missing, is not a regular file, is not a readable
    // picture, or is too large to hold.
    static HeldPicture read(const QString &path, const QSize &atLeast = QSize());
    // The same, the size shown at given by the natural size the header tells.
    using ShownAt = std::function<QSize(const QSize &natural)>;
    static HeldPicture read(const QString &path, const ShownAt &shownAt);

    bool isNull() const { return m_pixels.isNull(); }
    // The natural size, upright, in pixels.
    QSize size() const { return m_size; }
    int width() const { return m_size.width(); }
    int height() const { return m_size.height(); }
    QString path() const { return m_path; }

    // The upright pixels as held.
    const QImage &pixels() const { return m_pixels; }
    // Upright pixels of at least `atLeast`, or whole: the held ones when they are large
    // enough, else read again from the file (the held ones when that fails).
    QImage pixels(const QSize &atLeast) const;

private:
    QString m_path;
    QSize m_size;
    QImage m_pixels;
};
