// silvaro-bench: how long the main window's list fills take on a big archive, against the
// fastest single statement that computes the same derived columns; and how long a click on a
// plant with a big phone photo takes until its picture is painted, against decoding the
// photo whole.
#include "derivedcolumns.h"
#include "duecarelimit.h"
#include "syntheticarchive.h"

#include "archive/archive.h"
#include "archive/backupstore.h"
#include "archive/csvexport.h"
#include "archive/timestampkey.h"
#include "duecare/duecaredialog.h"
#include "duecare/duecaremodel.h"
#include "archive/csvimport.h"
#include "archive/fieldtable.h"
#include "mainwindow/mainwindow.h"
#include "printing/labelcomposer.h"
#include "printing/labelfields.h"
#include "support/phonephoto.h"
#include "support/testapp.h"
#include "ui/widgets/picturebox.h"
#include "ui/platform/printchooser.h"
#include "ui/lists/reportlist.h"
#include "ui/lists/reportlistmodel.h"

#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QImageReader>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/resource.h>

namespace {

int runs = 7;

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    const auto n = v.size();
    return n % 2 ? v.at(n / 2) : (v.at(n / 2 - 1) + v.at(n / 2)) / 2;
}

// Processor time of the finished child processes (the sqlite3 shell).
double childCpuMs() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Milliseconds of each run of one piece of work, wall clock and processor time. A run
// includes the events the work leaves behind (the list's deferred layout and the repaint of
// the window): that is when the user sees the list.
// With `list`, a run lasts until every cell of the list is known (cells may be read after the
// fill returns). `stall` is the longest time the event loop did not answer a timer that
// wants to run every millisecond, during the run.
struct Series {
    QList<double> wall, cpu, stall;
    const ReportListModel *list = nullptr;
    void run(const std::function<void()> &work) {
        QCoreApplication::processEvents();
        QElapsedTimer t, sinceTick;
        double longest = 0;
        QTimer tick;
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        const double c0 = cpuMs();
        t.start();
        sinceTick.start();
        tick.start();
        work();
        QCoreApplication::processEvents();
        while (list && !list->complete())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        longest = std::max(longest, sinceTick.nsecsElapsed() / 1e6);
        tick.stop();
        wall << t.nsecsElapsed() / 1e6;
        cpu << cpuMs() - c0;
        stall << longest;
    }
};

// The print dialog, as the user sees it open: the time it is reached, then cancelled.
class TimedPrintDialog : public PrintChooser {
public:
    QElapsedTimer since;
    double reachedMs = -1;
    bool choose(QPrinter &, QWidget *, bool) override {
        reachedMs = since.nsecsElapsed() / 1e6;
        return false;
    }
};

long peakKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

bool positiveArgument(const QCommandLineParser &p, const QString &name, int *value) {
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < 0) {
        std::fprintf(stderr, "--%s needs a whole number, not \"%s\"\n", qPrintable(name),
                     qPrintable(p.value(name)));
        return false;
    }
    *value = v;
    return true;
}

// The event list of the plant with the long history: every event, newest first.
int checkEvents(const ReportListModel &list, bool listed, int events) {
    constexpr int dateItem = 4; // yyyy/mm/dd
    int failures = 0;
    if (!listed || list.rowCount() != events) {
        std::fprintf(stderr, "showEventsOfSelectedPlant listed %d rows, expected %d\n",
                     list.rowCount(), events);
        ++failures;
    }
    for (int i = 1; i < list.rowCount(); ++i)
        if (list.text(i - 1, dateItem) < list.text(i, dateItem)) {
            std::fprintf(
                stderr, "showEventsOfSelectedPlant: row %d (%s) is older than row %d (%s)\n", i,
                qPrintable(list.text(i - 1, dateItem)), i + 1, qPrintable(list.text(i, dateItem)));
            ++failures;
            break;
        }
    return failures;
}

// Runs the sqlite3 shell on the archive with `input` on its standard input.
QList<double> shellCpu; // processor time of each shell run

bool sqliteShell(const QString &program, const QStringList &args, const QByteArray &input) {
    const double c0 = childCpuMs();
    struct Account {
        double c0;
        ~Account() { shellCpu << childCpuMs() - c0; }
    } account{c0};
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted())
        return false;
    p.write(input);
    p.closeWriteChannel();
    const bool ok =
        p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        std::fprintf(stderr, "%s %s failed: %s\n", qPrintable(program), qPrintable(args.join(' ')),
                     p.readAllStandardError().constData());
    return ok;
}

// A picture with the fine grain of a photograph, which makes its JPEG as large as a phone's
// (several megabytes): decoding time goes with the size of the file.
QImage photoLike(int width, int height) {
    QImage img = PhonePhoto::quarters(width, height);
    quint32 seed = 20261208;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 27) - 16;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + grain, 255), qBound(0, qGreen(p) + grain, 255),
                           qBound(0, qBlue(p) + grain, 255));
        }
    }
    return img;
}

// Counts the paints of one widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *watched) { watched->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// A left click on the first plant row, whose picture is a 6000 x 4000 JPEG, from the press
// until the side panel's frame has been painted; beside it, decoding that file whole.
int clickFigures(TestApp &folder, MainWindow &w, Series *click, Series *decode, Series *once,
                 qint64 *fileBytes) {
    w.switchToPlants(); // plant mode
    w.showAllPlants();  // and the plant list, read whole: the click alone is timed
    while (!w.listView->list()->complete())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const QString key = w.listView->list()->text(0, 7);
    const QString img = QStringLiteral("telefono.jpg");
    const QString path = folder.ctx().folder.plantPicture(key.toDouble(), img);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!photoLike(6000, 4000).save(path, "JPG", 90)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    *fileBytes = QFileInfo(path).size();
    folder.sql(QStringLiteral("UPDATE piante SET img = ? WHERE id = ?"), {img, key.toLongLong()});
    // The list keeps the selected plant's row in view: bring the first row back to click it.
    w.listView->scrollTo(w.listView->list()->index(0, 1));
    const QPoint row = w.listView->visualRect(w.listView->list()->index(0, 1)).center();
    PaintCounter painted(w.pictureFrame);
    int failures = 0;
    for (int round = 0; round <= runs; ++round) {
        Series ignored;
        const bool measured = round > 0;
        (measured ? *click : ignored).run([&] {
            painted.paints = 0;
            QTest::mouseClick(w.listView->viewport(), Qt::LeftButton, {}, row);
            QElapsedTimer wait;
            wait.start();
            while (painted.paints == 0 && wait.elapsed() < 5000)
                QCoreApplication::processEvents();
        });
        if (painted.paints == 0 || w.heldPicture.size() != QSize(6000, 4000)) {
            std::fprintf(stderr,
                         "click: the frame was not painted with the photo (%d paints, "
                         "picture %dx%d, plant %s)\n",
                         painted.paints, w.heldPicture.width(), w.heldPicture.height(),
                         qPrintable(key));
            ++failures;
        }
        (measured ? *decode : ignored).run([&] {
            QImageReader reader(path);
            if (reader.read().size() != QSize(6000, 4000))
                ++failures;
        });
        // One read of the photo for the frame, as a click makes it.
        (measured ? *once : ignored).run([&] {
            if (w.pictureFrame->hold(path).size() != QSize(6000, 4000))
                ++failures;
        });
    }
    return failures;
}

// The export's two files imported into an empty archive, each run into a fresh one, the
// day's safety copy already there (the program makes it at startup); beside it the sqlite3
// shell's .import of the same files into the same tables of an empty archive. The shell
// takes the nine columns of trattamenti.csv for the seven of coltivazione ("extras
// ignored", said on every row to its standard error, which goes nowhere).
int importFigures(const QString &csvDir, const QString &shell, int plants, int events,
                  Series *import, Series *floor) {
    QTemporaryDir place;
    const QString empty = place.filePath(QStringLiteral("vuoto.mdb"));
    TestApp::createArchive(empty);
    const AppFolder app(place.filePath(QStringLiteral("app")));
    QDir().mkpath(app.imgDir());
    const QString plantsFile = QDir(csvDir).filePath(CsvExport::plantsFile);
    const QString eventsFile = QDir(csvDir).filePath(CsvExport::eventsFile);
    const QString shellTarget = place.filePath(QStringLiteral("shell.mdb"));
    const QDateTime now(QDate(2026, 12, 7), QTime(10, 0));
    int failures = 0;
    for (int round = 0; round <= runs; ++round) {
        Series ignored;
        const bool measured = round > 0;
        QFile::remove(app.archivePath());
        QFile::copy(empty, app.archivePath());
        (measured ? *import : ignored).run([&] {
            CsvImport in(app);
            const bool opened =
                in.open(FieldTable::plants, plantsFile) && in.open(FieldTable::events, eventsFile);
            const auto done = opened ? in.write(now) : std::nullopt;
            if (!done || done->plants != plants || done->events != events ||
                !done->skipped.isEmpty()) {
                std::fprintf(stderr, "csv import: %s (%lld plants, %lld events, %lld skipped)\n",
                             qPrintable(in.error()), done ? done->plants : -1LL,
                             done ? done->events : -1LL,
                             done ? qint64(done->skipped.size()) : -1LL);
                ++failures;
            }
        });
        if (shell.isEmpty())
            continue;
        QFile::remove(shellTarget);
        QFile::copy(empty, shellTarget);
        (measured ? *floor : ignored).run([&] {
            QProcess p;
            p.setStandardErrorFile(QProcess::nullDevice());
            p.start(shell, {shellTarget});
            p.write(QStringLiteral(".mode csv\n.separator ;\n.import --skip 1 '%1' piante\n"
                                   ".import --skip 1 '%2' coltivazione\n")
                        .arg(plantsFile, eventsFile)
                        .toUtf8());
            p.closeWriteChannel();
            if (!p.waitForFinished(120000) || p.exitCode() != 0) {
                std::fprintf(stderr, "sqlite3 .import failed\n");
                ++failures;
            }
        });
    }
    return failures;
}

// Care that is due: the window's reading until its rows are shown, against one statement
// with window functions on the same file (and the archive's reading alone); then one round of
// care for 200 plants, as "Registra" writes it.
int dueFigures(TestApp &folder, MainWindow &w, const QString &archive, Series *due, Series *limit,
               Series *reading, Series *record, int *rows, int *recorded) {
    int failures = 0;
    QString error;
    DueCareLimit truth(archive);
    if (!truth.open(&error)) {
        std::fprintf(stderr, "cannot open the archive: %s\n", qPrintable(error));
        return 1;
    }
    const QDate today = folder.clock.today();
    DueCareLimit::Table expected;
    auto *window = new DueCareDialog(folder.ctx(), w, &w);
    window->show();
    auto read = [&] {
        while (window->isLoading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    read();
    for (int round = 0; round <= runs; ++round) {
        Series ignored;
        const bool measured = round > 0;
        (measured ? *limit : ignored).run([&] {
            if (!truth.run(today, &expected, &error)) {
                std::fprintf(stderr, "the due limit statement failed: %s\n", qPrintable(error));
                ++failures;
            }
        });
        (measured ? *due : ignored).run([&] {
            window->reload();
            read();
        });
        failures += DueCareLimit::compare(window->model->all(), expected);
        (measured ? *reading : ignored).run([&] {
            Archive a(archive);
            if (!a.dueCare(today))
                ++failures;
        });
    }
    *rows = int(window->model->all().size());
    if (*rows == 0) {
        std::fprintf(stderr, "due: no rows\n");
        ++failures;
    }
    QList<CareToRecord> care;
    for (const DueRow &r : window->model->all())
        if (care.size() < 200 && r.intervento == QLatin1String("Annaffiatura"))
            care.append({r.plantId, r.intervento});
    *recorded = int(care.size());
    delete window;
    for (int round = 0; round <= runs; ++round) {
        Series ignored;
        (round > 0 ? *record : ignored).run([&] {
            Archive a(archive);
            if (!a.recordCare(care, today, TimestampKey::make(folder.clock.now()))) {
                std::fprintf(stderr, "record_due failed: %s\n", qPrintable(a.lastError()));
                ++failures;
            }
        });
    }
    return failures;
}

// 500 pot labels to a PDF file, as "Stampa etichette" prints them: the plants read from the
// archive, their specie, identificazione, purchase date and pot on 3 x 7 labels with the QR
// code, painted and written out.
int labelFigures(const QString &archive, const QString &pdf, Series *labels) {
    constexpr int count = 500;
    int failures = 0;
    for (int round = 0; round <= runs; ++round) {
        Series ignored;
        (round > 0 ? *labels : ignored).run([&] {
            Archive a(archive);
            const auto keys = a.plantKeys();
            QList<LabelComposer::Label> made;
            for (qsizetype i = 0; keys && i < keys->size() && made.size() < count; ++i)
                if (const auto plant = a.plant(keys->at(i).id, keys->at(i).rowid))
                    made.append({LabelFields::lines(*plant, {"specie", "identificazione",
                                                             "dataacquisto", "vaso"}),
                                 LabelFields::codeText(*plant)});
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printer.setPageSize(QPageSize(QPageSize::A4));
            printer.setFullPage(true);
            printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
            QPainter painter(&printer);
            const bool whole =
                LabelComposer(LabelSheet::commercial().constFirst()).paint(painter, printer, made);
            if (made.size() != count || !whole || !painter.end()) {
                std::fprintf(stderr, "labels_pdf: %d labels made\n", int(made.size()));
                ++failures;
            }
        });
    }
    return failures;
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORMTHEME"))
        qputenv("QT_QPA_PLATFORMTHEME", "");
    QApplication app(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times the plant list, the search and the event list on a made-up "
                       "archive and checks the list against one plain SQL statement."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("plants"), QStringLiteral("Plants in the archive."),
                      QStringLiteral("N"), QStringLiteral("10000")});
    parser.addOption({QStringLiteral("events"), QStringLiteral("Care events in the archive."),
                      QStringLiteral("M"), QStringLiteral("200000")});
    parser.addOption({QStringLiteral("keep"),
                      QStringLiteral("Also copy the made-up archive to this file."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Measured rounds (7)."),
                      QStringLiteral("N"), QStringLiteral("7")});
    parser.addOption({QStringLiteral("even"),
                      QStringLiteral("Spread the events evenly over the plants, as a hobby "
                                     "archive has them (no plant with a long history).")});
    parser.addOption({QStringLiteral("archive"),
                      QStringLiteral("Time this archive (a copy of it) instead of making one."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("due"),
                      QStringLiteral("Time only the care that is due and its recording.")});
    parser.addOption({QStringLiteral("memory-of"),
                      QStringLiteral("Internal: one session on the archive, for its peak memory."),
                      QStringLiteral("FILE")});
    parser.process(app);
    SyntheticArchive::Shape shape;
    if (!positiveArgument(parser, "plants", &shape.plants) ||
        !positiveArgument(parser, "events", &shape.events) ||
        !positiveArgument(parser, "runs", &runs))
        return 2;
    runs = std::max(runs, 1);
    if (shape.plants < 2) {
        std::fprintf(stderr, "--plants must be at least 2\n");
        return 2;
    }
    if (parser.isSet("even"))
        shape.bigPlantEvents = std::max(1, shape.events / shape.plants);

    TestApp folder;
    const QString archive = folder.path("dbpiante.mdb");
    SyntheticArchive::Made made;
    QString error;
    const QString given =
        parser.isSet("memory-of") ? parser.value("memory-of") : parser.value("archive");
    if (!given.isEmpty()) {
        QFile::remove(archive);
        if (!QFile::copy(given, archive)) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(given));
            return 2;
        }
    } else if (!SyntheticArchive::fill(archive, shape, &made, &error)) {
        std::fprintf(stderr, "cannot build the archive: %s\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet("memory-of")) {
        // As a user goes: the plant list, a one-letter search, the long event list, back.
        DerivedColumns facts(archive);
        if (!facts.open(&error))
            return 2;
        const DerivedColumns::Collection c = facts.collection();
        const QString letter = facts.commonestInitial();
        MainWindow &w = folder.main();
        w.resize(1280, 800);
        w.show();
        if (!QTest::qWaitForWindowExposed(&w))
            return 2;
        auto settle = [&] {
            QCoreApplication::processEvents();
            while (!w.listView->list()->complete())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        };
        settle();
        w.searchFieldCombo->setCurrentIndex(0);
        w.searchEdit->setText(letter); // runs the search
        settle();
        folder.state().idpianta = static_cast<double>(c.bigPlantId);
        w.showEventsOfSelectedPlant();
        settle();
        w.showAllPlants();
        settle();
        std::printf("%ld\n", peakKb());
        return 0;
    }
    if (parser.isSet("keep")) {
        QFile::remove(parser.value("keep"));
        if (!QFile::copy(archive, parser.value("keep")))
            std::fprintf(stderr, "cannot copy the archive to %s\n",
                         qPrintable(parser.value("keep")));
    }

    MainWindow &w = folder.main(); // its startup is the first, unmeasured fill
    w.resize(1280, 800);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) {
        std::fprintf(stderr, "the main window did not show\n");
        return 2;
    }
    if (parser.isSet("due")) {
        Series due, limit, reading, record;
        int rows = 0, recorded = 0;
        const int failed =
            dueFigures(folder, w, archive, &due, &limit, &reading, &record, &rows, &recorded);
        const double x = median(due.wall), y = median(limit.wall);
        std::printf("due median_ms=%.1f limit_ms=%.1f ratio=%.2f\n", x, y, y > 0 ? x / y : 0.0);
        std::printf("due_stall max_ms=%.1f limit_ms=100\n",
                    *std::max_element(due.stall.cbegin(), due.stall.cend()));
        std::printf("record_due median_ms=%.1f plants=%d\n", median(record.wall), recorded);
        std::fprintf(stderr, "due: %d rows; Archive::dueCare alone %.1f ms\n", rows,
                     median(reading.wall));
        return failed ? 1 : 0;
    }
    ProgramState &state = folder.state();

    DerivedColumns limit(archive);
    if (!limit.open(&error)) {
        std::fprintf(stderr, "cannot open the archive: %s\n", qPrintable(error));
        return 2;
    }
    const DerivedColumns::Collection collection = limit.collection();
    shape.plants = collection.plants;
    shape.events = collection.events;
    made.bigPlantId = collection.bigPlantId;
    made.eventsOfBigPlant = collection.eventsOfBigPlant;
    made.plantsWithoutEvents = collection.plantsWithoutEvents;
    QList<QStringList> expectedEvents;
    if (!limit.eventCells(made.bigPlantId, &expectedEvents, &error)) {
        std::fprintf(stderr, "the event statement failed: %s\n", qPrintable(error));
        return 2;
    }
    while (!w.listView->list()->complete()) // the startup's fill
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    DerivedColumns::Table expected;
    if (!limit.run(&expected, &error)) {
        std::fprintf(stderr, "the limit statement failed: %s\n", qPrintable(error));
        return 2;
    }
    const QString letter = limit.commonestInitial();
    w.searchFieldCombo->setCurrentIndex(0); // "Specie"
    {
        QSignalBlocker quiet(w.searchEdit); // the fill is called directly below
        w.searchEdit->setText(letter);
    }
    const int found = limit.countStartingWith(letter);
    state.idpianta = static_cast<double>(made.bigPlantId);

    // One unmeasured round first, then the measured ones. Each round goes as the user does:
    // the plant list, a search, a plant's events, and back to the plant list.
    Series fill, bare, search, searchAll, events, eventsAll, rowsOnly, printing, sorting;
    fill.list = searchAll.list = eventsAll.list = sorting.list = w.listView->list();
    TimedPrintDialog dialog;
    folder.ctx().printer = &dialog;
    int failures = 0;
    for (int round = 0; round <= runs; ++round) {
        Series ignored;
        ignored.list = w.listView->list();
        const bool measured = round > 0;
        (measured ? fill : ignored).run([&] { w.showAllPlants(); });
        failures +=
            DerivedColumns::compare(*w.listView->list(), expected, "showAllPlants", shape.plants);
        (measured ? bare : ignored).run([&] {
            if (!limit.run(&expected, &error)) {
                std::fprintf(stderr, "the limit statement failed: %s\n", qPrintable(error));
                ++failures;
            }
        });
        (measured ? rowsOnly : ignored).run([&] {
            Archive a(archive);
            if (!a.plantKeys()) {
                std::fprintf(stderr, "plantList failed: %s\n", qPrintable(a.lastError()));
                ++failures;
            }
        });
        // Until the found plants are shown, then until every cell of them is read.
        (measured ? search : ignored).run([&] { w.showSearchResults(); });
        (measured ? searchAll : ignored).run([&] {});
        if (measured)
            searchAll.wall.last() += search.wall.last();
        failures +=
            DerivedColumns::compare(*w.listView->list(), expected, "showSearchResults", found);
        bool listed = false;
        (measured ? events : ignored).run([&] { listed = w.showEventsOfSelectedPlant(); });
        (measured ? eventsAll : ignored).run([&] {});
        if (measured)
            eventsAll.wall.last() += events.wall.last();
        failures += checkEvents(*w.listView->list(), listed, made.eventsOfBigPlant);
        for (int i = 0; i < w.listView->list()->rowCount() && i < expectedEvents.size(); ++i)
            // The row's rowid follows its shown cells.
            if (w.listView->list()->row(i).mid(0, expectedEvents.at(i).size()) !=
                expectedEvents.at(i)) {
                std::fprintf(stderr,
                             "showEventsOfSelectedPlant: row %d is \"%s\", expected \"%s\"\n",
                             i + 1, qPrintable(w.listView->list()->row(i).join('|')),
                             qPrintable(expectedEvents.at(i).join('|')));
                ++failures;
                break;
            }
        // The cultivation card of that plant, printed: until the print dialog shows.
        state.listMode = ListMode::Events;
        dialog.reachedMs = -1;
        (measured ? printing : ignored).run([&] {
            dialog.since.start();
            triggerAction(&w, QStringLiteral("printAction"));
            while (dialog.reachedMs < 0 && dialog.since.elapsed() < 60000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        });
        if (dialog.reachedMs < 0) {
            std::fprintf(stderr, "printing: the print dialog did not show\n");
            ++failures;
        } else if (measured) {
            printing.wall.last() = dialog.reachedMs;
        }
        state.listMode = ListMode::Plants;
        QCoreApplication::processEvents();
    }

    // A click on a plant whose picture is a phone's photo, before the list is sorted.
    Series click, decode, once;
    qint64 photoBytes = 0;
    failures += clickFigures(folder, w, &click, &decode, &once, &photoBytes);

    // Header clicks on "Specie" right after a fill, until the list shows sorted; then a fill
    // with the list sorted so.
    Series specieSort, specieFill;
    for (int round = 0; round < runs; ++round) {
        w.showAllPlants();
        specieSort.run([&] { emit w.listView->header()->sectionClicked(1); });
        specieFill.run([&] { w.showAllPlants(); });
        while (!w.listView->list()->complete())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        failures += DerivedColumns::compare(*w.listView->list(), expected, "sorted on Specie",
                                            shape.plants, false);
    }

    // Header clicks on "Ultimo intervento/Evento" right after a fill, while its cells may
    // still be being read; then a fill with the list sorted. Sorting stays on, so this comes
    // last.
    constexpr int otherColumn = 6;
    Series sortFill;
    sortFill.list = w.listView->list();
    QCollator collator(QLocale(QLocale::Italian, QLocale::Italy)); // as the list sorts
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    for (int round = 0; round < runs; ++round) {
        w.showAllPlants();
        sorting.run([&] { emit w.listView->header()->sectionClicked(otherColumn); });
        failures +=
            DerivedColumns::compare(*w.listView->list(), expected, "sort", shape.plants, false);
        ReportListModel &m = *w.listView->list();
        for (int i = 1; i < m.rowCount(); ++i) {
            const int c = collator.compare(m.text(i - 1, otherColumn), m.text(i, otherColumn));
            if (m.sortOrder() == Qt::AscendingOrder ? c > 0 : c < 0) {
                std::fprintf(stderr, "sort: rows %d and %d out of order\n", i, i + 1);
                ++failures;
                break;
            }
            if (i > 2000)
                break;
        }
        sortFill.run([&] { w.showAllPlants(); });
        failures += DerivedColumns::compare(*w.listView->list(), expected, "sorted fill",
                                            shape.plants, false);
    }

    // Peak memory of a session in a program of its own (this one holds the reference too).
    QProcess session;
    session.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--memory-of"), archive});
    session.waitForFinished(-1);
    const long peak = session.readAllStandardOutput().trimmed().toLong();
    if (session.exitCode() != 0 || peak <= 0) {
        std::fprintf(stderr, "the memory session failed\n");
        ++failures;
    }

    // The day's safety copy against the sqlite3 shell's VACUUM INTO of the same file, and the
    // CSV export against the shell writing both tables as CSV, in turns.
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty())
        std::fprintf(stderr, "sqlite3 is not installed: no shell figures\n");
    Series copy, vacuum, csv, csvFloor;
    QList<double> vacuumCpu, csvFloorCpu;
    bool progressSeen = false;
    BackupStore store(folder.ctx().folder);
    QTemporaryDir scratch;
    const QString vacuumTarget = scratch.filePath(QStringLiteral("x.mdb"));
    const QString csvDir = folder.path(QStringLiteral("csv"));
    QDir().mkpath(csvDir);
    QString told;
    folder.messages.onSaid = [&](const FakeMessages::Said &s) { told = s.text; };
    folder.files.nextFolder = csvDir;
    for (int round = 0; round <= runs; ++round) {
        Series ignored;
        const bool measured = round > 0;
        const QDate day = QDate(2026, 1, 1).addDays(round);
        (measured ? copy : ignored).run([&] {
            if (store.makeDailyCopy(day) != BackupStore::Daily::Made) {
                std::fprintf(stderr, "the daily copy failed: %s\n", qPrintable(store.error()));
                ++failures;
            }
        });
        QFile::remove(store.dailyPath(day));
        if (!shell.isEmpty()) {
            QFile::remove(vacuumTarget);
            shellCpu.clear();
            (measured ? vacuum : ignored).run([&] {
                if (!sqliteShell(
                        shell, {archive, QStringLiteral("VACUUM INTO '%1'").arg(vacuumTarget)}, {}))
                    ++failures;
            });
            if (measured)
                vacuumCpu << shellCpu.value(0);
        }
        for (const QString &name : CsvExport::fileNames())
            QFile::remove(QDir(csvDir).filePath(name));
        told.clear();
        // Whether the progress dialog came up while the export ran, and the window with it.
        QTimer watch;
        watch.setInterval(100);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto *dialog = w.findChild<QProgressDialog *>(QStringLiteral("progresso"));
            if (dialog && dialog->isVisible() && !progressSeen) {
                progressSeen = true;
                saveShot(dialog, QStringLiteral("export-progress"));
            }
        });
        watch.start();
        (measured ? csv : ignored).run([&] { w.exportCsv(); });
        watch.stop();
        if (told != QStringLiteral("Esportate %1 piante e %2 trattamenti in %3.")
                        .arg(shape.plants)
                        .arg(shape.events)
                        .arg(QDir::toNativeSeparators(csvDir))) {
            std::fprintf(stderr, "the export said \"%s\"\n", qPrintable(told));
            ++failures;
        }
        shellCpu.clear();
        if (!shell.isEmpty())
            (measured ? csvFloor : ignored).run([&] {
                const QByteArray script =
                    QStringLiteral(".once %1\nSELECT * FROM piante;\n.once %2\n"
                                   "SELECT * FROM coltivazione;\n")
                        .arg(scratch.filePath("piante.csv"), scratch.filePath("trattamenti.csv"))
                        .toUtf8();
                if (!sqliteShell(shell,
                                 {QStringLiteral("-csv"), QStringLiteral("-header"), archive},
                                 script))
                    ++failures;
            });
        if (measured && !shell.isEmpty())
            csvFloorCpu << shellCpu.value(0);
    }
    folder.messages.onSaid = nullptr;
    Series csvImport, csvImportFloor;
    failures +=
        importFigures(csvDir, shell, shape.plants, shape.events, &csvImport, &csvImportFloor);

    Series due, dueLimit, dueReading, recordDue;
    int dueRows = 0, recorded = 0;
    failures += dueFigures(folder, w, archive, &due, &dueLimit, &dueReading, &recordDue, &dueRows,
                           &recorded);

    Series labels;
    QTemporaryDir labelDir;
    failures += labelFigures(archive, labelDir.filePath("etichette.pdf"), &labels);

    auto each = [](const char *what, const QList<double> &v) {
        QStringList t;
        for (double x : v)
            t << QString::number(x, 'f', 1);
        std::fprintf(stderr, "%s, each run: %s\n", what, qPrintable(t.join(QLatin1Char(' '))));
    };
    each("showAllPlants ms", fill.wall);
    each("showAllPlants longest stall ms", fill.stall);
    each("showSearchResults until shown ms", search.wall);
    each("showSearchResults longest stall ms", search.stall);
    each("showEventsOfSelectedPlant ms", events.wall);
    each("print dialog ms", printing.wall);
    each("due ms", due.wall);
    each("due longest stall ms", due.stall);
    std::fprintf(stderr, "due: %d rows; Archive::dueCare alone %.1f ms\n", dueRows,
                 median(dueReading.wall));
    std::fprintf(stderr, "export progress dialog shown: %s\n", progressSeen ? "yes" : "no");

    const double x = median(fill.wall);
    const double y = median(bare.wall);
    std::printf("showAllPlants median_ms=%.1f limit_ms=%.1f ratio=%.2f\n", x, y,
                y > 0 ? x / y : 0.0);
    std::printf("visualizza_stall max_ms=%.1f limit_ms=100\n",
                *std::max_element(fill.stall.cbegin(), fill.stall.cend()));
    std::printf("showSearchResults median_ms=%.1f limit_ms=100 all_cells_ms=%.1f\n",
                median(search.wall), median(searchAll.wall));
    std::printf("showEventsOfSelectedPlant median_ms=%.1f limit_ms=20 all_cells_ms=%.1f\n",
                median(events.wall), median(eventsAll.wall));
    std::printf("print_dialog median_ms=%.1f limit_ms=100\n", median(printing.wall));
    std::printf("sort_click median_ms=%.1f stall_max_ms=%.1f\n", median(sorting.wall),
                *std::max_element(sorting.stall.cbegin(), sorting.stall.cend()));
    std::printf("visualizza_sorted median_ms=%.1f stall_max_ms=%.1f\n", median(sortFill.wall),
                *std::max_element(sortFill.stall.cbegin(), sortFill.stall.cend()));
    std::printf("sort_specie median_ms=%.1f stall_max_ms=%.1f\n", median(specieSort.wall),
                *std::max_element(specieSort.stall.cbegin(), specieSort.stall.cend()));
    std::printf("visualizza_sorted_specie median_ms=%.1f stall_max_ms=%.1f\n",
                median(specieFill.wall),
                *std::max_element(specieFill.stall.cbegin(), specieFill.stall.cend()));
    std::printf("peak_memory mb=%.1f limit_mb=120\n", peak / 1024.0);
    const double dx = median(due.wall), dy = median(dueLimit.wall);
    std::printf("due median_ms=%.1f limit_ms=%.1f ratio=%.2f\n", dx, dy, dy > 0 ? dx / dy : 0.0);
    std::printf("due_stall max_ms=%.1f limit_ms=100\n",
                *std::max_element(due.stall.cbegin(), due.stall.cend()));
    std::printf("record_due median_ms=%.1f plants=%d\n", median(recordDue.wall), recorded);
    if (!shell.isEmpty()) {
        std::printf("backup median_ms=%.1f sqlite3_vacuum_into_ms=%.1f ratio=%.2f\n",
                    median(copy.wall), median(vacuum.wall),
                    median(copy.wall) / median(vacuum.wall));
        std::printf("csv median_ms=%.1f sqlite3_csv_ms=%.1f\n", median(csv.wall),
                    median(csvFloor.wall));
        std::printf("csv_import median_ms=%.1f limit_ms=%.1f ratio=%.2f\n", median(csvImport.wall),
                    median(csvImportFloor.wall),
                    median(csvImport.wall) / median(csvImportFloor.wall));
        std::fprintf(stderr,
                     "csv import: at most 3000 ms and 3 times sqlite3 .import; its processor "
                     "time, median ms: %.1f\n",
                     median(csvImport.cpu));
        std::fprintf(stderr,
                     "processor time, median ms: backup %.1f, sqlite3 VACUUM INTO %.1f "
                     "(ratio %.2f); csv %.1f, sqlite3 -csv %.1f\n",
                     median(copy.cpu), median(vacuumCpu), median(copy.cpu) / median(vacuumCpu),
                     median(csv.cpu), median(csvFloorCpu));
    } else {
        std::printf("backup median_ms=%.1f\n", median(copy.wall));
        std::printf("csv median_ms=%.1f\n", median(csv.wall));
        std::printf("csv_import median_ms=%.1f limit_ms=3000\n", median(csvImport.wall));
    }
    std::printf("labels_pdf median_ms=%.1f labels=500\n", median(labels.wall));
    const double c = median(click.wall), d = median(decode.wall);
    std::printf("click median_ms=%.1f full_decode_ms=%.1f ratio=%.2f\n", c, d, d > 0 ? c / d : 0.0);
    std::fprintf(stderr, "the photo: 6000 x 4000, %.1f MB; one read of it for the frame %.1f ms\n",
                 photoBytes / 1e6, median(once.wall));
    std::fprintf(stderr,
                 "%d plants (%d without events), %d events, %d of them on plant %lld; "
                 "search \"%s\" on Specie: %d rows\n",
                 shape.plants, made.plantsWithoutEvents, shape.events, made.eventsOfBigPlant,
                 made.bigPlantId, qPrintable(letter), found);
    std::fprintf(stderr,
                 "processor time, median ms: showAllPlants %.1f, limit %.1f (ratio %.2f), "
                 "Archive::plantKeys alone %.1f (wall %.1f), showSearchResults %.1f, "
                 "showEventsOfSelectedPlant %.1f, "
                 "click %.1f, full decode %.1f\n",
                 median(fill.cpu), median(bare.cpu), median(fill.cpu) / median(bare.cpu),
                 median(rowsOnly.cpu), median(rowsOnly.wall), median(search.cpu),
                 median(events.cpu), median(click.cpu), median(decode.cpu));
    if (failures) {
        std::fprintf(stderr, "%d check(s) failed\n", failures);
        return 1;
    }
    return 0;
}
