#pragma once

#include "ui/appcontext.h"

class MainWindow;

// The main window's commands on the archive as a whole: the daily safety copy made at
// startup, the restore of a safety copy and the export for spreadsheets.
class BackupCommands {
public:
    BackupCommands(AppContext &ctx, MainWindow &main);

    // At startup: what a restore or an export cut short left is settled; then today's copy,
    // when the archive is sound and none was made today. A copy that cannot be written, or
    // an archive that fails its check, is told, and the program goes on.
    static void dailyCopy(AppContext &ctx);

    // "Ripristina copia di sicurezza...": a copy chosen in backup/ replaces the archive
    // after a question; the list then shows every plant.
    void restore();
    // "Esporta in CSV...": piante.csv and trattamenti.csv into a chosen folder.
    void exportCsv();

private:
    AppContext &m_ctx;
    MainWindow &m_main;
};
