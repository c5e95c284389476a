// Converting an Access-format dbpiante.mdb into the program's archive: every value of the
// fixtures against their notes, the twins, the refusals that leave the original as it was,
// the kept names, a conversion killed at random moments, and the startup that asks for it.

#include "archive/conversionprogress.h"
#include "archive/jetconversion.h"
#include "mainwindow/mainwindow.h"
#include "support/testapp.h"
#include "ui/widgets/picturebox.h"
#include "ui/lists/reportlist.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Twins = QMap<qint64, qint64>; // later twin's key -> the key it gets

const QString fixtures = QStringLiteral(SILVARO_LEGACY_FIXTURES);
const QString failedEnd = QStringLiteral(".\nIl file originale non è stato modificato.");

QJsonObject notes(const QString &fixture) {
    QFile f(fixtures + "/" + fixture + ".json");
    if (!f.open(QIODevice::ReadOnly))
        qFatal("no notes for %s", qPrintable(fixture));
    return QJsonDocument::fromJson(f.readAll()).object();
}

QString fixturePath(const QString &fixture) { return fixtures + "/" + fixture + ".mdb"; }

bool copyFixture(TestApp &app, const QString &fixture) {
    QFile::remove(app.path("dbpiante.mdb"));
    return QFile::copy(fixturePath(fixture), app.path("dbpiante.mdb")) &&
           QFile::setPermissions(app.path("dbpiante.mdb"), QFile::ReadOwner | QFile::WriteOwner);
}

// Puts a copy of the fixture in the application folder as its archive. A macro, so that a
// missing fixture skips the test itself rather than only a helper.
#define INSTALL(app, fixture)                                                                  \
    do {                                                                                       \
        if (!QFileInfo::exists(fixturePath(fixture)))                                          \
            QSKIP(qPrintable("the fixture is missing: " + fixturePath(fixture)));              \
        QVERIFY(copyFixture(app, fixture));                                                    \
    } while (false)

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList files(const QString &dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Every row of a table of the converted archive, in stored order.
QList<QVariantList> storedRows(const QString &archive, const QString &table,
                               const QStringList &names) {
    QList<QVariantList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(archive);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(archive));
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(names.join(','), table)))
            qFatal("cannot read %s", qPrintable(table));
        while (q.next()) {
            QVariantList r;
            for (int i = 0; i < names.size(); ++i)
                r << q.value(i);
            rows << r;
        }
    }
    QSqlDatabase::removeDatabase("check");
    return rows;
}

QStringList columnNames(const QJsonArray &columns) {
    QStringList names;
    for (const QJsonValue &c : columns)
        names << c.toObject().value("name").toString();
    return names;
}

// A stored value as the notes give it: keys and numbers as numbers, dates as their day.
QString describe(const QVariant &v) {
    if (v.isNull())
        return "NULL";
    if (v.typeId() == QMetaType::QString)
        return '"' + v.toString() + '"';
    return QString::number(v.toDouble(), 'g', 17) + " (" + v.typeName() + ")";
}

bool matches(const QVariant &stored, const QJsonValue &noted, const QString &type, bool key) {
    if (noted.isNull())
        return stored.isNull();
    if (stored.isNull())
        return false;
    if (key)
        return stored.typeId() == QMetaType::LongLong &&
               stored.toLongLong() == qint64(noted.toDouble());
    if (type == "Double" || type == "Currency")
        return stored.typeId() == QMetaType::Double && stored.toDouble() == noted.toDouble();
    if (type == "DateTime")
        return stored.typeId() == QMetaType::QString &&
               stored.toString() == noted.toString().left(10);
    return stored.typeId() == QMetaType::QString && stored.toString() == noted.toString();
}

// The digest the notes give for a table: rows in sorted order, cells as the notes say.
QByteArray digest(const QList<QVariantList> &rows, const QJsonArray &columns) {
    QList<QByteArray> lines;
    for (const QVariantList &row : rows) {
        QStringList cells;
        for (int i = 0; i < row.size(); ++i) {
            const QString type = columns.at(i).toObject().value("type").toString();
            const QVariant &v = row.at(i);
            if (v.isNull())
                cells << "\\N";
            else if (type == "DateTime")
                cells << v.toString() + "T00:00:00";
            else if (type == "Double" || type == "Currency")
                cells << QString::asprintf("%.2f", v.toDouble());
            else
                cells << v.toString();
        }
        lines << cells.join(QChar(0x1f)).toUtf8();
    }
    std::sort(lines.begin(), lines.end());
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const QByteArray &l : lines) {
        h.addData(l);
        h.addData(QByteArray("\x1e"));
    }
    return h.result().toHex();
}

// Damage as a list of steps: "flip OFFSET BIT", "set OFFSET BYTE", "zero PAGE", "cut SIZE".
QByteArray damage(QByteArray bytes, const QString &steps) {
    const qsizetype page = bytes.size() > 0x14 && bytes.at(0x14) == 0 ? 2048 : 4096; // Jet 3
    for (const QString &step : steps.split(';', Qt::SkipEmptyParts)) {
        const QStringList w = step.split(' ', Qt::SkipEmptyParts);
        const qsizetype at = w.value(1).toLongLong();
        if (w.at(0) == "flip")
            bytes[at] = char(bytes.at(at) ^ (1 << w.value(2).toInt()));
        else if (w.at(0) == "set")
            bytes[at] = char(w.value(2).toInt());
        else if (w.at(0) == "zero")
            bytes.replace(at * page, page, QByteArray(page, '\0'));
        else
            bytes.truncate(at);
    }
    return bytes;
}

// A folder of another kind mounted for the test, gone with it; false when mounts are not
// allowed here.
struct Mount {
    QString dir;
    bool ok = false;
    Mount(const QString &at, const QStringList &args) : dir(at) {
        QDir().mkpath(dir);
        ok = QProcess::execute("mount", args + QStringList{dir}) == 0;
    }
    ~Mount() {
        if (ok)
            QProcess::execute("umount", {"-l", dir});
    }
};

// Stops the conversion at the first call at or past a share, and notes the longest wait
// between two calls.
struct StopAt : ConversionProgress {
    int from, calls = 0;
    qint64 longestGap = 0;
    QElapsedTimer since;
    explicit StopAt(int percent) : from(percent) { since.start(); }
    bool advance(int percent) override {
        longestGap = std::max(longestGap, since.restart());
        ++calls;
        return from < 0 || percent < from;
    }
};

int refuseLinks(const char *, const char *) {
    errno = EPERM;
    return -1;
}

const QString askText =
    QStringLiteral("L'archivio dbpiante.mdb è in formato Access.\nConvertirlo ora nel formato di "
                   "Silvaro? Il file originale sarà conservato come %1.");

} // namespace

class TestConversion : public QObject {
    Q_OBJECT
private slots:
    void everyValueIsCarriedOver_data();
    void everyValueIsCarriedOver();
    void bigArchivesKeepTheirFigures_data();
    void bigArchivesKeepTheirFigures();
    void datesBeforeDayZeroKeepTheirDay_data();
    void datesBeforeDayZeroKeepTheirDay();
    void refusalLeavesTheOriginal_data();
    void refusalLeavesTheOriginal();
    void damagedCopiesNeverPassAsWhole();
    void keptNamesAreNumbered();
    void folderWithoutHardLinksKeepsACopy_data();
    void folderWithoutHardLinksKeepsACopy();
    void reasonsAreItalian_data();
    void reasonsAreItalian();
    void progressIsToldAndStops_data();
    void progressIsToldAndStops();
    void killedConversionLeavesOneWholeState_data();
    void killedConversionLeavesOneWholeState();
    void startupAsksConvertsAndFindsThePictures();
    void startupNoLeavesTheFileAndAsksAgain();
    void startupAnnullaStopsTheConversion();
    void startupTellsOfAnUnusableArchive_data();
    void startupTellsOfAnUnusableArchive();
};

void TestConversion::everyValueIsCarriedOver_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<Twins>("twins");
    QTest::addColumn<int>("timesDropped");
    const Twins none;
    QTest::newRow("Jet 4") << "legacy-dbpiante" << none << 0;
    QTest::newRow("Jet 4, Currency") << "legacy-dbpiante-currency" << none << 0;
    QTest::newRow("Jet 3") << "legacy-dbpiante-jet3" << none << 0;
    QTest::newRow("Jet 4, no keys")
        << "legacy-dbpiante-nokeys"
        << Twins{{156202432400, 156202432401}, {111202336000, 111202336001}} << 2;
}

void TestConversion::everyValueIsCarriedOver() {
    QFETCH(QString, fixture);
    QFETCH(Twins, twins);
    QFETCH(int, timesDropped);
    TestApp app;
    INSTALL(app, fixture);
    const QByteArray original = readFile(app.path("dbpiante.mdb"));

    const JetConversionResult r = JetConversion(app.dir()).run();

    QVERIFY2(r.ok, qPrintable(r.error));
    const QJsonObject tables = notes(fixture).value("tables").toObject();
    QCOMPARE(r.plants, tables["piante"].toObject()["rows"].toArray().size());
    QCOMPARE(r.events, tables["coltivazione"].toObject()["rows"].toArray().size());
    QCOMPARE(r.renumberedEvents, int(twins.size()));
    QCOMPARE(r.timesDropped, timesDropped);
    QCOMPARE(readFile(app.path("dbpiante-access.mdb")), original);
    QCOMPARE(files(app.dir()),
             (QStringList{"dbpiante-access.mdb", "dbpiante.mdb", "trattamenti.txt"}));

    for (const QString table : {"piante", "coltivazione"}) {
        const QJsonArray columns = tables[table].toObject()["columns"].toArray();
        const QJsonArray noted = tables[table].toObject()["rows"].toArray();
        const QStringList names = columnNames(columns);
        const QList<QVariantList> stored = storedRows(app.path("dbpiante.mdb"), table, names);
        QCOMPARE(stored.size(), noted.size());
        QSet<qint64> seen;
        for (int r = 0; r < noted.size(); ++r) {
            QJsonObject row = noted.at(r).toObject();
            if (table == QLatin1String("coltivazione")) {
                const qint64 key = qint64(row["idtrat"].toDouble());
                if (seen.contains(key) && twins.contains(key))
                    row["idtrat"] = double(twins.value(key));
                seen.insert(key);
            }
            for (int c = 0; c < names.size(); ++c) {
                const QString type = columns.at(c).toObject()["type"].toString();
                const bool key = names.at(c) == "idtrat" || names.at(c) == "id";
                QVERIFY2(matches(stored.at(r).at(c), row[names.at(c)], type, key),
                         qPrintable(QStringLiteral("%1 row %2 %3: stored %4, noted %5")
                                        .arg(table)
                                        .arg(r + 1)
                                        .arg(names.at(c), describe(stored.at(r).at(c)),
                                             QJsonDocument(QJsonArray{row[names.at(c)]})
                                                 .toJson(QJsonDocument::Compact))));
            }
        }
    }
}

void TestConversion::bigArchivesKeepTheirFigures_data() {
    QTest::addColumn<QString>("fixture");
    QTest::newRow("Jet 4") << "legacy-dbpiante-big";
    QTest::newRow("Jet 3") << "legacy-dbpiante-big-jet3";
}

void TestConversion::bigArchivesKeepTheirFigures() {
    QFETCH(QString, fixture);
    TestApp app;
    INSTALL(app, fixture);

    const JetConversionResult r = JetConversion(app.dir()).run();

    QVERIFY2(r.ok, qPrintable(r.error));
    const QJsonObject n = notes(fixture);
    for (const QString table : {"piante", "coltivazione"}) {
        const QJsonArray columns = n["columns"].toObject()[table].toArray();
        const QList<QVariantList> stored =
            storedRows(app.path("dbpiante.mdb"), table, columnNames(columns));
        const QJsonObject summary = n["summary"].toObject()[table].toObject();
        QCOMPARE(stored.size(), summary["rows"].toInt());
        QCOMPARE(digest(stored, columns), summary["sha256_rows"].toString().toLatin1());
    }
}

// The stored day number counts back from 30 December 1899, the fraction still the time of day.
void TestConversion::datesBeforeDayZeroKeepTheirDay_data() {
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("day");
    QTest::addColumn<int>("timesDropped");
    QTest::newRow("-1.25") << -1.25 << "1899-12-29" << 1;
    QTest::newRow("-400") << -400.0 << "1898-11-25" << 0;
    QTest::newRow("-400.5") << -400.5 << "1898-11-25" << 1;
    QTest::newRow("1.5") << 1.5 << "1899-12-31" << 1;
}

void TestConversion::datesBeforeDayZeroKeepTheirDay() {
    QFETCH(double, stored);
    QFETCH(QString, day);
    QFETCH(int, timesDropped);
    TestApp app;
    INSTALL(app, "legacy-dbpiante");
    // The first plant's purchase date, 15 April 2023, is day 45031; no event has that day.
    const double purchase = 45031.0;
    QByteArray bytes = readFile(app.path("dbpiante.mdb"));
    const QByteArray from(reinterpret_cast<const char *>(&purchase), 8);
    QCOMPARE(bytes.count(from), 1);
    bytes.replace(from, QByteArray(reinterpret_cast<const char *>(&stored), 8));
    writeFile(app.path("dbpiante.mdb"), bytes);

    const JetConversionResult r = JetConversion(app.dir()).run();

    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.timesDropped, timesDropped);
    QCOMPARE(storedRows(app.path("dbpiante.mdb"), "piante", {"dataacquisto"}).first().first(),
             QVariant(day));
}

void TestConversion::refusalLeavesTheOriginal_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason"); // the start of the reason
    const QString nokeys = "legacy-dbpiante-nokeys", jet4 = "legacy-dbpiante",
                  jet3 = "legacy-dbpiante-jet3", damaged = "il file è danneggiato";
    QTest::newRow("two plants with one key") << nokeys << "twin plants"
                                             << "più piante hanno la stessa chiave (35202152510)";
    QTest::newRow("a Jet header and nothing else") << nokeys << "header only"
                                                   << "";
    for (const char *cut : {"cut 2", "cut 4", "cut 10"}) // the last 1/2, 1/4, 1/10 lost
        QTest::newRow(cut) << nokeys << cut << "";
    QTest::newRow("a page of rows blanked") << nokeys << "blank rows"
                                            << "della tabella";
    QTest::newRow("pages of noise") << nokeys << "noise"
                                    << "";
    // A row's column count past the table's own.
    QTest::newRow("bit 1 of byte 118799") << jet4 << "flip 118799 1"
                                          << "della tabella piante";
    // The row number of the usage map's pointer (offset 55 of a table definition in Jet 4, 35
    // in Jet 3) past its page's rows: of a table, then of the catalog libmdb reads first.
    QTest::newRow("usage map row, Jet 4") << jet4 << "set 98359 48"
                                          << "la tabella piante non si lascia leggere";
    QTest::newRow("usage map row, Jet 4 catalog") << jet4 << "set 8247 48" << damaged;
    QTest::newRow("usage map row, Jet 3") << jet3 << "set 65571 48"
                                          << "la tabella piante non si lascia leggere";
    QTest::newRow("usage map row, Jet 3 catalog") << jet3 << "set 4131 48" << damaged;
    QTest::newRow("long-value page zeroed, Jet 4")
        << jet4 << "zero 36"
        << "un valore del campo descrizione della tabella coltivazione";
    QTest::newRow("long-value page zeroed, Jet 3")
        << jet3 << "zero 34"
        << "un valore del campo descrizione della tabella piante";
    // MSysDb made a table, whose property record of length 0 makes libmdb loop taking memory.
    QTest::newRow("zero-length property record") << jet4 << "set 61118 1; set 98262 0" << damaged;
    QTest::newRow("cut inside a page") << jet4 << "cut 150000"
                                       << "";
}

void TestConversion::refusalLeavesTheOriginal() {
    QFETCH(QString, fixture);
    QFETCH(QString, how);
    QFETCH(QString, reason);
    TestApp app;
    INSTALL(app, fixture);
    const QString archive = app.path("dbpiante.mdb");
    QByteArray bytes = readFile(archive);
    auto keyBytes = [](double key) { return QByteArray(reinterpret_cast<const char *>(&key), 8); };
    if (how == "twin plants") {
        // The second plant takes the first one's key, wherever the key is written.
        const QJsonArray plants = notes("legacy-dbpiante-nokeys")["tables"]
                                      .toObject()["piante"]
                                      .toObject()["rows"]
                                      .toArray();
        const double first = plants.at(0).toObject()["id"].toDouble();
        const double second = plants.at(1).toObject()["id"].toDouble();
        QVERIFY(bytes.contains(keyBytes(second)));
        bytes.replace(keyBytes(second), keyBytes(first));
    } else if (how == "header only") {
        bytes = bytes.left(4096);
    } else if (how == "blank rows") {
        // The page holding the events goes to zeros: a scan passes over it without a word.
        const QJsonArray events = notes("legacy-dbpiante-nokeys")["tables"].toObject()
                                      ["coltivazione"].toObject()["rows"].toArray();
        const QByteArray text = events.last().toObject()["descrizione"].toString().toLatin1();
        const qsizetype page = bytes.indexOf(text) / 4096 * 4096;
        QVERIFY(page > 0 && bytes.at(page) == 1);
        bytes.replace(page, 4096, QByteArray(4096, '\0'));
    } else if (how.startsWith("cut ")) {
        const int parts = how.mid(4).toInt();
        bytes.truncate(bytes.size() / parts * (parts - 1) / 4096 * 4096);
    } else if (how == "noise") {
        QRandomGenerator random(1313);
        for (qsizetype i = 4096; i < bytes.size(); ++i)
            bytes[i] = char(random.bounded(256));
    } else {
        bytes = damage(bytes, how);
    }
    writeFile(archive, bytes);
    const QStringList before = files(app.dir());

    const JetConversionResult r = JetConversion(app.dir()).run();

    QVERIFY(!r.ok);
    QVERIFY2(r.error.startsWith(reason) && !r.error.isEmpty() && !r.error.endsWith('.'),
             qPrintable(r.error));
    QCOMPARE(readFile(archive), bytes);
    QCOMPARE(files(app.dir()), before);
}

// Seeded mutants of the small fixtures, converted in turn: none takes the program down or
// hangs it, none changes the file or leaves anything behind, and one that converts after a
// page was zeroed or the file cut carries exactly what the intact file carries. (A flipped or
// set byte may change a value as stored: no file can tell that.)
void TestConversion::damagedCopiesNeverPassAsWhole() {
    const QStringList fixtures = {"legacy-dbpiante", "legacy-dbpiante-jet3",
                                  "legacy-dbpiante-currency"};
    const int mutants = std::max(240, qEnvironmentVariableIntValue("SILVARO_FUZZ_MUTANTS"));
    TestApp app;
    const QString archive = app.path("dbpiante.mdb"), kept = app.path("dbpiante-access.mdb");
    auto converted = [&](const QString &fixture) {
        QList<QList<QVariantList>> tables;
        const QJsonObject t = notes(fixture)["tables"].toObject();
        for (const QString table : {"piante", "coltivazione"})
            tables << storedRows(archive, table,
                                 columnNames(t[table].toObject()["columns"].toArray()));
        return tables;
    };
    QMap<QString, QList<QList<QVariantList>>> whole;
    for (const QString &f : fixtures) {
        INSTALL(app, f);
        QFile::remove(kept);
        QVERIFY(JetConversion(app.dir()).run().ok);
        whole[f] = converted(f);
    }
    QRandomGenerator random(qEnvironmentVariableIntValue("SILVARO_FUZZ_SEED") + 1);
    int refused = 0, structural = 0, changed = 0;
    for (int i = 0; i < mutants; ++i) {
        const QString fixture = fixtures.at(i % fixtures.size());
        const QByteArray intact = readFile(fixturePath(fixture));
        const int size = int(intact.size()), pages = size / (intact.at(0x14) == 0 ? 2048 : 4096);
        const int kind = random.bounded(4);
        QString steps;
        for (int n = 0; n < (kind == 0   ? 1 + random.bounded(4)
                             : kind == 3 ? 1 + random.bounded(8)
                                         : 1);
             ++n)
            steps += kind == 0
                         ? QString("flip %1 %2;").arg(random.bounded(size)).arg(random.bounded(8))
                     : kind == 1 ? QString("zero %1;").arg(random.bounded(pages))
                     : kind == 2
                         ? QString("cut %1;").arg(random.bounded(size))
                         : QString("set %1 %2;").arg(random.bounded(size)).arg(random.bounded(256));
        const QByteArray bytes = damage(intact, steps);
        QFile::remove(archive);
        QFile::remove(kept);
        writeFile(archive, bytes);
        const QStringList before = files(app.dir());
        const JetConversionResult r = JetConversion(app.dir()).run();
        const QString what = fixture + ": " + steps + " " + r.error;
        if (!r.ok) {
            ++refused;
            QVERIFY2(readFile(archive) == bytes && files(app.dir()) == before, qPrintable(what));
            continue;
        }
        QVERIFY2(readFile(kept) == bytes, qPrintable(what));
        const bool same = converted(fixture) == whole[fixture];
        if (kind == 1 || kind == 2) {
            ++structural;
            QVERIFY2(same, qPrintable(what));
        }
        changed += !same;
    }
    qInfo("%d mutants: %d refused; of those converted, %d after a page zeroed or a cut, all "
          "whole, and %d with a value changed by a flipped or set byte",
          mutants, refused, structural, changed);
}

void TestConversion::keptNamesAreNumbered() {
    TestApp app;
    INSTALL(app, "legacy-dbpiante");
    const QByteArray original = readFile(app.path("dbpiante.mdb"));
    writeFile(app.path("dbpiante-access.mdb"), "one");
    writeFile(app.path("dbpiante-access-2.mdb"), "two");
    const JetConversion conversion(app.dir());
    QCOMPARE(conversion.keptName(), QStringLiteral("dbpiante-access-3.mdb"));

    QVERIFY(conversion.run().ok);

    QCOMPARE(readFile(app.path("dbpiante-access.mdb")), QByteArray("one"));
    QCOMPARE(readFile(app.path("dbpiante-access-2.mdb")), QByteArray("two"));
    QCOMPARE(readFile(app.path("dbpiante-access-3.mdb")), original);

    // A name taken meanwhile is never written over: the conversion fails instead.
    INSTALL(app, "legacy-dbpiante");
    const JetConversionResult r = conversion.run("dbpiante-access.mdb");
    QVERIFY(!r.ok);
    QVERIFY2(r.error.startsWith("impossibile conservare l'originale come dbpiante-access.mdb"),
             qPrintable(r.error));
    QCOMPARE(readFile(app.path("dbpiante-access.mdb")), QByteArray("one"));
    QCOMPARE(readFile(app.path("dbpiante.mdb")), original);
    QVERIFY(!QFileInfo::exists(conversion.temporaryPath()));
}

void TestConversion::folderWithoutHardLinksKeepsACopy_data() {
    QTest::addColumn<bool>("vfat");
    QTest::newRow("link(2) refused") << false;
    QTest::newRow("a vfat image") << true;
}

// FAT and exFAT give a file no second name: the original is kept as a checked copy.
void TestConversion::folderWithoutHardLinksKeepsACopy() {
    QFETCH(bool, vfat);
    TestApp app;
    QString dir = app.dir();
    std::unique_ptr<Mount> stick;
    if (vfat) {
        const QString image = app.path("stick.img");
        QFile f(image);
        if (QStandardPaths::findExecutable("mkfs.vfat").isEmpty() ||
            !f.open(QIODevice::WriteOnly) || !f.resize(16 << 20) ||
            QProcess::execute("mkfs.vfat", {image}) != 0)
            QSKIP("no mkfs.vfat (dosfstools) here");
        stick = std::make_unique<Mount>(app.path("stick"), QStringList{"-o", "loop", image});
        if (!stick->ok)
            QSKIP("this machine cannot mount a vfat image");
        dir = stick->dir;
    }
    const QByteArray original = readFile(fixturePath("legacy-dbpiante"));
    writeFile(dir + "/dbpiante.mdb", original);
    JetConversion conversion(dir);
    if (!vfat)
        conversion.setHardLink(refuseLinks);

    const JetConversionResult r = conversion.run();

    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(readFile(dir + "/dbpiante-access.mdb"), original);
    QCOMPARE(QDir(dir).entryList({"dbpiante*"}, QDir::Files),
             (QStringList{"dbpiante-access.mdb", "dbpiante.mdb"}));
    QCOMPARE(storedRows(dir + "/dbpiante.mdb", "coltivazione", {"idtrat"}).size(), r.events);
}

void TestConversion::reasonsAreItalian_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("reason");
    QTest::newRow("disk full") << false
                               << "impossibile scrivere il nuovo archivio perché il disco è pieno";
    QTest::newRow("read-only") << true
                               << "impossibile scrivere nella cartella del programma perché il "
                                  "disco è di sola lettura";
}

void TestConversion::reasonsAreItalian() {
    QFETCH(bool, readOnly);
    QFETCH(QString, reason);
    TestApp app;
    // Room for the original and little more.
    Mount disk(app.path("disk"), {"-t", "tmpfs", "-o", "size=160k", "tmpfs"});
    if (!disk.ok)
        QSKIP("mounts are not allowed here");
    const QByteArray original = readFile(fixturePath("legacy-dbpiante"));
    writeFile(disk.dir + "/dbpiante.mdb", original);
    if (readOnly)
        QCOMPARE(QProcess::execute("mount", {"-o", "remount,ro", disk.dir}), 0);

    const JetConversionResult r = JetConversion(disk.dir).run();

    QCOMPARE(r.error, reason);
    QCOMPARE(readFile(disk.dir + "/dbpiante.mdb"), original);
    QCOMPARE(files(disk.dir), QStringList{"dbpiante.mdb"});
}

void TestConversion::progressIsToldAndStops_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("stopAt"); // the share at which the progress says stop; -1: never
    QTest::addColumn<QString>("error");
    QTest::newRow("stopped while reading") << "" << 0 << "conversione annullata";
    QTest::newRow("stopped while writing") << "" << 70 << "conversione annullata";
    QTest::newRow("a file that keeps libmdb busy")
        << "set 61118 1; set 98262 0" << -1 << "il file è danneggiato";
}

// The progress is told at least every twentieth of a second, so the window it serves never
// waits on the child; a stop leaves the file as it was and no child behind.
void TestConversion::progressIsToldAndStops() {
    QFETCH(QString, how);
    QFETCH(int, stopAt);
    QFETCH(QString, error);
    TestApp app;
    INSTALL(app, "legacy-dbpiante");
    const QByteArray bytes = damage(readFile(app.path("dbpiante.mdb")), how);
    writeFile(app.path("dbpiante.mdb"), bytes);
    const QStringList before = files(app.dir());
    StopAt progress(stopAt);

    const JetConversionResult r = JetConversion(app.dir()).run({}, &progress);

    QCOMPARE(r.error, error);
    QCOMPARE(r.cancelled, stopAt >= 0);
    QVERIFY(progress.calls > 0);
    QVERIFY2(progress.longestGap < 500, qPrintable(QString::number(progress.longestGap)));
    QCOMPARE(::waitpid(-1, nullptr, WNOHANG), -1);
    QCOMPARE(readFile(app.path("dbpiante.mdb")), bytes);
    QCOMPARE(files(app.dir()), before);
}

void TestConversion::killedConversionLeavesOneWholeState_data() {
    QTest::addColumn<bool>("copies");
    QTest::newRow("the original keeps a hard link") << false;
    QTest::newRow("the original is copied") << true;
}

// A child converts and is killed at a random moment; what the next start finds is either the
// original untouched, or the whole new archive beside the kept original.
void TestConversion::killedConversionLeavesOneWholeState() {
    QFETCH(bool, copies);
    TestApp app;
    INSTALL(app, "legacy-dbpiante-nokeys");
    const QByteArray original = readFile(app.path("dbpiante.mdb"));
    JetConversion conversion(app.dir());
    if (copies)
        conversion.setHardLink(refuseLinks);
    QElapsedTimer t;
    t.start();
    QVERIFY(conversion.run().ok);
    const qint64 took = std::max<qint64>(t.nsecsElapsed() / 1000, 1000);
    const QList<QVariantList> whole =
        storedRows(app.path("dbpiante.mdb"), "coltivazione", {"idtrat", "id", "descrizione"});

    QRandomGenerator random(qEnvironmentVariableIntValue("SILVARO_CRASH_SEED") + 1);
    int before = 0, after = 0;
    for (int round = 0; round < 30; ++round) {
        QFile::remove(app.path("dbpiante.mdb"));
        QFile::remove(app.path("dbpiante-access.mdb"));
        INSTALL(app, "legacy-dbpiante-nokeys");
        std::fflush(stdout);
        const pid_t pid = ::fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            conversion.run();
            ::_exit(0);
        }
        ::usleep(useconds_t(random.bounded(quint32(took * 12 / 10))));
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }

        conversion.cleanUp();
        if (!QFileInfo::exists(app.path("dbpiante-access.mdb"))) {
            QCOMPARE(files(app.dir()), (QStringList{"dbpiante.mdb", "trattamenti.txt"}));
            QCOMPARE(readFile(app.path("dbpiante.mdb")), original);
            ++before;
        } else {
            QCOMPARE(files(app.dir()),
                     (QStringList{"dbpiante-access.mdb", "dbpiante.mdb", "trattamenti.txt"}));
            QCOMPARE(readFile(app.path("dbpiante-access.mdb")), original);
            QCOMPARE(storedRows(app.path("dbpiante.mdb"), "coltivazione",
                                {"idtrat", "id", "descrizione"}),
                     whole);
            ++after;
        }
    }
    qInfo("killed before the switch %d times, after it %d times", before, after);
    QVERIFY(before > 0);
}

void TestConversion::startupAsksConvertsAndFindsThePictures() {
    TestApp app;
    INSTALL(app, "legacy-dbpiante-nokeys");
    // Each plant's picture in the folder named by its key, as the program lays them out.
    QMap<QString, QSize> pictures;
    const QJsonArray plants =
        notes("legacy-dbpiante-nokeys")["tables"].toObject()["piante"].toObject()["rows"].toArray();
    for (int i = 0; i < plants.size(); ++i) {
        const QJsonObject p = plants.at(i).toObject();
        if (p["img"].toString() == "nd.jpg")
            continue;
        const QString key = QString::number(qint64(p["id"].toDouble()));
        app.makePicture("img/" + key + "/" + p["img"].toString(), 30 + i, 20 + i);
        pictures.insert(key, QSize(30 + i, 20 + i));
    }
    QVERIFY(!pictures.isEmpty());
    app.messages.answerNext(true);

    MainWindow &w = app.main();

    QCOMPARE(app.messages.said.size(), 2);
    QCOMPARE(app.messages.said.at(0).text, askText.arg("dbpiante-access.mdb"));
    QVERIFY(app.messages.said.at(0).question);
    QCOMPARE(app.messages.said.at(0).icon, Messages::Icon::Question);
    QCOMPARE(app.messages.said.at(1).text,
             QStringLiteral("Conversione completata: 8 piante e 32 trattamenti.\n"
                            "Trattamenti con una chiave doppia, rinumerati: 2\n"
                            "Date con un'ora, conservate senza l'ora: 2"));
    QCOMPARE(app.messages.said.at(1).icon, Messages::Icon::Information);
    QCOMPARE(w.listView->list()->rowCount(), plants.size());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    saveShot(&w, "conversion-list");
    int found = 0;
    for (int row = 0; row < w.listView->list()->rowCount(); ++row) {
        const QString key = w.listView->list()->index(row, 7).data().toString();
        if (!pictures.contains(key))
            continue;
        const QModelIndex idx = w.listView->list()->index(row, 1);
        QTest::mouseClick(w.listView->viewport(), Qt::LeftButton, {},
                          w.listView->visualRect(idx).center());
        QCOMPARE(w.heldPicture.size(), pictures.value(key));
        ++found;
    }
    QCOMPARE(found, pictures.size());
}

void TestConversion::startupNoLeavesTheFileAndAsksAgain() {
    TestApp app;
    INSTALL(app, "legacy-dbpiante");
    writeFile(app.path("dbpiante-access.mdb"), "kept before");
    const QByteArray original = readFile(app.path("dbpiante.mdb"));
    const QStringList before = files(app.dir());
    for (int start = 0; start < 2; ++start) {
        app.messages.clear();
        MainWindow w(app.ctx());
        QCOMPARE(app.messages.texts(), QStringList{askText.arg("dbpiante-access-2.mdb")});
        QCOMPARE(w.listView->list()->rowCount(), 0);
        QCOMPARE(readFile(app.path("dbpiante.mdb")), original);
        QCOMPARE(files(app.dir()), before);
    }
}

// "Annulla" in the progress dialog stops the conversion: the list stays empty and the
// original as it was.
void TestConversion::startupAnnullaStopsTheConversion() {
    TestApp app;
    INSTALL(app, "legacy-dbpiante");
    const QByteArray original = readFile(app.path("dbpiante.mdb"));
    app.messages.answerNext(true);
    QString label;
    QTimer press;
    connect(&press, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QProgressDialog *>(w); d && d->findChild<QPushButton *>()) {
                label = d->labelText() + " | " + d->findChild<QPushButton *>()->text();
                d->findChild<QPushButton *>()->click();
            }
    });
    press.start(0);

    MainWindow &w = app.main();

    QCOMPARE(label, QStringLiteral("Conversione dell'archivio in corso… | Annulla"));
    QCOMPARE(app.messages.texts().last(),
             QStringLiteral("Conversione annullata.\nIl file originale non è stato modificato."));
    QCOMPARE(w.listView->list()->rowCount(), 0);
    QCOMPARE(readFile(app.path("dbpiante.mdb")), original);
    QCOMPARE(files(app.dir()), (QStringList{"dbpiante.mdb", "trattamenti.txt"}));
}

void TestConversion::startupTellsOfAnUnusableArchive_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("said");
    const QString cannot = QStringLiteral("Impossibile aprire l'archivio dbpiante.mdb: %1.\n"
                                          "Il file non è stato modificato.");
    QTest::newRow("missing") << "missing" << cannot.arg("il file non c'è");
    QTest::newRow("empty") << "empty" << cannot.arg("il file non è un archivio di Silvaro");
    QTest::newRow("random bytes") << "random bytes"
                                  << cannot.arg("il file non è un archivio di Silvaro");
    QTest::newRow("Jet file libmdb cannot read, Yes") << "bad Jet"
                                                      << "Conversione non riuscita: ";
    QTest::newRow("Jet file that crashes libmdb, Yes")
        << "damaged Jet"
        << "Conversione non riuscita: il file è danneggiato";
}

void TestConversion::startupTellsOfAnUnusableArchive() {
    QFETCH(QString, how);
    QFETCH(QString, said);
    TestApp app;
    const QString archive = app.path("dbpiante.mdb");
    if (how == "missing") {
        QFile::remove(archive);
    } else if (how == "empty") {
        writeFile(archive, {});
    } else if (how == "random bytes") {
        QByteArray bytes(8192, '\0');
        QRandomGenerator random(7);
        for (char &c : bytes)
            c = char(random.bounded(256));
        writeFile(archive, bytes);
    } else if (how == "bad Jet") {
        QByteArray jet(4096, '\0');
        jet.replace(0, 20, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20));
        writeFile(archive, jet);
        app.messages.answerNext(true);
    } else {
        INSTALL(app, "legacy-dbpiante");
        writeFile(archive, damage(readFile(archive), "set 8247 48"));
        app.messages.answerNext(true);
    }
    const QByteArray bytes = readFile(archive);
    const QStringList before = files(app.dir());

    MainWindow &w = app.main();

    const QString last = app.messages.said.last().text;
    QCOMPARE(app.messages.said.last().icon, Messages::Icon::Exclamation);
    if (how.endsWith("Jet")) {
        QCOMPARE(app.messages.said.size(), 2);
        QVERIFY2(last.startsWith(said) && last.endsWith(failedEnd), qPrintable(last));
    } else {
        QCOMPARE(app.messages.texts(), QStringList{said});
    }
    QCOMPARE(w.listView->list()->rowCount(), 0);
    QCOMPARE(readFile(archive), bytes);
    QCOMPARE(files(app.dir()), before);
}

QTEST_MAIN(TestConversion)
#include "test_conversion.moc"
