#include "archive/archive.h"
#include "archive/backupstore.h"
#include "archive/csvexport.h"
#include "archive/photoarchive.h"
#include "archive/photofiles.h"
#include "mainwindow/archivestartup.h"
#include "mainwindow/mainwindow.h"
#include "photohistory/comparepane.h"
#include "photohistory/exifdate.h"
#include "photohistory/photohistorydialog.h"
#include "photohistory/thumbnailcache.h"
#include "support/phonephoto.h"
#include "support/testapp.h"

#include <QBuffer>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTransform>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// A JPEG as a camera writes it: the pixels turned as the sensor saw them, an Orientation
// that turns them upright and a DateTimeOriginal, in either byte order.
QByteArray cameraJpeg(const QImage &upright, int orientation, const QByteArray &taken, bool big) {
    const int stored = orientation == 3 ? 180 : orientation == 6 ? -90 : orientation == 8 ? 90 : 0;
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    upright.transformed(QTransform().rotate(stored)).save(&buffer, "JPG", 90);
    QByteArray t;
    auto u16 = [&](int v) {
        t += char(big ? v >> 8 : v);
        t += char(big ? v : v >> 8);
    };
    auto u32 = [&](int v) { big ? (u16(v >> 16), u16(v)) : (u16(v), u16(v >> 16)); };
    t += big ? "MM" : "II";
    u16(42), u32(8);
    u16(2); // IFD0 at 8: two entries
    u16(0x0112), u16(3), u32(1), u16(orientation), u16(0);
    u16(0x8769), u16(4), u32(1), u32(38); // the EXIF directory
    u32(0);
    u16(1); // EXIF directory at 38
    u16(0x9003), u16(2), u32(20), u32(56);
    u32(0);
    t += taken.leftJustified(19, ' ', true) + '\0';
    const QByteArray exif = QByteArray("Exif\0\0", 6) + t;
    const int length = int(exif.size()) + 2;
    return jpeg.left(2) + QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length) + exif +
           jpeg.mid(2);
}

bool write(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The photo files in a plant's folder, and the files the rows name.
QStringList filesIn(const QString &folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}
QStringList namedFiles(TestApp &app) {
    QStringList files;
    if (const auto photos = PhotoArchive(app.path("dbpiante.mdb")).photos(1))
        for (const Photo &p : *photos)
            files << p.file;
    files.sort();
    return files;
}

// The archive as an older program left it: no photos table, layout 0.
void makeLayoutZero(TestApp &app) {
    app.sql("DROP TABLE foto");
    app.sql("DROP TABLE IF EXISTS promemoria");
    app.sql("PRAGMA user_version = 0");
}
} // namespace

class TestPhotoHistory : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { closeAllWindows(); }
    void cameraDateAndOrientationAreRead_data();
    void cameraDateAndOrientationAreRead();
    void thumbnailIsMadeAgainWhenMissingStaleOrDamaged_data();
    void thumbnailIsMadeAgainWhenMissingStaleOrDamaged();
    void killsDuringAddsLeaveRowsAndFilesAgreeing();
    void deletingAPlantRemovesItsPhotos_data();
    void deletingAPlantRemovesItsPhotos();
    void layoutZeroArchiveHasNoPhotosUntilUpgraded();
    void timelineShowsPhotosOldestFirstAndTwoSideBySide();
};

void TestPhotoHistory::cameraDateAndOrientationAreRead_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QByteArray>("taken");
    QTest::addColumn<bool>("big");
    QTest::addColumn<QDate>("date"); // invalid: the file's own date
    QTest::newRow("upright, Intel order")
        << 1 << QByteArray("2024:04:12 09:30:00") << false << QDate(2024, 4, 12);
    QTest::newRow("on its side, Motorola")
        << 6 << QByteArray("2023:10:01 18:00:05") << true << QDate(2023, 10, 1);
    QTest::newRow("other side") << 8 << QByteArray("2022:01:31 00:00:00") << false
                                << QDate(2022, 1, 31);
    QTest::newRow("upside down, no clock")
        << 3 << QByteArray("0000:00:00 00:00:00") << true << QDate();
}

void TestPhotoHistory::cameraDateAndOrientationAreRead() {
    QFETCH(int, orientation);
    QFETCH(QByteArray, taken);
    QFETCH(bool, big);
    QFETCH(QDate, date);
    QTemporaryDir dir;
    const QString path = dir.filePath("p.jpg");
    QVERIFY(write(path, cameraJpeg(PhonePhoto::quarters(400, 200), orientation, taken, big)));
    QCOMPARE(ExifDate::taken(path), date.isValid() ? date : QFileInfo(path).lastModified().date());
    // Upright, and read at the size asked for: red stays top left, yellow bottom right.
    for (const QSize bound : {QSize(100, 100), QSize(1000, 1000)}) {
        const QImage image = ThumbnailCache::decode(path, bound);
        QCOMPARE(image.size(), bound.width() < 400 ? QSize(100, 50) : QSize(400, 200));
        const QColor topLeft = image.pixelColor(image.width() / 40, image.height() / 40);
        const QColor bottomRight =
            image.pixelColor(image.width() * 39 / 40, image.height() * 39 / 40);
        QVERIFY2(topLeft.red() > 150 && topLeft.green() < 100, qPrintable(topLeft.name()));
        QVERIFY2(bottomRight.red() > 150 && bottomRight.green() > 150,
                 qPrintable(bottomRight.name()));
    }
}

void TestPhotoHistory::thumbnailIsMadeAgainWhenMissingStaleOrDamaged_data() {
    QTest::addColumn<QString>("before");
    QTest::newRow("missing") << "missing";
    QTest::newRow("damaged") << "damaged";
    QTest::newRow("stale: the photo replaced") << "stale";
    QTest::newRow("kept") << "kept";
}

void TestPhotoHistory::thumbnailIsMadeAgainWhenMissingStaleOrDamaged() {
    QFETCH(QString, before);
    QTemporaryDir dir;
    const QString photo = dir.filePath("foto.jpg");
    QVERIFY(PhonePhoto::quarters(600, 300).save(photo));
    ThumbnailCache cache(dir.filePath(".miniature"), 64);
    const QString first = cache.cachedPath(photo);
    QCOMPARE(cache.thumbnail(photo).size(), QSize(64, 32));
    QVERIFY(QFileInfo::exists(first));
    QSize expected(64, 32);
    if (before == "missing") {
        QFile::remove(first);
    } else if (before == "damaged") {
        QVERIFY(write(first, "not a picture"));
    } else if (before == "stale") {
        QVERIFY(PhonePhoto::quarters(300, 600).save(photo));
        QFile f(photo);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(60),
                              QFileDevice::FileModificationTime));
        expected = QSize(32, 64);
    }
    const QDateTime written = QFileInfo(first).lastModified();
    QCOMPARE(cache.thumbnail(photo).size(), expected);
    const QString now = cache.cachedPath(photo);
    QCOMPARE(QImage(now).size(), expected);
    // Only the thumbnail of the photo as it is now is kept.
    QCOMPARE(filesIn(dir.filePath(".miniature")), QStringList{QFileInfo(now).fileName()});
    if (before == "kept")
        QCOMPARE(QFileInfo(now).lastModified(), written);
}

// A child adds photos one after the other and is killed at random moments; after each kill
// and the next start's settle, the files in the plant's folder are exactly those the rows
// name, and nothing half done is left. SILVARO_PHOTO_KILLS sets the number of kills.
void TestPhotoHistory::killsDuringAddsLeaveRowsAndFilesAgreeing() {
    const int kills = qEnvironmentVariableIntValue("SILVARO_PHOTO_KILLS") > 0
                          ? qEnvironmentVariableIntValue("SILVARO_PHOTO_KILLS")
                          : 12;
    TestApp app;
    app.addPlant(1);
    QByteArray bytes(3 << 20, '\0');
    QRandomGenerator random(quint32(qEnvironmentVariableIntValue("SILVARO_CRASH_SEED") + 26));
    for (char &c : bytes)
        c = char(random.bounded(256));
    const QString source = app.path("camera/IMG_0001.JPG");
    QVERIFY(write(source, bytes));
    int added = 0, interrupted = 0;
    for (int k = 0; k < kills; ++k) {
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            PhotoFiles files(app.ctx().folder);
            QString error;
            for (int n = 0; n < 200; ++n)
                files.add(1, source, QDate(2024, 5, 1), QString(), &error);
            ::_exit(0);
        }
        QTest::qSleep(int(random.bounded(30u, 300u)));
        ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        interrupted += QFileInfo::exists(app.path("img/.silvaro-nuova-foto"));
        PhotoFiles::settle(app.ctx().folder); // as the next start does
        QVERIFY(!QFileInfo::exists(app.path("img/.silvaro-nuova-foto")));
        QCOMPARE(filesIn(app.path("img/1")), namedFiles(app));
        for (const QString &name : namedFiles(app))
            QCOMPARE(QFileInfo(app.path("img/1/" + name)).size(), bytes.size());
    }
    added = int(namedFiles(app).size());
    qInfo("photo kills=%d added=%d interrupted_adds=%d", kills, added, interrupted);
    QVERIFY(added > 0);
    QCOMPARE(QFile(source).size(), bytes.size()); // copied, never moved
}

void TestPhotoHistory::deletingAPlantRemovesItsPhotos_data() {
    QTest::addColumn<bool>("table");
    QTest::newRow("with photos") << true;
    QTest::newRow("archive without the table") << false;
}

void TestPhotoHistory::deletingAPlantRemovesItsPhotos() {
    QFETCH(bool, table);
    TestApp app;
    app.addPlant(1, {{"identificazione", "acero"}});
    app.addPlant(2, {{"identificazione", "pino"}});
    app.addEvent(10, 1, "Potatura", "2024-05-01");
    PhotoFiles files(app.ctx().folder);
    const QString source = app.makePicture("camera/a.jpg", 40, 30);
    QString error;
    if (table) {
        for (qint64 plant : {1, 1, 2})
            QVERIFY2(files.add(plant, source, QDate(2024, 5, 1), "n", &error), qPrintable(error));
        ThumbnailCache(files.thumbnailFolder(1), 32)
            .thumbnail(app.path("img/1/foto-20240501-1.jpg"));
    } else {
        makeLayoutZero(app);
    }
    app.state().selectPlant(1, 0);
    app.messages.answerNext(true);
    QVERIFY(triggerAction(mainWindow(app), "deletePlantAction"));
    QCOMPARE(app.count("piante"), 1);
    QCOMPARE(app.count("coltivazione"), 0);
    if (table) {
        QCOMPARE(app.sqlValue("SELECT group_concat(id) FROM foto").toString(), QString("2"));
        QCOMPARE(filesIn(app.path("img/1")), QStringList());
        QCOMPARE(filesIn(files.thumbnailFolder(1)), QStringList());
        QCOMPARE(filesIn(app.path("img/2")).size(), 1);
    }
}

// An archive copied as an older program left it: reads see no photos, writes are refused
// with the reason, the export still writes foto.csv; after the startup upgrade photos go in.
void TestPhotoHistory::layoutZeroArchiveHasNoPhotosUntilUpgraded() {
    TestApp app;
    app.addPlant(1, {{"identificazione", "ficus"}});
    app.addEvent(10, 1, "Rinvaso", "2023-03-01");
    makeLayoutZero(app);
    const QString archive = app.path("dbpiante.mdb");
    const QString copy = app.path("copia.mdb");
    QVERIFY(QFile::copy(archive, copy));
    PhotoArchive photos(archive);
    QCOMPARE(photos.photos(1)->size(), 0);
    QVERIFY(!photos.insert({0, 1, QDate(2024, 1, 1), "x.jpg", {}}, {}, nullptr));
    QVERIFY(photos.error().contains("riavviare"));
    QTemporaryDir out;
    QVERIFY(CsvExport(archive).write(out.path()));
    QFile csv(out.filePath("foto.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), QByteArray("\xEF\xBB\xBFidfoto;id;data;file;nota\r\n"));
    QVERIFY(BackupStore(app.ctx().folder).checkCandidate(copy));

    QCOMPARE(BackupStore(app.ctx().folder).makeDailyCopy(app.clock.current.date()),
             BackupStore::Daily::Made);
    QVERIFY(ArchiveStartup(app.ctx()).upgradeLayout());
    QCOMPARE(app.sqlValue("PRAGMA user_version").toInt(), 2);
    QCOMPARE(app.count("piante"), 1);
    QCOMPARE(app.count("coltivazione"), 1);
    QString error;
    QVERIFY2(
        PhotoFiles(app.ctx().folder)
            .add(1, app.makePicture("c/a.jpg", 20, 20), QDate(2024, 2, 3), "nota; \"sì\"", &error),
        qPrintable(error));
    QVERIFY(CsvExport(archive).write(out.path()));
    csv.close();
    QVERIFY(csv.open(QIODevice::ReadOnly)); // the new file, renamed over the old
    QCOMPARE(csv.readAll().split('\n').value(1),
             QByteArray("1;1;03/02/2024;foto-20240203-1.jpg;\"nota; \"\"sì\"\"\"\r"));
    QVERIFY(BackupStore(app.ctx().folder).checkCandidate(archive));
}

void TestPhotoHistory::timelineShowsPhotosOldestFirstAndTwoSideBySide() {
    TestApp app;
    app.addPlant(1, {{"identificazione", "acero"}});
    app.addEvent(10, 1, "Potatura", "2024-05-01");
    app.addEvent(11, 1, "Rinvaso", "2024-05-01");
    const QStringList sources = {app.path("camera/spring.jpg"), app.path("camera/autumn.jpg"),
                                 app.path("camera/old.jpg")};
    QVERIFY(write(sources[0],
                  cameraJpeg(PhonePhoto::quarters(600, 800), 6, "2024:05:01 10:00:00", false)));
    QVERIFY(write(sources[1],
                  cameraJpeg(PhonePhoto::quarters(800, 600), 1, "2024:10:20 10:00:00", true)));
    QVERIFY(write(sources[2],
                  cameraJpeg(PhonePhoto::quarters(800, 600), 1, "2023:05:02 10:00:00", true)));
    app.state().selectPlant(1, 0);
    app.main().openPhotoHistory(1, &app.main());
    auto *history = qobject_cast<PhotoHistoryDialog *>(app.modal.last());
    QVERIFY(history);
    app.files.nextFiles = sources;
    history->addButton->click();
    QTRY_COMPARE(history->thumbnailsShown(), 3);
    QCOMPARE(history->timeline->count(), 3);
    QStringList texts;
    for (int i = 0; i < 3; ++i)
        texts << history->timeline->item(i)->text().replace('\n', '|');
    QCOMPARE(texts, (QStringList{"02/05/2023", "01/05/2024|Quel giorno: Potatura, Rinvaso",
                                 "20/10/2024"}));
    QCOMPARE(filesIn(app.path("camera")).size(), 3); // the user's own files stay
    // Last spring beside this spring, each upright and read at its pane's size.
    history->timeline->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    history->timeline->setCurrentRow(1, QItemSelectionModel::Select);
    QTRY_VERIFY(history->leftPane->sharp() && history->rightPane->sharp());
    QCOMPARE(history->leftPane->photo(), PhotoFiles(app.ctx().folder).path(history->photos()[0]));
    const QImage right = history->rightPane->shown();
    QVERIFY(right.height() > right.width()); // the photo on its side stands upright
    saveShot(history, "photohistory");
    // The card takes the current photo by the same safe change as the editor's.
    history->useButton->click();
    QCOMPARE(app.sqlValue("SELECT img FROM piante").toString(),
             QString("scheda-foto-20240501-1.jpg"));
    QVERIFY(QFileInfo::exists(app.path("img/1/scheda-foto-20240501-1.jpg")));
    // Deleting asks first; the row and the file go.
    app.messages.answerNext(true);
    history->deleteButton->click();
    QCOMPARE(history->timeline->count(), 2);
    QVERIFY(!QFileInfo::exists(app.path("img/1/foto-20240501-1.jpg")));
}

QTEST_MAIN(TestPhotoHistory)
#include "test_photohistory.moc"
