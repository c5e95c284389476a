#pragma once

#include "archive/archive.h"
#include "ui/appcontext.h"

// The archive opened for one operation, as every operation opens it: `dbpath` is set to the
// application folder's archive, then the file is opened. Whether that worked is isOpen(),
// and lastError() says why not; the operation's calls then fail the same way.
class OpenedArchive : public Archive {
public:
    explicit OpenedArchive(AppContext &ctx);
};
