#pragma once

#include <QByteArray>
#include <QString>

// Text files written by hand may come from an old Windows editor (Windows-1252) or from a
// current one (UTF-8). Bytes that are valid UTF-8 are read as UTF-8, anything else as
// Windows-1252, so both give the same words.
class LegacyText {
public:
    static QString decode(const QByteArray &bytes);
    static bool isUtf8(const QByteArray &bytes);
    static QString fromWindows1252(const QByteArray &bytes);
};
