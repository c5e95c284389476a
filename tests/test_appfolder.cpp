// Which folder the program lives in: a portable folder is the executable's own; an installed
// program (templates in ../share/silvaro) lives in the user's data folder, laid out from the
// templates on the first start and never touched by the layout again.

#include "archive/appfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString templatesRel = QStringLiteral("../share/silvaro");
const QStringList templateFiles = {"dbpiante.mdb", "img/nd.jpg", "trattamenti.txt"};

void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every file below `dir` with its size, modification time and content.
QStringList snapshot(const QString &dir) {
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo fi(it.next());
        out << QDir(dir).relativeFilePath(fi.filePath()) + " " +
                   fi.lastModified().toString(Qt::ISODateWithMs) + " " +
                   (fi.isDir() ? QString("dir") : QString::fromUtf8(readFile(fi.filePath())));
    }
    out.sort();
    return out;
}

// A prefix with bin/ and, when installed, share/silvaro/ holding the templates.
struct Prefix {
    QTemporaryDir root;
    QString bin() const { return root.filePath("prefix/bin"); }
    QString templates() const { return root.filePath("prefix/share/silvaro"); }
    QString user() const { return root.filePath("home/.local/share/Silvaro"); }
    explicit Prefix(bool installed) {
        QDir().mkpath(bin());
        if (installed)
            for (const QString &f : templateFiles)
                writeFile(templates() + "/" + f, "template " + f.toUtf8());
    }
    AppFolder choose() const { return AppFolder::choose(bin(), templatesRel, user()); }
};

} // namespace

class TestAppFolder : public QObject {
    Q_OBJECT
private slots:
    void portableFolderIsTheExecutablesOwn_data();
    void portableFolderIsTheExecutablesOwn();
    void firstStartCopiesOnlyWhatIsMissing_data();
    void firstStartCopiesOnlyWhatIsMissing();
    void laidOutFolderIsNeverTouchedAgain();
    void failedCopyLeavesNoMarkAndIsRetried();
};

void TestAppFolder::portableFolderIsTheExecutablesOwn_data() {
    QTest::addColumn<bool>("withArchive");
    QTest::addColumn<QString>("relative");
    QTest::newRow("complete") << true << templatesRel;
    QTest::newRow("archive missing") << false << templatesRel;
    QTest::newRow("no installed layout known") << true << QString();
}

void TestAppFolder::portableFolderIsTheExecutablesOwn() {
    QFETCH(bool, withArchive);
    QFETCH(QString, relative);
    Prefix p(relative.isEmpty());  // templates present, but the program knows no layout
    if (withArchive)
        writeFile(p.bin() + "/dbpiante.mdb", "mine");
    const QStringList before = snapshot(p.root.path());
    QCOMPARE(AppFolder::choose(p.bin(), relative, p.user()).dir(), p.bin());
    QCOMPARE(snapshot(p.root.path()), before);
}

void TestAppFolder::firstStartCopiesOnlyWhatIsMissing_data() {
    QTest::addColumn<QStringList>("userHas");
    QTest::newRow("empty home") << QStringList();
    QTest::newRow("a portable folder moved in") << templateFiles;
    QTest::newRow("only the archive") << QStringList{"dbpiante.mdb"};
    QTest::newRow("only the types") << QStringList{"trattamenti.txt"};
}

void TestAppFolder::firstStartCopiesOnlyWhatIsMissing() {
    QFETCH(QStringList, userHas);
    Prefix p(true);
    for (const QString &f : userHas)
        writeFile(p.user() + "/" + f, "mine " + f.toUtf8());
    const QStringList templatesBefore = snapshot(p.templates());

    QCOMPARE(p.choose().dir(), p.user());
    for (const QString &f : templateFiles) {
        const QByteArray expected = (userHas.contains(f) ? "mine " : "template ") + f.toUtf8();
        QCOMPARE(readFile(p.user() + "/" + f), expected);
        QVERIFY(QFileInfo(p.user() + "/" + f).isWritable());
    }
    QVERIFY(QFile::exists(p.user() + "/" + AppFolder::layoutMarkName()));
    QCOMPARE(snapshot(p.templates()), templatesBefore);
    QCOMPARE(QDir(p.user()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                 .size(),
             4);  // the three templates and the mark: no temporary file left behind
}

void TestAppFolder::laidOutFolderIsNeverTouchedAgain() {
    Prefix p(true);
    p.choose();
    const QStringList laidOut = snapshot(p.user());
    QTest::qWait(20);  // so that a rewrite would show in the times
    p.choose();
    QCOMPARE(snapshot(p.user()), laidOut);

    // A missing or damaged archive in a laid-out folder stays as the user left it.
    QVERIFY(QFile::remove(p.user() + "/dbpiante.mdb"));
    writeFile(p.user() + "/trattamenti.txt", "");
    const QStringList damaged = snapshot(p.user());
    QCOMPARE(p.choose().dir(), p.user());
    QCOMPARE(snapshot(p.user()), damaged);
}

void TestAppFolder::failedCopyLeavesNoMarkAndIsRetried() {
    Prefix p(true);
    writeFile(p.user() + "/img", "a file where the picture folder belongs");
    QVERIFY(!AppFolder::layOut(p.templates(), p.user()));
    QVERIFY(!QFile::exists(p.user() + "/" + AppFolder::layoutMarkName()));
    QCOMPARE(readFile(p.user() + "/dbpiante.mdb"), QByteArray("template dbpiante.mdb"));

    QVERIFY(QFile::remove(p.user() + "/img"));
    QVERIFY(AppFolder::layOut(p.templates(), p.user()));
    QCOMPARE(readFile(p.user() + "/img/nd.jpg"), QByteArray("template img/nd.jpg"));
    QVERIFY(QFile::exists(p.user() + "/" + AppFolder::layoutMarkName()));
}

QTEST_GUILESS_MAIN(TestAppFolder)
#include "test_appfolder.moc"
