#include "mainwindow/backupcommands.h"

#include "archive/backupstore.h"
#include "archive/csvexport.h"
#include "archive/filesteps.h"
#include "mainwindow/archivestartup.h"
#include "mainwindow/mainwindow.h"
#include "ui/widgets/workprogress.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressDialog>

namespace {
namespace T {
const QString copyFailed = QStringLiteral("Impossibile creare la copia di sicurezza: %1.");
const QString copySkipped =
    QStringLiteral("Copia di sicurezza non fatta: l'archivio non ha superato la verifica, %1.\n"
                   "Le copie precedenti sono in %2.");
const QString archiveFilter = QStringLiteral("Archivi (*.mdb) (*.mdb *.MDB)");
const QString askRestore =
    QStringLiteral("Sostituire l'archivio attuale con la copia del %1?\n"
                   "L'archivio attuale sarà conservato tra le copie di sicurezza.");
const QString restoreFailed = QStringLiteral("Impossibile ripristinare la copia: %1.");
const QString restoreCancelled =
    QStringLiteral("Ripristino annullato: l'archivio è rimasto com'era.");
const QString askOverwrite = QStringLiteral("Sostituire i file già presenti in %1?\n%2");
const QString exporting = QStringLiteral("Esportazione in CSV...");
const QString cancel = QStringLiteral("Annulla");
const QString exported = QStringLiteral("Esportate %1 piante e %2 trattamenti in %3.");
const QString exportFailed = QStringLiteral("Impossibile esportare: %1.");
} // namespace T

// Steps of the progress bar.
constexpr int progressSteps = 1000;
} // namespace

BackupCommands::BackupCommands(AppContext &ctx, MainWindow &main) : m_ctx(ctx), m_main(main) {}

void BackupCommands::dailyCopy(AppContext &ctx) {
    BackupStore store(ctx.folder);
    // What a restore or an export cut short by a crash left goes first.
    store.settle();
    CsvExport::settleInterrupted(ctx.folder.archivePath());
    switch (store.makeDailyCopy(ctx.clock->today())) {
    case BackupStore::Daily::Failed:
        ctx.messages->show(T::copyFailed.arg(store.error()), Messages::Icon::Exclamation);
        break;
    case BackupStore::Daily::FailsCheck:
        ctx.messages->show(T::copySkipped.arg(store.error(), QDir::toNativeSeparators(store.dir())),
                           Messages::Icon::Exclamation);
        break;
    default:
        break;
    }
}

void BackupCommands::restore() {
    BackupStore store(m_ctx.folder);
    const QString chosen = m_ctx.files->openFileIn(&m_main, store.dir(), T::archiveFilter);
    if (chosen.isEmpty())
        return;
    if (!m_ctx.messages->askYesNo(
            T::askRestore.arg(BackupStore::dayOf(chosen).toString(QStringLiteral("dd/MM/yyyy")))))
        return;
    // Checking a big copy takes a while: the window keeps painting, and "Annulla" stops it.
    QProgressDialog busy(QStringLiteral("Verifica della copia in corso…"),
                         QStringLiteral("Annulla"), 0, 0, &m_main);
    busy.setWindowTitle(Messages::title);
    busy.setWindowModality(Qt::WindowModal);
    busy.setMinimumDuration(500);
    QElapsedTimer shown;
    shown.start();
    store.setProgress([&busy, &shown] {
        if (shown.elapsed() > 100) {
            busy.setValue(0);
            QCoreApplication::processEvents();
            shown.restart();
        }
        return !busy.wasCanceled();
    });
    const bool restored = store.restore(chosen, m_ctx.clock->now());
    const bool cancelled = busy.wasCanceled();
    busy.close();
    if (!restored) {
        m_ctx.messages->show(cancelled ? T::restoreCancelled : T::restoreFailed.arg(store.error()),
                             Messages::Icon::Exclamation);
        return;
    }
    // A copy from before a layout upgrade is brought up to date as at startup.
    ArchiveStartup(m_ctx).upgradeLayout();
    // The list starts again as at startup, on the restored archive.
    ProgramState &state = m_ctx.state;
    state.listMode = ListMode::Plants;
    state.idpianta = 0;
    state.idtratsel = 0;
    state.selectedRow = 0;
    m_main.headingLabel->clear();
    m_main.showAllPlants();
    m_main.showPicture(QImage());
}

void BackupCommands::exportCsv() {
    const QString folder = m_ctx.files->chooseFolder(&m_main, QDir::homePath());
    if (folder.isEmpty())
        return;
    const QString shown = QDir::toNativeSeparators(folder);
    QStringList present;
    for (const QString &name : CsvExport::fileNames())
        if (FileSteps::taken(QDir(folder).filePath(name)))
            present << name;
    if (!present.isEmpty() &&
        !m_ctx.messages->askYesNo(T::askOverwrite.arg(shown, present.join(QLatin1Char('\n')))))
        return;

    // Shown only when the export takes more than a moment; meanwhile the window repaints.
    WorkProgress progress(T::exporting, T::cancel, progressSteps, &m_main);
    m_ctx.state.dbpath = m_ctx.folder.archivePath();
    CsvExport csv(m_ctx.state.dbpath);
    const bool ok = csv.write(folder, [&](qint64 done, qint64 total) {
        progress.setValue(total > 0 ? static_cast<int>(done * progressSteps / total) : 0);
        return !progress.wasCanceled();
    });
    progress.close();
    if (ok)
        m_ctx.messages->show(T::exported.arg(csv.plants()).arg(csv.events()).arg(shown));
    else if (!csv.stopped())
        m_ctx.messages->show(T::exportFailed.arg(csv.error()), Messages::Icon::Exclamation);
}
