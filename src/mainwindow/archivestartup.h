#pragma once

#include "ui/appcontext.h"

// What happens to the archive before the main window first fills its list: what an
// interrupted conversion left behind goes; an Access-format dbpiante.mdb is offered for
// conversion; an archive that cannot be opened is reported once. The list then fills as
// always, empty when there is nothing to show.
class ArchiveStartup {
public:
    explicit ArchiveStartup(AppContext &ctx) : m_ctx(ctx) {}
    void run();

private:
    void offerConversion();
    AppContext &m_ctx;
};
