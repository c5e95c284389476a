#pragma once

#include <QImage>
#include <QString>

// Pictures as phones write them: the pixels as the sensor saw them and an orientation tag
// (1 upright, 3 upside down, 6 and 8 on either side) that says how to turn them upright.
class PhonePhoto {
public:
    // Writes `upright` as a JPEG whose pixels are turned so that orientation `tag` brings
    // them back; false when the file cannot be written.
    static bool write(const QString &path, const QImage &upright, int tag, int quality = 90);
    // A JPEG with an orientation tag put in after its start marker.
    static QByteArray tagged(const QByteArray &jpeg, int tag);
    // Quarters of four colours (red top left, green top right, blue bottom left, yellow
    // bottom right), with fine detail, so that a turned or blurred picture shows.
    static QImage quarters(int width, int height);
};
