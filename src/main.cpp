#include "archive/appfolder.h"
#include "archive/filesizelimit.h"
#include "archive/instancelock.h"
#include "archive/journalcheck.h"
#include "archive/photofiles.h"
#include "mainwindow/archivestartup.h"
#include "mainwindow/backupcommands.h"
#include "mainwindow/mainwindow.h"
#include "plantcard/picturechange.h"
#include "ui/platform/instancechannel.h"
#include "ui/platform/qtmessages.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QProgressDialog>
#include <QTranslator>

#include <cstdio>
#include <cstring>

namespace {
// A second program on the same archive would overwrite the first one's saves: it brings the
// running one's window forward instead, or says why it does not start. Where no lock can
// be had, the archive is only read.
bool aloneOnTheArchive(InstanceLock &lock, AppContext &ctx, int *exitCode) {
    switch (lock.take()) {
    case InstanceLock::Result::Taken:
        return true;
    case InstanceLock::Result::Unavailable:
        ctx.state.archiveReadOnly = true;
        ctx.messages->show(
            QStringLiteral("Non è possibile impedire che un altro Silvaro apra questo archivio "
                           "(%1): l'archivio viene aperto in sola lettura e le modifiche non "
                           "saranno salvate.")
                .arg(lock.error()),
            Messages::Icon::Exclamation);
        return true;
    case InstanceLock::Result::HeldByAnother:
        break;
    }
    if (InstanceChannel::callRunning(lock.channelName())) {
        *exitCode = 0;
        return false;
    }
    ctx.messages->show(QStringLiteral("Silvaro è già aperto su questo archivio."),
                       Messages::Icon::Exclamation);
    *exitCode = 1;
    return false;
}

// A journal left by a writer that died is checked before anything opens the archive.
void checkLeftJournal(const AppContext &ctx) {
    // Copying a big archive and its journal aside takes a while: a window says so.
    QProgressDialog progress(QStringLiteral("Controllo dell'archivio in corso…"), QString(), 0,
                             1000);
    progress.setWindowTitle(QStringLiteral("Silvaro"));
    progress.setMinimumDuration(500);
    progress.setCancelButton(nullptr);
    const JournalCheck::Outcome journal =
        JournalCheck::run(ctx.folder, ctx.clock->now(), [&progress](qint64 done, qint64 total) {
            if (total > 0)
                progress.setValue(int(done * 1000 / total));
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
    progress.close();
    if (!journal.message.isEmpty())
        ctx.messages->show(journal.message, journal.sound ? Messages::Icon::Information
                                                          : Messages::Icon::Exclamation);
}
// A change of picture cut short is finished or undone; a note that is no note is set aside.
void settlePictureChange(const AppContext &ctx) {
    const QString message = PictureChange::settle(ctx.folder);
    if (!message.isEmpty())
        ctx.messages->show(message, Messages::Icon::Exclamation);
}

// The first argument that is neither Qt's own option (with its value) nor empty; null when
// there is none.
const char *unknownArgument(int argc, char **argv) {
    static const char *const withValue[] = {
        "platform",     "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon",  "qwindowtitle",       "session",       "style",  "stylesheet",
        "display",      "geometry",           "name",          "title",  "visual",
        "qmljsdebugger"};
    static const char *const flags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg[0] != '-')
            return arg;
        const char *name = arg + (arg[1] == '-' ? 2 : 1);
        const char *equals = std::strchr(name, '=');
        const std::size_t length = equals ? std::size_t(equals - name) : std::strlen(name);
        const auto is = [&](const char *known) {
            return std::strlen(known) == length && std::strncmp(name, known, length) == 0;
        };
        bool known = false;
        for (const char *option : withValue) {
            if (is(option)) {
                known = true;
                if (!equals && ++i >= argc)
                    return arg; // the value is missing
            }
        }
        for (const char *option : flags)
            known = known || (!equals && is(option));
        if (!known)
            return arg;
    }
    return nullptr;
}
bool hasPlatformOption(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const char *name = argv[i] + (std::strncmp(argv[i], "--", 2) == 0 ? 2 : 1);
        if (std::strcmp(name, "platform") == 0 || std::strncmp(name, "platform=", 9) == 0)
            return true;
    }
    return false;
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
    // Answered before anything needs a display, and so is an argument the program does not
    // know: only Qt's own options go on to the toolkit.
    const char *usage = "Uso: silvaro [--version | --help]  (senza argomenti apre il registro "
                        "delle piante)\n";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Silvaro %s\n", qPrintable(version));
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
    }
    if (const char *unknown = unknownArgument(argc, argv)) {
        std::fprintf(stderr, "silvaro: opzione sconosciuta: %s\n", unknown);
        std::fputs(usage, stderr);
        return 2;
    }

    // Without any display the toolkit would abort; say what is missing instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !hasPlatformOption(argc, argv)) {
        std::fputs("silvaro: nessuno schermo grafico disponibile (DISPLAY non è impostato).\n",
                   stderr);
        return 1;
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
                   ProgramState{},
                   &clock,
                   &messages,
                   &modal,
                   &files,
                   &printer,
                   &registry};
    InstanceLock lock(ctx.folder.dir(), ctx.folder.archivePath());
    int exitCode = 0;
    if (!aloneOnTheArchive(lock, ctx, &exitCode))
        return exitCode;
    InstanceChannel channel;
    channel.listen(lock.channelName());
    // Unprotected, another program may be writing: its journal and notes are its own.
    if (!ctx.state.archiveReadOnly) {
        checkLeftJournal(ctx);
        settlePictureChange(ctx);
        PhotoFiles::settle(ctx.folder);
    }
    MainWindow window(ctx);
    channel.setWindow(&window);
    window.show();
    // The window's startup has opened the archive; now the day's safety copy.
    if (!ctx.state.archiveReadOnly)
        BackupCommands::dailyCopy(ctx);
    if (ArchiveStartup(ctx).upgradeLayout())
        window.showAllPlants();
    return app.exec();
}
