// Writes piante.csv and trattamenti.csv of an archive into a folder, for the read-back test.
#include "archive/csvexport.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: silvaro-csvexport ARCHIVE FOLDER\n");
        return 2;
    }
    CsvExport csv(args.at(1));
    if (!csv.write(args.at(2))) {
        std::fprintf(stderr, "%s\n", qPrintable(csv.error()));
        return 1;
    }
    std::printf("%lld %lld\n", csv.plants(), csv.events());
    return 0;
}
