#pragma once

#include <QString>

// Only regular files are read as pictures: opening a FIFO named x.jpg would wait for a
// writer forever, and a device or a folder is no picture either.
class RegularFile {
public:
    static bool is(const QString &path);
};
