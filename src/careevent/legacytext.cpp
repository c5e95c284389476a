#include "careevent/legacytext.h"

#include <QStringDecoder>

bool LegacyText::isUtf8(const QByteArray &bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    [[maybe_unused]] const QString text = utf8.decode(bytes);
    return !utf8.hasError();
}

QString LegacyText::fromWindows1252(const QByteArray &bytes) {
    // Qt's code page keeps the five bytes Windows-1252 leaves undefined as C1 controls, so no
    // byte is ever lost.
    QStringDecoder cp1252("windows-1252");
    if (!cp1252.isValid())
        return QString::fromLatin1(bytes);
    return cp1252.decode(bytes);
}

QString LegacyText::decode(const QByteArray &bytes) {
    if (isUtf8(bytes)) {
        // The decoder drops a leading byte order mark, as editors that write one expect.
        QStringDecoder utf8(QStringConverter::Utf8);
        return utf8.decode(bytes);
    }
    return fromWindows1252(bytes);
}
