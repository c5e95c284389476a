#include "ui/widgets/framefit.h"

QSizeF FrameFit::paintedSize(const QSizeF &picture, const QSizeF &frame) {
    const float w = static_cast<float>(picture.width());
    const float h = static_cast<float>(picture.height());
    const float fw = static_cast<float>(frame.width());
    const float fh = static_cast<float>(frame.height());
    float ratio = 1.0f;
    if (w > fw || h > fh) {
        if (w >= h)
            ratio = w / fw;
        if (h >= w)
            ratio = h / fh; // a square picture ends with the height ratio
    }
    if (!(ratio > 0))
        ratio = 1.0f;
    return QSizeF(w / ratio, h / ratio);
}
