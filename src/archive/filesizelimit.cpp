#include "archive/filesizelimit.h"

#include <csignal>

void FileSizeLimit::failWritesInsteadOfDying() {
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
