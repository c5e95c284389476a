#include "ui/platform/regularfile.h"

#include <QFileInfo>

bool RegularFile::is(const QString &path) {
    // isFile() is true only for a regular file, or a link to one.
    return QFileInfo(path).isFile();
}
