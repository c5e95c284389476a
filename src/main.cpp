#include "archive/appfolder.h"
#include "archive/filesizelimit.h"
#include "archive/instancelock.h"
#include "archive/journalcheck.h"
#include "mainwindow/backupcommands.h"
#include "mainwindow/mdiform1.h"
#include "plantcard/picturechange.h"
#include "ui/qtmessages.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstring>

namespace {
// A second program on the same folder would overwrite the first one's saves.
bool aloneOnTheFolder(InstanceLock &lock, Messages &messages) {
    if (lock.take() != InstanceLock::Result::HeldByAnother)
        return true;
    messages.show(QStringLiteral("Silvaro è già aperto su questo archivio."),
                  Messages::Icon::Exclamation);
    return false;
}

// A journal left by a writer that died is checked before anything opens the archive.
void checkLeftJournal(const AppContext &ctx) {
    const JournalCheck::Outcome journal = JournalCheck::run(ctx.folder, ctx.clock->now());
    if (!journal.message.isEmpty())
        ctx.messages->show(journal.message, journal.sound ? Messages::Icon::Information
                                                          : Messages::Icon::Exclamation);
}
} // namespace

// The path from the executable's folder to the installed templates; empty in a build that
// knows of no installed layout (then the program is always a portable folder).
#ifndef SILVARO_TEMPLATES_RELATIVE
#define SILVARO_TEMPLATES_RELATIVE ""
#endif
#ifndef SILVARO_APP_ID
#define SILVARO_APP_ID "org.silvaro.Silvaro"
#endif

int main(int argc, char **argv) {
    const QString version = QStringLiteral("%1.%2.%3")
                                .arg(SILVARO_VERSION_MAJOR)
                                .arg(SILVARO_VERSION_MINOR)
                                .arg(SILVARO_VERSION_PATCH);
    // The only two arguments, answered before anything needs a display; others are ignored.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Silvaro %s\n", qPrintable(version));
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("Uso: silvaro [--version | --help]  (senza argomenti apre il registro "
                        "delle piante)\n");
            return 0;
        }
    }

    FileSizeLimit::failWritesInsteadOfDying();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Silvaro"));
    app.setApplicationVersion(version);
    app.setDesktopFileName(QStringLiteral(SILVARO_APP_ID));
    QIcon icon;
    for (int size : {48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/" SILVARO_APP_ID "-%1.png").arg(size));
    app.setWindowIcon(icon);
    // Everything the user sees is Italian, Qt's own buttons and dialogs included.
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslator);

    Clock clock;
    QtMessages messages;
    ModalRunner modal;
    FileChooser files;
    PrintChooser printer;
    Registry registry;
    AppContext ctx{AppFolder::ofProgram(QStringLiteral(SILVARO_TEMPLATES_RELATIVE)),
                   ProgramState{}, &clock, &messages, &modal, &files, &printer, &registry};
    InstanceLock lock(ctx.folder.dir());
    if (!aloneOnTheFolder(lock, messages))
        return 1;
    checkLeftJournal(ctx);
    PictureChange::settle(ctx.folder);
    MDIForm1 window(ctx);
    window.show();
    // The window's startup has opened the archive; now the day's safety copy.
    BackupCommands::dailyCopy(ctx);
    return app.exec();
}
