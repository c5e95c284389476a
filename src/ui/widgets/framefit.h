#pragma once

#include <QSizeF>

// How a picture is painted into a frame from its top-left corner: the ratio follows the
// picture's own orientation (landscape to the frame's width, portrait or square to its
// height), and a picture is never enlarged. What overflows is cut off by the frame.
class FrameFit {
public:
    static QSizeF paintedSize(const QSizeF &picture, const QSizeF &frame);
};
