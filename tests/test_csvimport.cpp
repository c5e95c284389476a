#include "archive/csvexport.h"
#include "archive/csvimport.h"
#include "archive/csvreader.h"
#include "archive/fieldtable.h"
#include "csvimport/csvfilepanel.h"
#include "csvimport/csvimportdialog.h"
#include "mainwindow/mainwindow.h"
#include "support/testapp.h"
#include "ui/lists/reportlist.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

namespace {

QString writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Every row of a table, each value with its SQLite type: what a round trip must keep.
QStringList rowsOf(TestApp &app, const QString &table) {
    QStringList rows;
    const QStringList columns = FieldTable::columns(table);
    QStringList parts;
    for (const QString &c : columns)
        parts << QStringLiteral("typeof(%1) || ':' || coalesce(%1, 'NULL')").arg(c);
    const int n = app.count(table);
    for (int i = 0; i < n; ++i)
        rows << app.sqlValue(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid LIMIT 1 OFFSET ?")
                                 .arg(parts.join(" || '|' || "), table),
                             {i})
                    .toString();
    return rows;
}

// An import of plants (and events) from texts, into the app's archive.
struct Import {
    TestApp &app;
    CsvImport import{app.ctx().folder};
    Import(TestApp &a, const QByteArray &plants, const QByteArray &events = {}) : app(a) {
        if (!plants.isNull())
            import.open(FieldTable::plants, writeFile(app.path("piante.csv"), plants));
        if (!events.isNull())
            import.open(FieldTable::events, writeFile(app.path("trattamenti.csv"), events));
    }
    QStringList reasons(const CsvImport::Outcome &o) const {
        QStringList r;
        for (const auto &s : o.skipped)
            r << QStringLiteral("%1:%2 %3").arg(s.file).arg(s.row).arg(s.reason);
        return r;
    }
};

} // namespace

class TestCsvImport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cleanup() { closeAllWindows(); }
    void readsEncodingsSeparatorsAndQuotes_data();
    void readsEncodingsSeparatorsAndQuotes();
    void proposesColumnsFromTheHeader_data();
    void proposesColumnsFromTheHeader();
    void dryRunTellsWhyEachRowIsSkipped_data();
    void dryRunTellsWhyEachRowIsSkipped();
    void duplicatesAreSkippedOrUpdated_data();
    void duplicatesAreSkippedOrUpdated();
    void exportThenImportGivesBackEveryValue();
    void exportWritesMalformedTextsAsTheyRead();
    void cancelledOrFailedImportStoresNothing_data();
    void cancelledOrFailedImportStoresNothing();
    void windowImportsTellsAndRefreshesTheList();
};

void TestCsvImport::readsEncodingsSeparatorsAndQuotes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("records"); // fields by '|', records by '/'
    QTest::newRow("UTF-8 with BOM, ;") << QByteArray("\xEF\xBB\xBF"
                                                     "a;b\r\n\xC3\xA0;c\r\n")
                                       << "UTF-8 con BOM"
                                       << "a|b/à|c";
    QTest::newRow("UTF-8, comma, LF") << QByteArray("a,b,c\nd,e,f\n") << "UTF-8"
                                      << "a|b|c/d|e|f";
    QTest::newRow("Windows-1252, tab") << QByteArray("a\tb\n\xE0\x80\tc") << "Windows-1252"
                                       << "a|b/à€|c";
    QTest::newRow("UTF-16 with BOM") << QByteArray("\xFF\xFE"
                                                   "a\0;\0b\0",
                                                   8)
                                     << "UTF-16"
                                     << "a|b";
    QTest::newRow("decimal commas inside ;") << QByteArray("x;1,5;2\ny;3,5;4\n") << "UTF-8"
                                             << "x|1,5|2/y|3,5|4";
    QTest::newRow("quotes, separators and breaks inside")
        << QByteArray("\"a;b\";\"c\"\"d\"\r\n\"two\r\nlines\";\"\"\r\n") << "UTF-8"
        << "a;b|c\"d/two\r\nlines|";
    QTest::newRow("CR line ends, empty last field") << QByteArray("a;\rb;c\r") << "UTF-8"
                                                    << "a|/b|c";
    QTest::newRow("text after the closing quote") << QByteArray("\"ab\"c;d\n") << "UTF-8"
                                                  << "abc|d";
}

void TestCsvImport::readsEncodingsSeparatorsAndQuotes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, encoding);
    QFETCH(QString, records);
    CsvReader r;
    r.setBytes(bytes);
    QCOMPARE(r.encoding(), encoding);
    QStringList read;
    while (r.next()) {
        QStringList fields;
        for (const QStringView f : r.fields())
            fields << f.toString();
        read << fields.join('|');
        QVERIFY(!r.unclosedQuote());
    }
    QCOMPARE(read.join('/'), records);
}

void TestCsvImport::proposesColumnsFromTheHeader_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("header");
    QTest::addColumn<QStringList>("columns");
    QTest::newRow("labels, case and accents")
        << FieldTable::plants
        << QByteArray("SPECIE;Identificazione;umidita;Prezzo Euro :;Data di acquisto;Colore\n"
                      "Rosa;r1;50;3;1/2/2020;rosso\n")
        << true << QStringList{"specie", "identificazione", "umdita", "prezzo", "dataacquisto", ""};
    QTest::newRow("a field named twice goes to the first")
        << FieldTable::plants << QByteArray("Specie;specie\nRosa;Ficus\n") << true
        << QStringList{"specie", ""};
    QTest::newRow("a log sheet")
        << FieldTable::events
        << QByteArray("Data;Tipo Intervento/Evento;Identificazione;Temperatura °C\n"
                      "1/2/2020;Annaffiatura;r1;20\n")
        << true << QStringList{"datatratt", "intervento", "identificazione", "temperatura"};
    QTest::newRow("no header: the export's order")
        << FieldTable::plants << QByteArray("1;Rosacee;Rosa\n") << false
        << QStringList{"id", "famiglia", "genere"};
}

void TestCsvImport::proposesColumnsFromTheHeader() {
    QFETCH(QString, table);
    QFETCH(QByteArray, file);
    QFETCH(bool, header);
    QFETCH(QStringList, columns);
    TestApp app;
    CsvImport import(app.ctx().folder);
    QVERIFY(import.open(table, writeFile(app.path("f.csv"), file)));
    QCOMPARE(import.hasHeader(table), header);
    QCOMPARE(import.columns(table), columns);
}

void TestCsvImport::dryRunTellsWhyEachRowIsSkipped_data() {
    QTest::addColumn<QByteArray>("plants");
    QTest::addColumn<QByteArray>("events");
    QTest::addColumn<QStringList>("reasons");
    QTest::addColumn<QString>("stored"); // prezzo or temperatura, datatratt of the good rows
    const QByteArray head("specie;identificazione;prezzo;dataacquisto;note\n");
    QTest::newRow("good forms") << head + "Rosa;a;1.500;4/3/2020;\nRosa;b;12,5;2020-03-04;x\n"
                                << QByteArray() << QStringList{} << "1500 12.5";
    QTest::newRow("unreadable date and number")
        << head + "Rosa;a;dodici;31/02/2020;\n"
        << QByteArray()
        << QStringList{"piante.csv:2 Data di acquisto: data non leggibile \"31/02/2020\" (si "
                       "scrive g/m/aaaa o aaaa-mm-gg); Prezzo: numero non leggibile \"dodici\""}
        << "";
    QTest::newRow("text too long")
        << head + "Rosa;a;1;;" + QByteArray(65536, 'x') + "\n"
        << QByteArray()
        << QStringList{"piante.csv:2 Note sulla coltivazione: testo troppo lungo (65536 "
                       "caratteri, al massimo 65535)"}
        << "";
    QTest::newRow("quote never closed")
        << head + "Rosa;a;1;;\"open\nRosa;b;2;;\n"
        << QByteArray()
        << QStringList{"piante.csv:2 virgolette aperte e mai chiuse: il resto del file è "
                       "finito in questo campo"}
        << "";
    const QByteArray log("identificazione;specie;data;temperatura\n");
    QTest::newRow("events by identificazione, then specie")
        << head + "Rosa;a;1;;\nFicus;a;1;;\nRosa;c;1;;\n"
        << log + "a;Rosa;1/1/2021;5\nc;;2/1/2021;6\na;;3/1/2021;7\nz;;4/1/2021;8\n;;;\n"
        << QStringList{"trattamenti.csv:4 più piante con identificazione \"a\": serve la specie "
                       "per sceglierne una",
                       "trattamenti.csv:5 nessuna pianta con identificazione \"z\""}
        << "5.0 2021-01-01 6.0 2021-01-02";
    QTest::newRow("events by key, their plant skipped or missing")
        << QByteArray("id;specie;prezzo\n7;Rosa;1\n8;Ficus;male\n")
        << QByteArray("id;data;temperatura\n7;1/1/2021;1\n8;1/1/2021;2\n9;1/1/2021;3\n")
        << QStringList{"piante.csv:3 Prezzo: numero non leggibile \"male\"",
                       "trattamenti.csv:3 la sua pianta (riga 3 del file delle piante) non è "
                       "stata importata",
                       "trattamenti.csv:4 nessuna pianta ha la chiave 9"}
        << "1.0 2021-01-01";
}

void TestCsvImport::dryRunTellsWhyEachRowIsSkipped() {
    QFETCH(QByteArray, plants);
    QFETCH(QByteArray, events);
    QFETCH(QStringList, reasons);
    QFETCH(QString, stored);
    TestApp app;
    Import in(app, plants, events);
    const auto checked = in.import.check(app.clock.now());
    QVERIFY2(checked, qPrintable(in.import.error()));
    QCOMPARE(in.reasons(*checked), reasons);
    QCOMPARE(app.count("piante"), 0); // a dry run writes nothing
    const auto written = in.import.write(app.clock.now());
    QVERIFY2(written, qPrintable(in.import.error()));
    QCOMPARE(in.reasons(*written), reasons);
    QCOMPARE(written->plants, checked->plants);
    QCOMPARE(written->events, checked->events);
    QCOMPARE(app.count("coltivazione"), int(written->events));
    QStringList values;
    const bool withEvents = !events.isNull();
    for (int i = 0; i < (withEvents ? written->events : written->plants); ++i)
        values << (withEvents ? app.sqlValue("SELECT temperatura || ' ' || datatratt FROM "
                                             "coltivazione ORDER BY rowid LIMIT 1 OFFSET ?",
                                             {i})
                              : app.sqlValue("SELECT prezzo FROM piante ORDER BY rowid LIMIT 1 "
                                             "OFFSET ?",
                                             {i}))
                      .toString();
    QCOMPARE(values.join(' '), stored);
    QVERIFY(QFileInfo::exists(app.path("backup/dbpiante-2026-12-07.mdb")));
}

void TestCsvImport::duplicatesAreSkippedOrUpdated_data() {
    QTest::addColumn<bool>("update");
    QTest::addColumn<QByteArray>("plants");
    QTest::addColumn<QStringList>("reasons");
    QTest::addColumn<QString>("prices"); // every plant's, by key
    const QByteArray foreign("Specie;Identificazione;Prezzo\nrosa ;R1;5\nRosa;r1;6\nRosa;r2;7\n");
    QTest::newRow("by names, skipped") << false << foreign
                                       << QStringList{"piante.csv:2 già in archivio (chiave 1)",
                                                      "piante.csv:3 già in archivio (chiave 1)"}
                                       << "1=2.0 712202636000=7.0";
    QTest::newRow("by names, updated")
        << true << foreign << QStringList{"piante.csv:3 pianta già aggiornata dalla riga 2"}
        << "1=5.0 712202636000=7.0";
    const QStringList head = FieldTable::columns(FieldTable::plants);
    auto exported = [&](const char *id, const char *specie, const char *prezzo) {
        QStringList row(head.size());
        row[0] = id;
        row[head.indexOf("specie")] = specie;
        row[head.indexOf("prezzo")] = prezzo;
        return row.join(';').toUtf8() + "\n";
    };
    const QByteArray own = head.join(';').toUtf8() + "\n" + exported("1", "Altra", "9") +
                           exported("5", "Nuova", "8") + exported("5", "Gemella", "7");
    QTest::newRow("own export: the same key, skipped; free keys kept")
        << false << own
        << QStringList{"piante.csv:2 già in archivio (chiave 1)",
                       "piante.csv:4 chiave 5 già usata alla riga 3"}
        << "1=2.0 5=8.0";
    QTest::newRow("own export: the same key, updated") << true << own
                                                       << QStringList{"piante.csv:4 chiave 5 già "
                                                                      "usata alla riga 3"}
                                                       << "1=9.0 5=8.0";
}

void TestCsvImport::duplicatesAreSkippedOrUpdated() {
    QFETCH(bool, update);
    QFETCH(QByteArray, plants);
    QFETCH(QStringList, reasons);
    QFETCH(QString, prices);
    TestApp app;
    app.addPlant(1, {{"specie", "Rosa"}, {"identificazione", "r1"}, {"prezzo", 2.0}});
    Import in(app, plants);
    in.import.setDuplicates(update ? CsvImport::Duplicates::Update : CsvImport::Duplicates::Skip);
    const auto written = in.import.write(app.clock.now());
    QVERIFY2(written, qPrintable(in.import.error()));
    QCOMPARE(in.reasons(*written), reasons);
    QStringList got;
    for (int i = 0; i < app.count("piante"); ++i)
        got << app.sqlValue("SELECT id || '=' || prezzo FROM piante ORDER BY id LIMIT 1 OFFSET ?",
                            {i})
                   .toString();
    QCOMPARE(got.join(' '), prices);
}

void TestCsvImport::exportThenImportGivesBackEveryValue() {
    TestApp from;
    const QStringList texts = {
        " ",    "",           "a;b",   "say \"hi\"", "two\r\nlines\nand\rmore",
        "=1+1", "'=quoted",   "-5",    "@x",         "\ttab",
        "'",    "Ümlaut € 🌱", "1.500", "12,5"};
    const QList<double> numbers = {0, 1500, 12.5, -0.25, 1e-7, 123456789.125, -3};
    for (int i = 0; i < texts.size(); ++i) {
        QVariantMap v;
        for (const Field &f : FieldTable::plant())
            if (f.kind == Schema::Kind::Text)
                v[f.column] = texts.at((i + v.size()) % texts.size());
            else if (f.kind == Schema::Kind::Number)
                v[f.column] = numbers.at((i + v.size()) % numbers.size());
        v["dataacquisto"] = i % 2 ? "1900-01-01" : "2026-02-28";
        from.addPlant(100 + i, v);
        from.addEvent(500 + i, 100 + i, texts.at(i), i % 3 ? "2024-12-31" : "1900-01-01",
                      {{"temperatura", numbers.at(i % numbers.size())},
                       {"umidita", numbers.at((i + 1) % numbers.size())},
                       {"descrizione", texts.at((i + 2) % texts.size())}});
    }
    QTemporaryDir out;
    QVERIFY(CsvExport(from.path("dbpiante.mdb")).write(out.path()));
    TestApp to;
    CsvImport import(to.ctx().folder);
    QVERIFY(import.open(FieldTable::plants, QDir(out.path()).filePath(CsvExport::plantsFile)));
    QVERIFY(import.open(FieldTable::events, QDir(out.path()).filePath(CsvExport::eventsFile)));
    const auto written = import.write(to.clock.now());
    QVERIFY2(written, qPrintable(import.error()));
    QCOMPARE(written->skipped.size(), 0);
    for (const QString &table : {FieldTable::plants, FieldTable::events})
        QCOMPARE(rowsOf(to, table), rowsOf(from, table));
}

// Another tool may have stored bytes that are no UTF-8 as a text, or a blob: they go out as
// reading them as text gives them, not as the bytes stored.
void TestCsvImport::exportWritesMalformedTextsAsTheyRead() {
    TestApp app;
    app.addPlant(1, {{"specie", "x"}});
    app.sql("UPDATE piante SET note = CAST(x'66c3a8ff41eda080' AS TEXT), vaso = x'3d41'");
    const QString note = app.sqlValue("SELECT note FROM piante").toString();
    QTemporaryDir out;
    QVERIFY(CsvExport(app.path("dbpiante.mdb")).write(out.path()));
    QFile file(QDir(out.path()).filePath(CsvExport::plantsFile));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray row = file.readAll().split('\n').value(1);
    QVERIFY2(row.contains(';' + note.toUtf8() + ';'), row.toHex(' ').constData());
    QVERIFY(row.contains(";'=A;"));
}

void TestCsvImport::cancelledOrFailedImportStoresNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("cancelled") << "cancel";
    QTest::newRow("a write refused halfway") << "trigger";
    QTest::newRow("no day's copy can be made") << "backup";
}

void TestCsvImport::cancelledOrFailedImportStoresNothing() {
    QFETCH(QString, how);
    TestApp app;
    app.addPlant(1, {{"specie", "Rosa"}, {"identificazione", "r1"}});
    QByteArray plants("specie;identificazione\n"), events("identificazione;data;descrizione\n");
    for (int i = 0; i < 3000; ++i) {
        plants += "Rosa;p" + QByteArray::number(i) + "\n";
        events += "r1;1/1/2021;" + QByteArray(i == 2500 ? "boom" : "ok") + "\n";
    }
    if (how == "trigger")
        app.sql("CREATE TRIGGER boom BEFORE INSERT ON coltivazione WHEN NEW.descrizione = 'boom' "
                "BEGIN SELECT RAISE(ABORT, 'rifiutato'); END");
    if (how == "backup")
        writeFile(app.path("backup"), "not a folder");
    const QByteArray before = TestApp::fileHash(app.path("dbpiante.mdb"));
    Import in(app, plants, events);
    int calls = 0;
    const auto written = in.import.write(
        app.clock.now(), [&](qint64, qint64) { return how != "cancel" || ++calls < 4; });
    QVERIFY(!written);
    QCOMPARE(in.import.stopped(), how == "cancel");
    QVERIFY(how == "cancel" ? in.import.error().isEmpty() : !in.import.error().isEmpty());
    if (how == "trigger")
        QVERIFY2(in.import.error().contains("rifiutato"), qPrintable(in.import.error()));
    QCOMPARE(TestApp::fileHash(app.path("dbpiante.mdb")), before);
    QCOMPARE(app.count("piante"), 1);
    QCOMPARE(app.count("coltivazione"), 0);
}

void TestCsvImport::windowImportsTellsAndRefreshesTheList() {
    TestApp app;
    MainWindow &w = app.main();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString plants =
        writeFile(app.path("collezione.csv"),
                  "Specie;Identificazione;Prezzo;Data di acquisto\nRosa;r1;12,5;1/3/2020\n"
                  "Ficus;f1;caro;\nAcer;a1;3;2021-05-06\n");
    app.files.next = plants;
    auto *dialog = openWindow<CsvImportDialog>(app, "importAction");
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QTest::mouseClick(dialog->plantPanel->browseButton, Qt::LeftButton);
    QCOMPARE(dialog->plantPanel->previewTable->rowCount(), 3);
    const int price = int(FieldTable::columns(FieldTable::plants).indexOf("prezzo")) + 2;
    QCOMPARE(dialog->plantPanel->previewTable->item(0, 1)->text(), "nuova");
    QCOMPARE(dialog->plantPanel->previewTable->item(0, price)->text(), "12,5");
    auto *priceField = dialog->plantPanel->findChild<QComboBox *>("field3");
    QCOMPARE(priceField->accessibleName(), "Campo della colonna Prezzo");
    QCOMPARE(priceField->currentData().toString(), "prezzo");
    saveShot(dialog, "csv-import");
    QTest::mouseClick(dialog->tryButton, Qt::LeftButton);
    QCOMPARE(dialog->skippedList->toPlainText(),
             "collezione.csv, riga 3: Prezzo: numero non leggibile \"caro\"");
    app.messages.answerNext(true);
    QTest::mouseClick(dialog->importButton, Qt::LeftButton);
    QCOMPARE(app.messages.texts().last(), "Importate 2 piante e 0 trattamenti; 1 righe saltate.");
    QCOMPARE(w.listView->list()->rowCount(), 2);
    QVERIFY(QFile::exists(app.path("collezione-righe-saltate.csv")));
    QVERIFY(!dialog->importButton->isEnabled());
    saveShot(dialog, "csv-import-done");
}

QTEST_MAIN(TestCsvImport)
#include "test_csvimport.moc"
