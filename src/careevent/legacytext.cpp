#include "careevent/legacytext.h"

#include <QStringDecoder>

namespace {
// Windows-1252 differs from Latin-1 only in 0x80-0x9F. The five bytes it leaves undefined
// keep their Latin-1 meaning, so no byte is ever lost.
constexpr char16_t cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};
} // namespace

bool LegacyText::isUtf8(const QByteArray &bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    [[maybe_unused]] const QString text = utf8.decode(bytes);
    return !utf8.hasError();
}

QString LegacyText::fromWindows1252(const QByteArray &bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(QChar(b >= 0x80 && b <= 0x9F ? cp1252High[b - 0x80] : char16_t(b)));
    }
    return text;
}

QString LegacyText::decode(const QByteArray &bytes) {
    if (isUtf8(bytes)) {
        // The decoder drops a leading byte order mark, as editors that write one expect.
        QStringDecoder utf8(QStringConverter::Utf8);
        return utf8.decode(bytes);
    }
    return fromWindows1252(bytes);
}
