#include "mainwindow/archivestartup.h"

#include "archive/archive.h"
#include "archive/backupstore.h"
#include "archive/jetconversion.h"
#include "ui/widgets/workprogress.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>

namespace {
namespace T {
const QString askConvert =
    QStringLiteral("L'archivio dbpiante.mdb è in formato Access.\nConvertirlo ora nel formato "
                   "di Silvaro? Il file originale sarà conservato come %1.");
const QString converted = QStringLiteral("Conversione completata: %1 piante e %2 trattamenti.");
const QString renumbered = QStringLiteral("Trattamenti con una chiave doppia, rinumerati: %1");
const QString timesDropped = QStringLiteral("Date con un'ora, conservate senza l'ora: %1");
const QString convertFailed =
    QStringLiteral("Conversione non riuscita: %1.\nIl file originale non è stato modificato.");
const QString converting = QStringLiteral("Conversione dell'archivio in corso…");
const QString cancel = QStringLiteral("Annulla");
const QString cancelled =
    QStringLiteral("Conversione annullata.\nIl file originale non è stato modificato.");
const QString cannotOpen = QStringLiteral(
    "Impossibile aprire l'archivio dbpiante.mdb: %1.\nIl file non è stato modificato.");
const QString newerLayout = QStringLiteral(
    "L'archivio è stato scritto da una versione più recente di Silvaro: viene aperto in sola "
    "lettura e le modifiche non saranno salvate.");
const QString noCopyForUpgrade = QStringLiteral(
    "L'archivio va aggiornato al formato di questa versione di Silvaro, ma manca la copia di "
    "sicurezza di oggi: l'archivio non è stato modificato e viene aperto in sola lettura.");
const QString upgradeFailed = QStringLiteral(
    "Impossibile aggiornare l'archivio al formato di questa versione di Silvaro (%1): "
    "l'archivio non è stato modificato e viene aperto in sola lettura.");
} // namespace T
} // namespace

void ArchiveStartup::run() {
    const JetConversion conversion(m_ctx.folder.dir());
    // Another program may hold the archive: nothing is converted or cleaned up under it.
    if (!m_ctx.state.archiveReadOnly) {
        conversion.cleanUp();
        if (conversion.archiveIsJet()) {
            offerConversion();
            return;
        }
    }
    Archive archive(m_ctx.folder.archivePath());
    archive.setReadOnly(m_ctx.state.archiveReadOnly);
    if (!archive.check())
        m_ctx.messages->show(T::cannotOpen.arg(archive.lastError()), Messages::Icon::Exclamation);
}

bool ArchiveStartup::upgradeLayout(const QList<SchemaUpgrade::Step> &steps) {
    int version = 0;
    QString error;
    const QString archive = m_ctx.folder.archivePath();
    switch (SchemaUpgrade::stateOf(archive, steps, &version, &error)) {
    case SchemaUpgrade::State::Current:
    case SchemaUpgrade::State::Unreadable: // told already, when the archive was opened
        return false;
    case SchemaUpgrade::State::Newer:
        m_ctx.state.archiveReadOnly = true;
        m_ctx.messages->show(T::newerLayout, Messages::Icon::Exclamation);
        return false;
    case SchemaUpgrade::State::Older:
        break;
    }
    if (m_ctx.state.archiveReadOnly)
        return false;
    // The copy to go back to must be there before anything changes.
    if (!QFileInfo(BackupStore(m_ctx.folder).dailyPath(m_ctx.clock->today())).isFile()) {
        m_ctx.state.archiveReadOnly = true;
        m_ctx.messages->show(T::noCopyForUpgrade, Messages::Icon::Exclamation);
        return false;
    }
    if (!SchemaUpgrade::run(archive, steps, &error)) {
        m_ctx.state.archiveReadOnly = true;
        m_ctx.messages->show(T::upgradeFailed.arg(error), Messages::Icon::Exclamation);
        return false;
    }
    return true;
}

void ArchiveStartup::offerConversion() {
    const JetConversion conversion(m_ctx.folder.dir());
    const QString kept = conversion.keptName();
    if (!m_ctx.messages->askYesNo(T::askConvert.arg(kept), Messages::Icon::Question))
        return;
    WorkProgress progress(T::converting, T::cancel, 100, nullptr);
    m_progress = &progress;
    const JetConversionResult r = conversion.run(kept, this);
    m_progress = nullptr;
    progress.close();
    if (r.cancelled) {
        m_ctx.messages->show(T::cancelled, Messages::Icon::Information);
        return;
    }
    if (!r.ok) {
        m_ctx.messages->show(T::convertFailed.arg(r.error), Messages::Icon::Exclamation);
        return;
    }
    QString text = T::converted.arg(r.plants).arg(r.events);
    if (r.renumberedEvents)
        text += QLatin1Char('\n') + T::renumbered.arg(r.renumberedEvents);
    if (r.timesDropped)
        text += QLatin1Char('\n') + T::timesDropped.arg(r.timesDropped);
    m_ctx.messages->show(text, Messages::Icon::Information);
}

// Called at least every twentieth of a second while the file is read: the events are served
// here, so the window repaints and "Annulla" answers even while the child reads nothing.
bool ArchiveStartup::advance(int percent) {
    m_progress->setValue(percent);
    QCoreApplication::processEvents();
    return !m_progress->wasCanceled();
}
