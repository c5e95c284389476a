#pragma once

// A write past the process's file-size limit sends SIGXFSZ, which ends the program. Ignored,
// the write fails instead and the save shows its error.
class FileSizeLimit {
public:
    static void failWritesInsteadOfDying();
};
