#pragma once

#include "archive/conversionprogress.h"
#include "archive/schemaupgrade.h"
#include "ui/appcontext.h"

class QProgressDialog;

// What happens to the archive before the main window first fills its list: what an
// interrupted conversion left behind goes; an Access-format dbpiante.mdb is offered for
// conversion; an archive that cannot be opened is reported once. The list then fills as
// always, empty when there is nothing to show. A conversion that takes more than half a
// second shows its progress, with "Annulla" to stop it.
class ArchiveStartup : private ConversionProgress {
public:
    explicit ArchiveStartup(AppContext &ctx) : m_ctx(ctx) {}
    void run();
    // Once the day's safety copy is made: brings the archive's layout to the program's, or
    // leaves it for reading only when that cannot be done (or the layout is newer). True
    // when the layout changed, so the lists are to be read again.
    bool upgradeLayout(const QList<SchemaUpgrade::Step> &steps = SchemaUpgrade::steps());

private:
    void offerConversion();
    bool advance(int percent) override;

    AppContext &m_ctx;
    QProgressDialog *m_progress = nullptr;
};
