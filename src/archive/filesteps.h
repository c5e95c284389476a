#pragma once

#include <QString>

// The file-system steps the safety copies and the export are made of, taken one system call
// at a time. Each answers 0 when done, else the errno of the call that failed, so that the
// caller can say why (FailureReason::ofErrno). None follows a symbolic link at the last
// component of a name it changes: a link is replaced or removed itself.
class FileSteps {
public:
    // Whether the name is taken, by anything: a file, a folder, a link (dangling or not).
    static bool taken(const QString &path);
    // Whether the name is a regular file itself, not a link to one.
    static bool isRegularFile(const QString &path);
    // Whether the name is a folder itself, not a link to one.
    static bool isFolder(const QString &path);

    // Creates the folder; one already there is fine.
    static int makeFolder(const QString &path);
    // Writes what the system holds of the file or folder to the disk.
    static int sync(const QString &path);
    // Gives `from` the name `to` in one step (rename(2)), replacing whatever `to` names, a
    // link included, never what a link points to.
    static int replace(const QString &from, const QString &to);
    // Removes the name (a link itself, never its target); a name not there is fine.
    static int remove(const QString &path);
    // A new folder beside `prefix`, named by it with six random characters after
    // (mkdtemp(3)): no name already there, a link included, is ever taken.
    static int makeFreshFolder(const QString &prefix, QString *made);

    // A new file to write (which must not exist), its descriptor in *fd.
    static int create(const QString &path, int *fd);
    // Writes all the bytes to the descriptor.
    static int write(int fd, const QByteArray &bytes);
    // Syncs and closes the descriptor (closed even on failure).
    static int finish(int fd);

    // Copies the bytes of `from` into the new file `to` (which must not exist) and syncs it.
    static int copy(const QString &from, const QString &to);
};
