#include "support/testapp.h"

#include "mainwindow/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace {
int connectionCounter = 0;

struct Connection {
    QString name;
    QSqlDatabase db;
    explicit Connection(const QString &path)
        : name(QStringLiteral("test-%1").arg(++connectionCounter)) {
        db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(path));
    }
    ~Connection() {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
};
} // namespace

TestApp::TestApp(Install install) {
    QDir().mkpath(m_dir.filePath("img"));
    QFile::copy(QStringLiteral(SILVARO_RESOURCES "/nd.jpg"), m_dir.filePath("img/nd.jpg"));
    QFile::copy(QStringLiteral(SILVARO_RESOURCES "/trattamenti.txt"),
                m_dir.filePath("trattamenti.txt"));
    QFile::setPermissions(m_dir.filePath("img/nd.jpg"), QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(m_dir.filePath("trattamenti.txt"), QFile::ReadOwner | QFile::WriteOwner);
    if (install == Install::Full)
        createArchive(m_dir.filePath("dbpiante.mdb"));
    m_ctx.folder = AppFolder(m_dir.path());
    m_ctx.clock = &clock;
    m_ctx.messages = &messages;
    m_ctx.modal = &modal;
    m_ctx.files = &files;
    m_ctx.printer = &printer;
    m_ctx.registry = &registry;
}

TestApp::~TestApp() {
    for (const auto &w : modal.opened)
        if (w)
            delete w.data();
    m_main.reset();
}

QString TestApp::path(const QString &relative) const {
    return m_dir.filePath(relative);
}

MainWindow &TestApp::main() {
    if (!m_main)
        m_main = std::make_unique<MainWindow>(m_ctx);
    return *m_main;
}

void TestApp::createArchive(const QString &path) {
    QFile schema(QStringLiteral(SILVARO_RESOURCES "/schema.sql"));
    if (!schema.open(QIODevice::ReadOnly))
        qFatal("no schema");
    Connection c(path);
    QSqlQuery q(c.db);
    for (const QString &s : QString::fromUtf8(schema.readAll()).split(';', Qt::SkipEmptyParts))
        if (!s.trimmed().isEmpty() && !q.exec(s))
            qFatal("schema: %s", qPrintable(q.lastError().text()));
}

void TestApp::sql(const QString &statement, const QVariantList &binds) {
    Connection c(path("dbpiante.mdb"));
    QSqlQuery q(c.db);
    q.prepare(statement);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec())
        qFatal("sql failed: %s: %s", qPrintable(statement), qPrintable(q.lastError().text()));
}

QVariant TestApp::sqlValue(const QString &query, const QVariantList &binds) {
    Connection c(path("dbpiante.mdb"));
    QSqlQuery q(c.db);
    q.prepare(query);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec())
        qFatal("sql failed: %s: %s", qPrintable(query), qPrintable(q.lastError().text()));
    return q.next() ? q.value(0) : QVariant();
}

int TestApp::count(const QString &table) {
    return sqlValue(QStringLiteral("SELECT count(*) FROM %1").arg(table)).toInt();
}

qint64 TestApp::addPlant(qint64 id, const QVariantMap &values) {
    QStringList names{"id"};
    QVariantList binds{id};
    for (auto it = values.begin(); it != values.end(); ++it) {
        names << it.key();
        binds << it.value();
    }
    sql(QStringLiteral("INSERT INTO piante (%1) VALUES (%2)")
            .arg(names.join(','), QStringList(names.size(), "?").join(',')),
        binds);
    return id;
}

qint64 TestApp::addEvent(qint64 idtrat, qint64 plantId, const QString &intervento,
                         const QString &isoDate, const QVariantMap &values) {
    QStringList names{"idtrat", "id", "intervento", "datatratt"};
    QVariantList binds{idtrat, plantId, intervento, isoDate};
    for (auto it = values.begin(); it != values.end(); ++it) {
        names << it.key();
        binds << it.value();
    }
    sql(QStringLiteral("INSERT INTO coltivazione (%1) VALUES (%2)")
            .arg(names.join(','), QStringList(names.size(), "?").join(',')),
        binds);
    return idtrat;
}

QString TestApp::makePicture(const QString &relative, int width, int height, const char *format) {
    const QString p = path(relative);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(QColor(40, 140, 60));
    if (!img.save(p, format))
        qFatal("cannot save %s", qPrintable(p));
    return p;
}

QByteArray TestApp::fileHash(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
}

QAction *findAction(QWidget *window, const QString &objectName) {
    return window->findChild<QAction *>(objectName);
}

bool triggerAction(QWidget *window, const QString &objectName) {
    QAction *a = findAction(window, objectName);
    if (!a) {
        qWarning("no action named %s", qPrintable(objectName));
        return false;
    }
    a->trigger();
    return true;
}

void closeAllWindows() {
    for (QWidget *w : QApplication::topLevelWidgets())
        w->close();
    QCoreApplication::processEvents();
}

void saveShot(QWidget *window, const QString &name) {
    const QString dir = qEnvironmentVariable("SILVARO_SHOTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    window->grab().save(QDir(dir).filePath(name + ".png"));
}

QWidget *mainWindow(TestApp &app) {
    return &app.main();
}
