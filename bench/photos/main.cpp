// Times the photo timeline of one plant: opened with no thumbnails kept (each photo read at
// thumbnail size, off the window's thread, while a timer checks that the window answers),
// opened again with them kept, and one photo read whole for comparison.
//   silvaro-bench-photos [--photos 500] [--width 6000 --height 4000] [--runs 3]
#include "archive/photofiles.h"
#include "mainwindow/mainwindow.h"
#include "photohistory/photohistorydialog.h"
#include "support/phonephoto.h"
#include "support/testapp.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {
double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    return v.isEmpty()    ? 0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int option(const QStringList &args, const QString &name, int fallback) {
    const int at = int(args.indexOf(name));
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : fallback;
}

// Opens the timeline and waits until every thumbnail is shown; the longest gap between two
// ticks of a 5 ms timer meanwhile is the window's worst stall.
double openTimeline(TestApp &app, double *stall) {
    QElapsedTimer clock, tick;
    double worst = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        worst = std::max(worst, double(tick.nsecsElapsed()) / 1e6);
        tick.restart();
    });
    clock.start();
    tick.start();
    timer.start();
    auto *history = new PhotoHistoryDialog(app.ctx(), 1, {});
    history->show();
    QSignalSpy done(history, &PhotoHistoryDialog::thumbnailsLoaded);
    while (done.isEmpty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    timer.stop();
    delete history;
    if (stall)
        *stall = std::max(*stall, worst);
    return ms;
}
} // namespace

int main(int argc, char **argv) {
    QApplication qapp(argc, argv);
    const QStringList args = qapp.arguments();
    const int photos = option(args, "--photos", 500);
    const int width = option(args, "--width", 6000);
    const int height = option(args, "--height", 4000);
    const int runs = std::max(1, option(args, "--runs", 3));
    TestApp app;
    app.addPlant(1);
    // One camera-sized photo, stored under every name by hard links: each name is a photo
    // of its own to the timeline and its thumbnails, without gigabytes of copies.
    const QString source = app.path("camera/IMG_0001.JPG");
    QDir().mkpath(app.path("camera"));
    if (!PhonePhoto::write(source, PhonePhoto::quarters(width, height), 6, 92)) {
        std::fprintf(stderr, "cannot write the photo\n");
        return 1;
    }
    QString error;
    if (!PhotoFiles(app.ctx().folder).add(1, source, QDate(2020, 1, 1), QString(), &error)) {
        std::fprintf(stderr, "cannot add the photo: %s\n", qPrintable(error));
        return 1;
    }
    const QString first = app.path("img/1/foto-20200101-1.jpg");
    for (int i = 2; i <= photos; ++i) {
        const QString name = QStringLiteral("foto-%1.jpg").arg(i);
        if (::link(QFile::encodeName(first).constData(),
                   QFile::encodeName(app.path("img/1/" + name)).constData()) != 0) {
            std::fprintf(stderr, "cannot link %s\n", qPrintable(name));
            return 1;
        }
        app.sql("INSERT INTO foto (idfoto, id, data, file) VALUES (?, 1, ?, ?)",
                {i, QDate(2020, 1, 1).addDays(i).toString(Qt::ISODate), name});
    }
    const QString thumbnails = PhotoFiles(app.ctx().folder).thumbnailFolder(1);
    QList<double> cold, warm, full;
    double coldStall = 0, warmStall = 0;
    for (int r = 0; r < runs; ++r) {
        QDir(thumbnails).removeRecursively();
        cold << openTimeline(app, &coldStall);
        std::fprintf(stderr, "cold run %d: %.0f ms\n", r + 1, cold.last());
    }
    openTimeline(app, nullptr); // unmeasured
    for (int r = 0; r < runs; ++r)
        warm << openTimeline(app, &warmStall);
    for (int r = 0; r < runs + 1; ++r) {
        QElapsedTimer t;
        t.start();
        QImageReader reader(first);
        reader.setAutoTransform(true);
        const QImage image = reader.read();
        if (image.isNull())
            return 1;
        if (r > 0)
            full << double(t.nsecsElapsed()) / 1e6;
    }
    std::printf("timeline_cold median_ms=%.1f stall_max_ms=%.1f\n", median(cold), coldStall);
    std::printf("timeline_warm median_ms=%.1f photos=%d limit_ms=300 stall_max_ms=%.1f\n",
                median(warm), photos, warmStall);
    std::printf("full_decode median_ms=%.1f megapixels=%.1f\n", median(full),
                double(width) * height / 1e6);
    return 0;
}
