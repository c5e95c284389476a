// Pictures as phones take them: turned upright by their orientation tag in every window,
// decoded no larger than the frame paints them, painted at the screen's pixel ratio, printed
// from the picture file, and offered by the picture choice whatever their extension.
#include "careevent/careeventdialog.h"
#include "mainwindow/mainwindow.h"
#include "plantcard/plantcarddialog.h"
#include "printing/cardprintdialog.h"
#include "printing/cardviewdialog.h"
#include "printing/richtextbox.h"
#include "support/phonephoto.h"
#include "support/testapp.h"
#include "ui/widgets/framefit.h"
#include "ui/widgets/picturebox.h"
#include "ui/lists/reportlist.h"
#include "ui/lists/reportlistmodel.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>
#include <cmath>

namespace {

const qint64 clockKey = 712202636000; // the test clock's key

void clickRow(MainWindow &w, int position) {
    const QModelIndex idx = w.listView->list()->index(position - 1, 1);
    QTest::mouseClick(w.listView->viewport(), Qt::LeftButton, {},
                      w.listView->visualRect(idx).center());
}

MainWindow &shownMain(TestApp &app) {
    MainWindow &w = app.main();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        qWarning("the main window did not show");
    return w;
}

// Plant 1, whose picture is `upright` written as a phone with orientation `tag` would.
QString phonePlant(TestApp &app, const QImage &upright, int tag) {
    app.addPlant(1, {{"specie", "Ficus"}, {"img", "telefono.jpg"}});
    QDir().mkpath(app.path("img/1"));
    const QString path = app.path("img/1/telefono.jpg");
    if (!PhonePhoto::write(path, upright, tag))
        qWarning("cannot write %s", qPrintable(path));
    return path;
}

bool near(const QColor &a, const QColor &b) {
    return std::abs(a.red() - b.red()) < 60 && std::abs(a.green() - b.green()) < 60 &&
           std::abs(a.blue() - b.blue()) < 60;
}

// Where the quarters of PhonePhoto::quarters() show in a frame painted from its top left.
QString quartersUpright(const QImage &frame, const QSize &painted) {
    const QColor expected[] = {{220, 30, 30}, {30, 180, 30}, {30, 30, 220}, {230, 210, 20}};
    for (int q = 0; q < 4; ++q) {
        const QPoint at(int(painted.width() * (q % 2 ? 0.75 : 0.25)),
                        int(painted.height() * (q / 2 ? 0.75 : 0.25)));
        const QColor got = frame.pixelColor(at);
        if (!near(got, expected[q]))
            return QStringLiteral("quarter %1 at %2,%3 is %4")
                .arg(q)
                .arg(at.x())
                .arg(at.y())
                .arg(got.name());
    }
    return {};
}

// The largest difference between neighbouring pixels along a row: fine stripes that were
// kept show nearly black against white, blurred ones grey against grey.
int contrast(const QImage &img, int y, int from, int to) {
    int most = 0;
    for (int x = from; x < to; ++x)
        most = std::max(most, std::abs(qGray(img.pixel(x, y)) - qGray(img.pixel(x + 1, y))));
    return most;
}

QString scaleName() {
    return QStringLiteral("x%1").arg(qApp->devicePixelRatio());
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { closeAllWindows(); }

    void sidePanelShowsPhonePhotosUpright_data();
    void sidePanelShowsPhonePhotosUpright();
    void everyWindowShowsAPhonePhotoUpright();
    void bigPhotoIsDecodedSmallAndPaintedAsBefore();
    void framesPaintAtThePixelRatio();
    void printedPictureIsReadFromTheFile();
    void pngIsChosenAndCopied();
};

void TestPictures::sidePanelShowsPhonePhotosUpright_data() {
    QTest::addColumn<int>("tag");
    QTest::addColumn<QSize>("upright");
    QTest::newRow("1, upright") << 1 << QSize(600, 400);
    QTest::newRow("3, upside down") << 3 << QSize(600, 400);
    QTest::newRow("6, turned right") << 6 << QSize(600, 400);
    QTest::newRow("8, turned left") << 8 << QSize(600, 400);
    QTest::newRow("6, portrait") << 6 << QSize(300, 450);
}

void TestPictures::sidePanelShowsPhonePhotosUpright() {
    QFETCH(int, tag);
    QFETCH(QSize, upright);
    TestApp app;
    phonePlant(app, PhonePhoto::quarters(upright.width(), upright.height()), tag);
    MainWindow &w = shownMain(app);
    clickRow(w, 1);
    QCOMPARE(w.heldPicture.size(), upright);
    const QSize painted = FrameFit::paintedSize(upright, w.pictureFrame->size()).toSize();
    QCOMPARE(w.pictureFrame->paintedSize(), painted);
    const QString wrong = quartersUpright(w.pictureFrame->image(), painted);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void TestPictures::everyWindowShowsAPhonePhotoUpright() {
    TestApp app;
    phonePlant(app, PhonePhoto::quarters(1600, 1200), 6);
    MainWindow &main = shownMain(app);
    clickRow(main, 1);
    saveShot(&main, "phone-main-" + scaleName());

    auto *card = openWindow<PlantCardDialog>(app, "editCardAction");
    QVERIFY(card);
    QCOMPARE(card->heldPicture.size(), QSize(1600, 1200));
    QString wrong =
        quartersUpright(card->picturePreview->image(), card->picturePreview->paintedSize());
    QVERIFY2(wrong.isEmpty(), qPrintable("plant card: " + wrong));
    saveShot(card, "phone-plantcard-" + scaleName());
    card->close();

    app.state().idtratsel = 0;
    main.newEvent();
    auto *event = qobject_cast<CareEventDialog *>(app.modal.last());
    QVERIFY(event);
    wrong = quartersUpright(event->pictureFrame->image(), event->pictureFrame->paintedSize());
    QVERIFY2(wrong.isEmpty(), qPrintable("care event: " + wrong));
    saveShot(event, "phone-careevent-" + scaleName());
    event->close();

    auto *view = openWindow<CardViewDialog>(app, "showCardAction");
    QVERIFY(view);
    QTRY_VERIFY(view->cardBox->toPlainText().contains(QChar::ObjectReplacementCharacter));
    const QTextBlock second = view->cardBox->document()->findBlockByNumber(1);
    const QString name = second.begin().fragment().charFormat().toImageFormat().name();
    QImage pasted = qvariant_cast<QImage>(
        view->cardBox->document()->resource(QTextDocument::ImageResource, QUrl(name)));
    pasted =
        pasted.scaled(main.pictureFrame->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    wrong = quartersUpright(pasted, main.pictureFrame->paintedSize());
    QVERIFY2(wrong.isEmpty(), qPrintable("card: " + wrong));
    saveShot(view, "phone-card-" + scaleName());
}

void TestPictures::bigPhotoIsDecodedSmallAndPaintedAsBefore() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus"}, {"img", "grande.jpg"}});
    QDir().mkpath(app.path("img/1"));
    const QString path = app.path("img/1/grande.jpg");
    QVERIFY(PhonePhoto::quarters(6000, 4000).save(path, "JPG", 85));
    MainWindow &w = shownMain(app);
    clickRow(w, 1);

    QCOMPARE(w.heldPicture.size(), QSize(6000, 4000));
    // Landscape: the frame's width, and two thirds of it high (2895 by 1930 twips).
    const QSize painted = w.pictureFrame->paintedSize();
    QCOMPARE(painted, FrameFit::paintedSize(QSizeF(6000, 4000), w.pictureFrame->size()).toSize());
    QCOMPARE(painted.width(), w.pictureFrame->width());
    QVERIFY(std::abs(painted.height() - w.pictureFrame->width() * 2 / 3) <= 1);
    // Decoded at what the frame paints, not at 6000 by 4000.
    const qreal dpr = w.pictureFrame->devicePixelRatioF();
    QVERIFY2(w.heldPicture.pixels().width() <= std::ceil(painted.width() * dpr) + 1,
             qPrintable(QString::number(w.heldPicture.pixels().width())));

    // The same frame as one painted from the whole picture.
    PictureBox whole;
    whole.resize(w.pictureFrame->size());
    whole.paintFitted(PictureBox::load(path));
    QCOMPARE(whole.paintedSize(), painted);
    const QImage a = whole.image(), b = w.pictureFrame->image();
    QCOMPARE(a.size(), b.size());
    qint64 difference = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            difference += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    QVERIFY2(difference < 6LL * a.width() * a.height(), qPrintable(QString::number(difference)));
}

// Stripes one pixel wide in a picture twice the frame's size: only a frame painted at twice
// the pixels keeps them.
void TestPictures::framesPaintAtThePixelRatio() {
    TestApp app;
    QImage stripes(386, 406, QImage::Format_RGB32);
    for (int x = 0; x < stripes.width(); ++x)
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const QString path = app.path("righe.png");
    QVERIFY(stripes.save(path, "PNG"));
    PictureBox box;
    box.resize(193, 203);
    box.paintFitted(box.hold(path));
    QCOMPARE(box.paintedSize(), QSize(193, 203));

    const QImage twice = box.image(2);
    QCOMPARE(twice.size(), QSize(386, 406));
    QVERIFY(contrast(twice, 100, 10, 30) > 200);
    QVERIFY(contrast(box.image(1), 100, 10, 30) < 60);
    // The bitmap of the frame keeps the frame's own size at any scale.
    QCOMPARE(box.image().size(), QSize(193, 203));

    // On the screen: as many pixels as the screen has.
    const qreal dpr = box.devicePixelRatioF();
    const QImage shown = box.grab().toImage();
    QCOMPARE(shown.size(), QSize(std::lround(193 * dpr), std::lround(203 * dpr)));
    if (dpr == 2)
        QVERIFY(contrast(shown, 100, 10, 30) > 200);
}

void TestPictures::printedPictureIsReadFromTheFile() {
    if (QStandardPaths::findExecutable("pdfimages").isEmpty())
        QSKIP("pdfimages is needed to read the printout");
    TestApp app;
    phonePlant(app, PhonePhoto::quarters(2400, 3200), 8);
    MainWindow &main = shownMain(app);
    clickRow(main, 1);
    QTemporaryDir out;
    app.printer.pdfPath = out.filePath("scheda.pdf");
    QVERIFY(openWindow<CardPrintDialog>(app, "printAction"));
    QTRY_VERIFY(app.modal.last() == nullptr);
    QVERIFY(app.messages.said.isEmpty());

    // page num type width height color comp bpc enc interp object ID x-ppi y-ppi ...
    QProcess list;
    list.start("pdfimages", {"-list", app.printer.pdfPath});
    QVERIFY(list.waitForFinished(30000));
    const QStringList lines = QString::fromUtf8(list.readAllStandardOutput()).split('\n');
    QCOMPARE(lines.size() >= 3, true);
    const QStringList image = lines.at(2).simplified().split(' ');
    QVERIFY2(image.size() > 13, qPrintable(lines.join('\n')));
    const int width = image.at(3).toInt();
    const int ppi = image.at(12).toInt();
    QVERIFY2(std::abs(ppi - 300) <= 3, qPrintable(lines.join('\n')));
    // Where and as large as the side panel's frame: its width in inches at the screen's DPI.
    const double inches = double(main.pictureFrame->width()) / main.logicalDpiX();
    QVERIFY2(std::abs(width / double(ppi) - inches) < 0.03, qPrintable(lines.join('\n')));
}

void TestPictures::pngIsChosenAndCopied() {
    TestApp app;
    auto *w = openWindow<PlantCardDialog>(app, "newCardAction");
    QVERIFY(w);
    app.files.next = app.makePicture("foto/Pianta.PNG", 40, 30, "PNG");
    const QByteArray chosen = TestApp::fileHash(app.files.next);
    QTest::mouseClick(w->browseButton, Qt::LeftButton);
    QCOMPARE(w->stagedPictureName(), QStringLiteral("Pianta.PNG"));
    QCOMPARE(w->picturePreview->paintedSize(), QSize(40, 30));
    QTest::mouseClick(w->okButton, Qt::LeftButton);
    QCOMPARE(app.sqlValue("SELECT img FROM piante"), QVariant("Pianta.PNG"));
    QCOMPARE(TestApp::fileHash(app.path(QStringLiteral("img/%1/Pianta.PNG").arg(clockKey))),
             chosen);
}

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
