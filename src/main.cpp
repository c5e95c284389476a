#include "archive/appfolder.h"
#include "mainwindow/backupcommands.h"
#include "mainwindow/mdiform1.h"
#include "ui/qtmessages.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char **argv) {
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
    MDIForm1 window(ctx);
    window.show();
    // The window's startup has opened the archive; now the day's safety copy.
    BackupCommands::dailyCopy(ctx);
    return app.exec();
}
