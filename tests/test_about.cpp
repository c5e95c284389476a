#include "about/aboutdialog.h"
#include "about/readkeyvalue.h"
#include "mainwindow/mainwindow.h"
#include "support/testapp.h"

#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {
const QString msinfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QString location = "SOFTWARE\\Microsoft\\Shared Tools Location";
const QString unavailable = "Le informazioni sul sistema non sono attualmente disponibili.";
} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { closeAllWindows(); }
    void aboutMenuOpensTheBoxWithTitleAndVersion();
    void versionNumbersHaveNoLeadingZeros();
    void registryValuesReadAsText_data();
    void registryValuesReadAsText();
    void systemInfoFindsTheToolOrSaysItIsUnavailable_data();
    void systemInfoFindsTheToolOrSaysItIsUnavailable();
};

void TestAbout::aboutMenuOpensTheBoxWithTitleAndVersion() {
    TestApp app;
    QAction *about = findAction(&app.main(), "aboutAction");
    QVERIFY(about);
    QVERIFY(!about->menu()); // a command in the bar itself, without items
    about->trigger();
    auto *box = qobject_cast<AboutDialog *>(app.modal.last());
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QString("Informazioni su Silvaro"));
    QCOMPARE(box->titleLabel->text(), QString("Silvaro"));
    QCOMPARE(box->versionLabel->text(), QString("Versione 1.0.0"));
    QCOMPARE(box->okButton->text(), QString("OK"));
    QCOMPARE(box->systemInfoButton->text(), QString("&System Info..."));
    QVERIFY(!box->seedlingPicture->pixmap().isNull());
    saveShot(box, "about");
    // On this platform there is no registry: the button says so and the box stays open.
    box->systemInfoButton->click();
    QCOMPARE(app.messages.texts(), QStringList{unavailable});
    QVERIFY(box->isVisible());
    QPointer<AboutDialog> guard(box);
    box->okButton->click();
    QTRY_VERIFY(!guard);
}

void TestAbout::versionNumbersHaveNoLeadingZeros() {
    QCOMPARE(AboutDialog::versionText(2, 3, 11), QString("Versione 2.3.11"));
    QCOMPARE(AboutDialog::versionText(1, 0, 0), QString("Versione 1.0.0"));
}

void TestAbout::registryValuesReadAsText_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text with terminating zero")
        << 1 << QByteArray("C:\\msinfo32.exe\0", 16) << "C:\\msinfo32.exe";
    QTest::newRow("text without terminating zero")
        << 1 << QByteArray("C:\\msinfo32.exe") << "C:\\msinfo32.exe";
    QTest::newRow("only the last zero goes")
        << 1 << QByteArray("ab\0\0", 4) << QString::fromLatin1("ab\0", 3);
    QTest::newRow("number") << 4 << QByteArray("\x2a\x01\0\0", 4) << "298";
    QTest::newRow("other kind keeps the caller's text") << 3 << QByteArray("xyz") << "before";
}

void TestAbout::registryValuesReadAsText() {
    QFETCH(int, type);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    FakeRegistry registry;
    registry.values.insert("K|V", {Registry::Type(type), bytes});
    QString value = "before";
    QVERIFY(readKeyValue(registry, "K", "V", value));
    QCOMPARE(value, expected);
    QVERIFY(!readKeyValue(registry, "K", "missing", value));
    QCOMPARE(value, QString());
}

void TestAbout::systemInfoFindsTheToolOrSaysItIsUnavailable_data() {
    QTest::addColumn<bool>("pathKey");
    QTest::addColumn<bool>("locationKey");
    QTest::addColumn<bool>("toolInFolder");
    QTest::addColumn<bool>("launchWorks");
    QTest::addColumn<bool>("launched");
    QTest::newRow("neither key") << false << false << false << true << false;
    QTest::newRow("path key") << true << false << false << true << true;
    QTest::newRow("location key, tool there") << false << true << true << true << true;
    QTest::newRow("location key, no tool") << false << true << false << true << false;
    QTest::newRow("launch fails") << true << false << false << false << false;
}

void TestAbout::systemInfoFindsTheToolOrSaysItIsUnavailable() {
    QFETCH(bool, pathKey);
    QFETCH(bool, locationKey);
    QFETCH(bool, toolInFolder);
    QFETCH(bool, launchWorks);
    QFETCH(bool, launched);
    TestApp app;
    if (pathKey)
        app.registry.values.insert(msinfo + "|PATH", {Registry::Type::Text, "/opt/msinfo"});
    if (locationKey)
        app.registry.values.insert(location + "|MSINFO",
                                   {Registry::Type::Text, app.dir().toLatin1()});
    if (toolInFolder) {
        QFile f(app.path("MSINFO32.EXE"));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    app.registry.launchWorks = launchWorks;
    auto *box = new AboutDialog(app.ctx());
    box->systemInfoButton->click();
    QCOMPARE(app.messages.texts().isEmpty(), launched);
    if (!launched)
        QCOMPARE(app.messages.said.first().icon, Messages::Icon::None);
    if (pathKey)
        QCOMPARE(app.registry.launched, QStringList{"/opt/msinfo"});
    if (locationKey && toolInFolder)
        QCOMPARE(app.registry.launched, QStringList{app.path("MSINFO32.EXE")});
    delete box;
}

QTEST_MAIN(TestAbout)
#include "test_about.moc"
