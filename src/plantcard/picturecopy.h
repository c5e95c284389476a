#pragma once

#include <QString>

// Copies a chosen picture into a plant's folder. The copy is written under a temporary name
// in the target's folder and renamed over the target only when complete, so a failed copy
// never leaves a half-written picture behind, nor spoils the picture already there.
class PictureCopy {
public:
    // False, with the reason in `error`, when the source cannot be read or the target's
    // folder cannot take the copy (a missing folder is not created).
    // A plant folder that is a link to another folder is not written into.
    static bool copy(const QString &source, const QString &target, QString *error);
    // What to say of such a folder.
    static QString linkedFolder(const QString &folder);
};
