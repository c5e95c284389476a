#pragma once

#include "support/fakes.h"
#include "ui/appcontext.h"

#include <QTemporaryDir>
#include <QVariantList>
#include <memory>

class MainWindow;
class QAction;
class QWidget;

// A fresh application folder in a temporary directory (empty archive, img/nd.jpg,
// trattamenti.txt) with fake message boxes, modal runner, dialogs, clock and registry.
class TestApp {
public:
    enum class Install { Full, NoArchive };
    explicit TestApp(Install install = Install::Full);
    ~TestApp();

    QString dir() const { return m_dir.path(); }
    QString path(const QString &relative) const;
    AppContext &ctx() { return m_ctx; }
    ProgramState &state() { return m_ctx.state; }

    // The main window, made on first use (which runs its startup).
    MainWindow &main();

    FakeMessages messages;
    FakeModal modal;
    FakeFiles files;
    FakePrinter printer;
    FixedClock clock;
    FakeRegistry registry;

    // Writes rows the way another tool could: raw SQL with bound values on the archive file.
    void sql(const QString &statement, const QVariantList &binds = {});
    QVariant sqlValue(const QString &query, const QVariantList &binds = {});
    int count(const QString &table);
    // A plant with the given values (field -> value); returns its key.
    qint64 addPlant(qint64 id, const QVariantMap &values = {});
    qint64 addEvent(qint64 idtrat, qint64 plantId, const QString &intervento,
                    const QString &isoDate, const QVariantMap &values = {});

    // Makes a picture file of the given size in pixels; returns its path.
    QString makePicture(const QString &relative, int width, int height, const char *format = "JPG");

    static void createArchive(const QString &path);
    static QByteArray fileHash(const QString &path);

private:
    QTemporaryDir m_dir;
    AppContext m_ctx;
    std::unique_ptr<MainWindow> m_main;
};

// Triggers a menu action of `window` by its object name; fails the test when it is missing.
QAction *findAction(QWidget *window, const QString &objectName);
bool triggerAction(QWidget *window, const QString &objectName);
// Runs the main window's command `action` and gives the window it opened, when it is a W.
QWidget *mainWindow(TestApp &app);
template <class W> W *openWindow(TestApp &app, const QString &action) {
    if (!triggerAction(mainWindow(app), action))
        return nullptr;
    return qobject_cast<W *>(app.modal.last());
}

// Closes every top-level window, so that nothing leaks into the next test.
void closeAllWindows();
// Saves a picture of `window` as NAME.png into the folder named by SILVARO_SHOTS, when set:
// a way to look at a window as the user sees it.
void saveShot(QWidget *window, const QString &name);
