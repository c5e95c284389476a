#include "archive/appfolder.h"
#include "archive/filesizelimit.h"
#include "archive/instancelock.h"
#include "archive/journalcheck.h"
#include "mainwindow/mdiform1.h"
#include "plantcard/picturechange.h"
#include "ui/qtmessages.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

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

int main(int argc, char **argv) {
    FileSizeLimit::failWritesInsteadOfDying();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Silvaro"));
    app.setApplicationVersion(QStringLiteral("%1.%2.%3")
                                  .arg(SILVARO_VERSION_MAJOR)
                                  .arg(SILVARO_VERSION_MINOR)
                                  .arg(SILVARO_VERSION_PATCH));
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
    AppContext ctx{AppFolder::ofExecutable(), ProgramState{}, &clock, &messages, &modal,
                   &files, &printer, &registry};
    InstanceLock lock(ctx.folder.dir());
    if (!aloneOnTheFolder(lock, messages))
        return 1;
    checkLeftJournal(ctx);
    PictureChange::settle(ctx.folder);
    MDIForm1 window(ctx);
    window.show();
    return app.exec();
}
