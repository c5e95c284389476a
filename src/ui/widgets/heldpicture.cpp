#include "ui/widgets/heldpicture.h"

#include "ui/platform/regularfile.h"

#include <QImageIOHandler>
#include <QImageReader>

namespace {
// A picture that would need more than about 256 MB to hold whole is refused, not loaded.
constexpr qint64 largestPixels = 64LL * 1024 * 1024;
} // namespace

HeldPicture::HeldPicture(const QImage &image) : m_size(image.size()), m_pixels(image) {}

HeldPicture HeldPicture::read(const QString &path, const QSize &atLeast) {
    return read(path, [&](const QSize &) { return atLeast; });
}

HeldPicture HeldPicture::read(const QString &path, const ShownAt &shownAt) {
    if (!RegularFile::is(path))
        return {};
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (stored.isValid() && qint64(stored.width()) * stored.height() > largestPixels)
        return {};
    // The header says how the camera was held; a quarter turn swaps the sides.
    const bool sideways =
        stored.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90);
    const QSize upright = sideways ? stored.transposed() : stored;
    const QSize atLeast = stored.isValid() ? shownAt(upright) : QSize();
    if (!atLeast.isEmpty() &&
        (atLeast.width() < upright.width() || atLeast.height() < upright.height())) {
        // The reader scales before it turns the picture upright.
        const QSize scaled = atLeast.boundedTo(upright);
        reader.setScaledSize(sideways ? scaled.transposed() : scaled);
    }
    HeldPicture held;
    held.m_pixels = reader.read();
    if (held.m_pixels.isNull())
        return {};
    held.m_path = path;
    held.m_size = stored.isValid() ? upright : held.m_pixels.size();
    return held;
}

QImage HeldPicture::pixels(const QSize &atLeast) const {
    const QSize wanted = atLeast.boundedTo(m_size);
    if (m_path.isEmpty() ||
        (m_pixels.width() >= wanted.width() && m_pixels.height() >= wanted.height()))
        return m_pixels;
    const HeldPicture again = read(m_path, atLeast);
    // A file changed since it was first read stands in for nothing.
    if (again.isNull() || again.size() != m_size)
        return m_pixels;
    return again.m_pixels;
}
