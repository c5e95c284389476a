#include "mainwindow/mainwindow.h"
#include "printing/labelprintdialog.h"
#include "support/testapp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QtTest>

namespace {

// A sheet as its maker publishes it, in mm: what the printed labels must line up with.
struct Published {
    int format; // in the window's list
    int rows, columns;
    double width, height, left, top, columnGap, rowGap;
    int perSheet() const { return rows * columns; }
    // The cell in points, 0 the top left.
    QRectF cell(int index) const {
        const double pt = 72 / 25.4;
        const int r = index / columns, c = index % columns;
        return {(left + c * (width + columnGap)) * pt, (top + r * (height + rowGap)) * pt,
                width * pt, height * pt};
    }
};
const Published a4x21{0, 7, 3, 63.5, 38.1, 7.25, 15.15, 2.5, 0};
const Published a4x14{1, 7, 2, 99.1, 38.1, 4.65, 15.15, 2.5, 0};
const Published a4x24{2, 8, 3, 70, 37, 0, 0.5, 0, 0};
const Published a4x40{3, 10, 4, 48.5, 25.4, 8, 21.5, 0, 0};
const Published own{4, 3, 2, 80, 50, 20, 30, 10, 5};

struct Word {
    int page; // 1 the first
    QRectF box;
    QString text;
};

QByteArray run(const QString &program, const QStringList &args) {
    QProcess proc;
    proc.start(program, args);
    return proc.waitForFinished(60000) ? proc.readAllStandardOutput() : QByteArray();
}

// Every word of the PDF with its box in points, as poppler reads it back.
QList<Word> words(const QString &pdf) {
    const QString html = QString::fromUtf8(run("pdftotext", {"-bbox", pdf, "-"}));
    static const QRegularExpression tag(
        QStringLiteral("<page |<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" "
                       "yMax=\"([-0-9.]+)\">([^<]*)</word>"));
    QList<Word> found;
    int page = 0;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(1).isEmpty()) {
            ++page;
            continue;
        }
        const auto at = [&m](int n) { return m.captured(n).toDouble(); };
        found.append({page, QRectF(QPointF(at(1), at(2)), QPointF(at(3), at(4))),
                      m.captured(5).replace("&apos;", "'").replace("&amp;", "&")});
    }
    return found;
}

bool inside(const QRectF &box, const QRectF &cell) {
    return cell.adjusted(-0.1, -0.1, 0.1, 0.1).contains(box);
}

} // namespace

Q_DECLARE_METATYPE(Published)

class TestLabels : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { closeAllWindows(); }

    void labelsLineUpWithTheSheet_data();
    void labelsLineUpWithTheSheet();
    void printingStartsAtTheFirstFreeLabel_data();
    void printingStartsAtTheFirstFreeLabel();
    void longTextShrinksThenIsCut_data();
    void longTextShrinksThenIsCut();
    void codeReadsBackAsThePlant_data();
    void codeReadsBackAsThePlant();
    void windowTakesThePlantsOfTheSearch();
    void choicesAreKeptForTheNextTime();

private:
    LabelPrintDialog *open(TestApp &app);
    // Only these fields, in this order.
    static void chooseFields(LabelPrintDialog *w, const QStringList &columns);
    static void chooseSheet(LabelPrintDialog *w, const Published &sheet);
    // Prints with these choices to a PDF file; its path, or nothing when nothing was printed.
    QString printed(TestApp &app, LabelPrintDialog *w, const Published &sheet,
                    const QStringList &fields, bool code = false, int first = 1);
};

void TestLabels::initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    for (const char *tool : {"pdftotext", "pdftoppm", "zbarimg"})
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), tool); // scripts/setup
}

LabelPrintDialog *TestLabels::open(TestApp &app) {
    return triggerAction(&app.main(), "labelsAction")
               ? qobject_cast<LabelPrintDialog *>(app.modal.last())
               : nullptr;
}

void TestLabels::chooseFields(LabelPrintDialog *w, const QStringList &columns) {
    QListWidget *list = w->fieldList;
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(Qt::Unchecked);
    for (qsizetype n = columns.size() - 1; n >= 0; --n)
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->data(Qt::UserRole) == columns.at(n)) {
                QListWidgetItem *item = list->takeItem(i);
                list->insertItem(0, item);
                item->setCheckState(Qt::Checked);
                break;
            }
}

void TestLabels::chooseSheet(LabelPrintDialog *w, const Published &sheet) {
    w->formatCombo->setCurrentIndex(sheet.format);
    if (sheet.format < 4)
        return;
    w->rowsSpin->setValue(sheet.rows);
    w->columnsSpin->setValue(sheet.columns);
    w->widthSpin->setValue(sheet.width);
    w->heightSpin->setValue(sheet.height);
    w->leftSpin->setValue(sheet.left);
    w->topSpin->setValue(sheet.top);
    w->columnGapSpin->setValue(sheet.columnGap);
    w->rowGapSpin->setValue(sheet.rowGap);
}

QString TestLabels::printed(TestApp &app, LabelPrintDialog *w, const Published &sheet,
                            const QStringList &fields, bool code, int first) {
    chooseSheet(w, sheet);
    chooseFields(w, fields);
    w->codeCheck->setChecked(code);
    w->firstLabelSpin->setValue(first);
    app.printer.pdfPath = app.path("etichette.pdf");
    if (!w->print())
        return {};
    // Kept beside the windows' pictures, to be looked at.
    if (const QString shots = qEnvironmentVariable("SILVARO_SHOTS"); !shots.isEmpty())
        QFile::copy(app.printer.pdfPath,
                    QStringLiteral("%1/%2-%3.pdf")
                        .arg(shots, QTest::currentTestFunction(), QTest::currentDataTag()));
    return app.printer.pdfPath;
}

void TestLabels::labelsLineUpWithTheSheet_data() {
    QTest::addColumn<Published>("sheet");
    QTest::newRow("3 x 7") << a4x21;
    QTest::newRow("2 x 7") << a4x14;
    QTest::newRow("3 x 8") << a4x24;
    QTest::newRow("4 x 10") << a4x40;
    QTest::newRow("own") << own;
}

// A full sheet: each label's text lies in its own cell, where the maker put it.
void TestLabels::labelsLineUpWithTheSheet() {
    QFETCH(Published, sheet);
    TestApp app;
    for (int n = 1; n <= sheet.perSheet(); ++n)
        app.addPlant(n, {{"identificazione", QStringLiteral("L%1").arg(n)},
                         {"vaso", QStringLiteral("V%1").arg(n)}});
    LabelPrintDialog *w = open(app);
    QVERIFY(w);
    const QString pdf = printed(app, w, sheet, {"identificazione", "vaso"});
    QVERIFY(!pdf.isEmpty());
    const QList<Word> read = words(pdf);
    QCOMPARE(read.size(), 2 * sheet.perSheet());
    QCOMPARE(read.constLast().page, 1);
    for (int i = 0; i < w->plantList->count(); ++i) {
        const QString name = w->plantList->item(i)->text();
        const QString pot = QStringLiteral("V") + name.mid(1);
        QRectF block;
        int seen = 0;
        for (const Word &word : read)
            if (word.text == name || word.text == pot) {
                ++seen;
                QVERIFY2(inside(word.box, sheet.cell(i)), qPrintable(word.text));
                block |= word.box;
            }
        QCOMPARE(seen, 2);
        // Where it lines up: 1.5 mm in from the left edge, centred in the height.
        const double mm = 72 / 25.4;
        QVERIFY2(qAbs(block.left() - sheet.cell(i).left() - 1.5 * mm) < 0.3 * mm, qPrintable(name));
        QVERIFY2(qAbs(block.center().y() - sheet.cell(i).center().y()) < 1 * mm, qPrintable(name));
    }
}

void TestLabels::printingStartsAtTheFirstFreeLabel_data() {
    QTest::addColumn<Published>("sheet");
    QTest::addColumn<int>("first"); // as the grower counts, 1 the top left
    QTest::addColumn<int>("plants");
    QTest::addColumn<int>("sheets");
    QTest::newRow("3 x 7 from the fifth") << a4x21 << 5 << 18 << 2;
    QTest::newRow("4 x 10, the last one left") << a4x40 << 40 << 2 << 2;
    QTest::newRow("2 x 7 from the second row") << a4x14 << 3 << 12 << 1;
}

void TestLabels::printingStartsAtTheFirstFreeLabel() {
    QFETCH(Published, sheet);
    QFETCH(int, first);
    QFETCH(int, plants);
    QFETCH(int, sheets);
    TestApp app;
    for (int n = 1; n <= plants; ++n)
        app.addPlant(n, {{"identificazione", QStringLiteral("L%1").arg(n)}});
    LabelPrintDialog *w = open(app);
    QVERIFY(w);
    const QString pdf = printed(app, w, sheet, {"identificazione"}, false, first);
    QVERIFY(!pdf.isEmpty());
    const QList<Word> read = words(pdf);
    QCOMPARE(read.size(), plants);
    QCOMPARE(read.constLast().page, sheets);
    for (int i = 0; i < plants; ++i) {
        const int slot = first - 1 + i;
        const QString name = w->plantList->item(i)->text();
        const auto word =
            std::find_if(read.cbegin(), read.cend(), [&](const Word &x) { return x.text == name; });
        QVERIFY2(word != read.cend(), qPrintable(name));
        QCOMPARE(word->page, slot / sheet.perSheet() + 1);
        QVERIFY2(inside(word->box, sheet.cell(slot % sheet.perSheet())), qPrintable(name));
    }
}

void TestLabels::longTextShrinksThenIsCut_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("fits"); // "largest", "smaller" or "cut"
    QTest::newRow("short, the largest type") << QStringList{"Ficus"} << "largest";
    QTest::newRow("longer, smaller type") << QStringList{"Pachypodium lamerei"} << "smaller";
    QTest::newRow("too long, cut")
        << QStringList{"Euphorbia milii var. splendens 'Rosso di Sicilia' dal vivaio di Palermo"}
        << "cut";
    QTest::newRow("too many lines, cut")
        << QStringLiteral("r1 r2 r3 r4 r5 r6 r7 r8 r9 r10 r11 r12 r13").split(u' ') << "cut";
}

// On the smallest labels, beside a short reference label.
void TestLabels::longTextShrinksThenIsCut() {
    QFETCH(QStringList, lines);
    QFETCH(QString, fits);
    // The lines go into fields of their own, in the table's order.
    const QStringList columns = {
        "famiglia", "genere", "specie",    "identificazione", "habitat", "r3",   "r4",
        "r1",       "r2",     "fioritura", "descrizione",     "vaso",    "note", "temperatura"};
    TestApp app;
    app.addPlant(1, {{"famiglia", "Ficus"}});
    QVariantMap values;
    for (qsizetype i = 0; i < lines.size(); ++i)
        values.insert(columns.at(i), lines.at(i));
    values.insert("temperatura", 0); // a number left at 0 gives no line
    app.addPlant(2, values);
    LabelPrintDialog *w = open(app);
    QVERIFY(w);
    const QString pdf = printed(app, w, a4x40, columns);
    QVERIFY(!pdf.isEmpty());
    // The list shows the plant stored last at the top.
    QVERIFY(w->plantList->item(1)->text().isEmpty());
    const QRectF cell = a4x40.cell(0), reference = a4x40.cell(1);
    QStringList text;
    double height = 0, referenceHeight = 0;
    for (const Word &word : words(pdf)) {
        if (inside(word.box, reference)) {
            referenceHeight = word.box.height();
            continue;
        }
        QVERIFY2(inside(word.box, cell), qPrintable(word.text));
        text << word.text;
        height = std::max(height, word.box.height());
    }
    QVERIFY(referenceHeight > 0);
    const QString whole = lines.join(u' ');
    const QString read = text.join(u' ');
    if (fits == "cut") {
        QVERIFY2(read.endsWith(QStringLiteral("\u2026")), qPrintable(read));
        QVERIFY2(whole.startsWith(read.chopped(1).trimmed()), qPrintable(read));
        // The smallest type: half the largest, the reference label's.
        QVERIFY(qAbs(height / referenceHeight - 0.5) < 0.02);
    } else {
        QCOMPARE(read, whole);
        if (fits == "largest")
            QCOMPARE(height, referenceHeight);
        else
            QVERIFY(height < referenceHeight * 0.95 && height > referenceHeight * 0.55);
    }
}

void TestLabels::codeReadsBackAsThePlant_data() {
    QTest::addColumn<Published>("sheet");
    QTest::addColumn<QString>("specie");
    QTest::addColumn<QString>("name");
    QTest::newRow("3 x 7") << a4x21 << "Ficus benjamina"
                           << "Bonsai del terrazzo";
    QTest::newRow("4 x 10, accents") << a4x40 << "Olea europaea"
                                     << "Olivo n° 3 – più vecchio";
}

void TestLabels::codeReadsBackAsThePlant() {
    QFETCH(Published, sheet);
    QFETCH(QString, specie);
    QFETCH(QString, name);
    TestApp app;
    const qint64 key = app.addPlant(712202636000, {{"specie", specie}, {"identificazione", name}});
    LabelPrintDialog *w = open(app);
    QVERIFY(w);
    const QString pdf = printed(app, w, sheet, {"specie", "identificazione"}, true);
    QVERIFY(!pdf.isEmpty());
    const QString png = app.path("pagina");
    run("pdftoppm", {"-r", "300", "-gray", "-png", "-singlefile", pdf, png});
    const QString decoded =
        QString::fromUtf8(run("zbarimg", {"-q", "--raw", png + ".png"})).trimmed();
    QCOMPARE(decoded,
             QStringLiteral("id: %1\nspecie: %2\nidentificazione: %3").arg(key).arg(specie, name));
    // The text stays clear of the code and inside the label.
    for (const Word &word : words(pdf))
        QVERIFY2(inside(word.box, sheet.cell(0)), qPrintable(word.text));
}

void TestLabels::windowTakesThePlantsOfTheSearch() {
    TestApp app;
    app.addPlant(1, {{"specie", "Ficus carica"}, {"identificazione", "A"}});
    app.addPlant(2, {{"specie", "Olea europaea"}, {"identificazione", "B"}});
    app.addPlant(3, {{"specie", "Ficus retusa"}, {"identificazione", "C"}});
    MainWindow &main = app.main();
    main.searchFieldCombo->setCurrentIndex(0);
    main.searchEdit->setText("Fic");
    LabelPrintDialog *w = open(app);
    QVERIFY(w);
    QCOMPARE(w->plantList->count(), 2);
    QCOMPARE(w->plantList->item(0)->text(), QStringLiteral("Ficus retusa - C"));
    QCOMPARE(w->plantList->item(1)->text(), QStringLiteral("Ficus carica - A"));
    QTest::mouseClick(w->noneButton, Qt::LeftButton);
    QVERIFY(printed(app, w, a4x21, {"identificazione"}).isEmpty());
    QCOMPARE(app.messages.texts().value(0),
             QStringLiteral("Nessuna pianta scelta per le etichette."));
    QCOMPARE(app.printer.calls, 0);
    QTest::mouseClick(w->allButton, Qt::LeftButton);
    w->plantList->item(0)->setCheckState(Qt::Unchecked);
    const QList<Word> read = words(printed(app, w, a4x21, {"identificazione"}));
    QCOMPARE(read.size(), 1);
    QCOMPARE(read.at(0).text, QStringLiteral("A"));
}

void TestLabels::choicesAreKeptForTheNextTime() {
    TestApp app;
    LabelPrintDialog *w = open(app);
    QVERIFY(w);
    chooseSheet(w, own);
    chooseFields(w, {"vaso", "specie"});
    w->codeCheck->setChecked(false);
    w->close();
    QTRY_VERIFY(app.modal.last() == nullptr);

    w = open(app);
    QVERIFY(w);
    QCOMPARE(w->formatCombo->currentIndex(), own.format);
    QCOMPARE(w->sheet().rows, own.rows);
    QCOMPARE(w->sheet().label, QSizeF(own.width, own.height));
    QStringList checked;
    for (int i = 0; i < w->fieldList->count(); ++i)
        if (w->fieldList->item(i)->checkState() == Qt::Checked)
            checked << w->fieldList->item(i)->data(Qt::UserRole).toString();
    QCOMPARE(checked, QStringList({"vaso", "specie"}));
    QVERIFY(!w->codeCheck->isChecked());
    saveShot(w, "LabelPrintDialog");
}

QTEST_MAIN(TestLabels)
#include "test_labels.moc"
