#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

class QPainter;
class QRectF;

// A QR code made by libqrencode from a text, in its UTF-8 bytes, with the medium level of
// error correction (a label rubbed by soil and water still reads).
class QrCode {
public:
    explicit QrCode(const QString &text);

    // False when the text could not be encoded (too long for any QR code).
    bool isValid() const { return m_width > 0; }
    // Modules on a side, without the quiet zone.
    int width() const { return m_width; }
    bool dark(int x, int y) const { return m_modules.at(y * m_width + x); }

    // The white quiet zone around the code, in modules, as readers expect it.
    static constexpr int quietZone = 4;
    // Paints the code with its quiet zone as the largest square that `area` holds, its
    // modules whole device pixels where the device is fine enough.
    void paint(QPainter &painter, const QRectF &area) const;

private:
    int m_width = 0;
    QVector<bool> m_modules;
};
