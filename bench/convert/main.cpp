// silvaro-bench-convert: how long converting an Access-format archive takes, against the
// time mdb-export takes to read both of its tables to /dev/null in the same run (the floor
// for reading the file at all). Each run converts a fresh copy; the figure is the median. The
// conversion's processor time counts the child that reads the file with its own.
#include "archive/jetconversion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    const auto n = v.size();
    return n % 2 ? v.at(n / 2) : (v.at(n / 2 - 1) + v.at(n / 2)) / 2;
}

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double childrenCpuMs() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Milliseconds mdb-export takes for both tables, or a negative number when it failed.
double exportBoth(const QString &file) {
    QElapsedTimer t;
    t.start();
    for (const char *table : {"piante", "coltivazione"}) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("mdb-export"), {file, QString::fromLatin1(table)});
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0)
            return -1;
    }
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Converts an Access-format archive, median of several runs, "
                                     "beside mdb-export reading the same file.");
    parser.addHelpOption();
    parser.addPositionalArgument("archive", "the .mdb file (default: legacy-dbpiante-big.mdb)");
    QCommandLineOption runsOption("runs", "number of runs (default 5)", "n", "5");
    parser.addOption(runsOption);
    parser.process(app);
    const QString source = parser.positionalArguments().value(
        0, QStringLiteral(SILVARO_LEGACY_FIXTURES "/legacy-dbpiante-big.mdb"));
    const int runs = std::max(1, parser.value(runsOption).toInt());
    if (!QFile::exists(source)) {
        std::fprintf(stderr, "no such file: %s\n", qPrintable(source));
        return 2;
    }

    QList<double> convert, floor, convertCpu, floorCpu;
    JetConversionResult last;
    for (int i = 0; i < runs; ++i) {
        QTemporaryDir dir;
        const QString archive = dir.filePath("dbpiante.mdb");
        if (!QFile::copy(source, archive) ||
            !QFile::setPermissions(archive, QFile::ReadOwner | QFile::WriteOwner)) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(source));
            return 1;
        }
        const double c0 = childrenCpuMs();
        const double f = exportBoth(archive);
        floorCpu << childrenCpuMs() - c0;
        if (f < 0) {
            std::fprintf(stderr, "mdb-export failed (is mdbtools installed?)\n");
            return 1;
        }
        floor << f;
        QElapsedTimer t;
        const double p0 = cpuMs(), c1 = childrenCpuMs();
        t.start();
        last = JetConversion(dir.path()).run();
        convert << t.nsecsElapsed() / 1e6;
        convertCpu << cpuMs() - p0 + childrenCpuMs() - c1;
        if (!last.ok) {
            std::fprintf(stderr, "conversion failed: %s\n", qPrintable(last.error));
            return 1;
        }
    }
    const double c = median(convert), f = median(floor);
    const double cc = median(convertCpu), fc = median(floorCpu);
    std::printf("convert %s: %d plants, %d events, median of %d runs\n", qPrintable(source),
                last.plants, last.events, runs);
    std::printf("                     wall ms   processor ms\n");
    std::printf("  convert           %8.1f   %8.1f\n", c, cc);
    std::printf("  mdb-export floor  %8.1f   %8.1f   (both tables to /dev/null)\n", f, fc);
    std::printf("  ratio             %8.2f   %8.2f   (target: at most 2.20)\n", c / f, cc / fc);
    return 0;
}
