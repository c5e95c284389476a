#pragma once

#include <QString>

// A file the program reads only because it lies in the application folder (a note, a
// journal, the list of types): it is taken when it is a regular file, is not a link leading
// out of the folder, and is no bigger than such a file can be. Anything else is never
// followed and never read whole.
class FolderFile {
public:
    enum class State { Missing, Usable, NotRegular, OutsideFolder, TooBig };
    static State check(const QString &folder, const QString &path, qint64 maxSize);
    // Why a file in that state is not used, in the user's words.
    static QString reason(State state);
    // Moves the name itself aside (a link or a FIFO is moved, not followed), replacing
    // whatever `aside` names; false when it stays where it is.
    static bool setAside(const QString &path, const QString &aside);
    // A name that stays inside the folder it is joined to: not empty, no "/", not "." or
    // "..". A backslash is a character like any other here ("C:\Foto\x.jpg" is one name).
    static bool isPlainName(const QString &name);
};
