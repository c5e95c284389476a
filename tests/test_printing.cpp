#include "archive/fieldtable.h"
#include "mainwindow/mainwindow.h"
#include "printing/cardprintdialog.h"
#include "printing/cardviewdialog.h"
#include "printing/richtextbox.h"
#include "support/testapp.h"
#include "ui/widgets/picturebox.h"
#include "ui/widgets/twips.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

namespace {

// The card's lines of fields newer than the tests' cards, which leave them empty.
QString laterLines() {
    QString lines;
    for (const Field &f : FieldTable::plant())
        if (f.since > 0 && !f.cardLabel.isEmpty())
            lines += f.cardLabel + '\n';
    return lines;
}

const QChar picture = QChar::ObjectReplacementCharacter;

// A small potted plant, so that a printed card carries something worth looking at.
QImage plantPicture() {
    QImage img(360, 480, QImage::Format_RGB32);
    img.fill(QColor(236, 242, 230));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(176, 92, 52));
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({{110, 330}, {250, 330}, {230, 460}, {130, 460}}));
    p.setPen(QPen(QColor(40, 110, 50), 8));
    p.drawLine(180, 330, 180, 120);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 150, 70));
    for (int i = 0; i < 5; ++i) {
        QPainterPath leaf;
        const double y = 300 - i * 40;
        const double dir = i % 2 ? 1 : -1;
        leaf.moveTo(180, y);
        leaf.cubicTo(180 + dir * 60, y - 50, 180 + dir * 130, y - 20, 180 + dir * 140, y - 60);
        leaf.cubicTo(180 + dir * 100, y + 10, 180 + dir * 40, y + 10, 180, y);
        p.drawPath(leaf);
    }
    p.setBrush(QColor(214, 60, 110));
    p.drawEllipse(QPointF(180, 110), 24, 24);
    return img;
}

QString run(const QString &program, const QStringList &args) {
    QProcess proc;
    proc.start(program, args);
    if (!proc.waitForFinished(30000))
        return {};
    return QString::fromUtf8(proc.readAllStandardOutput());
}

int pdfPages(const QString &path) {
    const QString info = run("pdfinfo", {path});
    const QRegularExpression re(QStringLiteral("Pages:\\s+(\\d+)"));
    const auto m = re.match(info);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// Left edge, in points, of the first printed word that reads `word`; -1 when none does.
double wordLeft(const QString &pdf, const QString &word) {
    const QString boxes = run("pdftotext", {"-bbox", pdf, "-"});
    const QRegularExpression re(QStringLiteral("<word xMin=\"([0-9.]+)\"[^>]*>%1</word>")
                                    .arg(QRegularExpression::escape(word)));
    const auto m = re.match(boxes);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

bool havePoppler() {
    return !QStandardPaths::findExecutable("pdftotext").isEmpty() &&
           !QStandardPaths::findExecutable("pdfinfo").isEmpty();
}

// A print dialog where the user picked pages 2 to 2 and a PDF file.
class RangePrinter : public PrintChooser {
public:
    bool choose(QPrinter &printer, QWidget *, bool) override {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath);
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 2);
        return true;
    }
    QString pdfPath;
};

const QVariantMap fullCard = {
    {"famiglia", "Cactaceae"},
    {"genere", "Mammillaria"},
    {"specie", "elongata"},
    {"identificazione", "Copper King"},
    {"habitat", "Messico centrale"},
    {"temperatura", 12.5},
    {"temperaturaid", 30.0},
    {"r3", "5"},
    {"r4", "10"},
    {"r1", "marzo"},
    {"r2", "settembre"},
    {"umdita", 40.0},
    {"fioritura", "primavera"},
    {"descrizione", "Colonnare, spine\tdorate"},
    {"dataacquisto", "2024-03-07"},
    {"prezzo", 12.5},
    {"vaso", "terracotta 10"},
    {"eta", 3.0},
    {"note", "Poca acqua\nin inverno"},
    {"img", "foto.png"},
};

} // namespace

class TestPrinting : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void cardTextIsComposedExactly_data();
    void cardTextIsComposedExactly();
    void cardCarriesThePictureThroughFileAndClipboard();
    void cardIsRebuiltAtEachOpening();
    void cardIsComposedOncePerOpening();
    void cardViewInEventModeShowsOnlyTheMargins();
    void refusalsAndFailures_data();
    void refusalsAndFailures();
    void pictureThatCannotBeReadBackIsReported_data();
    void pictureThatCannotBeReadBackIsReported();
    void cultivationCardListsTheEvents_data();
    void cultivationCardListsTheEvents();
    void plantCardPrintsToPdf();
    void wholeDocumentPrintsWhateverTheRange();
    void cancelledPrintClosesSilently();
    void windowsWorkUnderARealModalLoop();
    void systemPrintDialogOffersPdf();
    void windowsLayout();

private:
    // Selects the plant in the main window as a row click would: key and picture.
    void select(TestApp &app, qint64 id, const QImage &picture = QImage());
    template <class W> W *open(TestApp &app, const char *action);
};

void TestPrinting::initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void TestPrinting::cleanup() {
    closeAllWindows();
}

void TestPrinting::select(TestApp &app, qint64 id, const QImage &picture) {
    MainWindow &main = app.main();
    app.state().idpianta = static_cast<double>(id);
    main.showPicture(picture);
}

template <class W> W *TestPrinting::open(TestApp &app, const char *action) {
    const int before = app.modal.opened.size();
    if (!triggerAction(&app.main(), action))
        return nullptr;
    if (app.modal.opened.size() != before + 1)
        return nullptr;
    return qobject_cast<W *>(app.modal.last());
}

void TestPrinting::cardTextIsComposedExactly_data() {
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<QString>("expected");

    QTest::newRow("full card") << fullCard
                               << QStringLiteral("  \n") + picture +
                                      "\nFamiglia :Cactaceae\n"
                                      "Genere :Mammillaria\n"
                                      "Specie :elongata\n"
                                      "Identificazione :Copper King\n"
                                      "\n"
                                      "Habitat :Messico centrale\n"
                                      "Temperatura Minima Estiva:12,5\n"
                                      "Temperatura Massima Estiva:30\n"
                                      "Temperatura Minima Invernale:5\n"
                                      "Temperatura Massima Invernale:10\n"
                                      "Inizio concimazione:marzo\n"
                                      "Fine concimazione:settembre\n"
                                      "Umidità :40\n"
                                      "Fioritura :primavera\n"
                                      "Descrizione :Colonnare, spine\tdorate\n"
                                      "Data di acquisto :07/03/2024\n"
                                      "Prezzo Euro :12,5\n"
                                      "Vaso :terracotta 10\n"
                                      "Età :3\n"
                                      "Note :Poca acqua\nin inverno\n" + laterLines();
    QTest::newRow("all NULL") << QVariantMap()
                              << QStringLiteral("  \n") + picture +
                                     "\nFamiglia :\nGenere :\nSpecie :\nIdentificazione :\n\n"
                                     "Habitat :\nTemperatura Minima Estiva:\n"
                                     "Temperatura Massima Estiva:\n"
                                     "Temperatura Minima Invernale:\n"
                                     "Temperatura Massima Invernale:\nInizio concimazione:\n"
                                     "Fine concimazione:\nUmidità :\nFioritura :\n"
                                     "Descrizione :\nData di acquisto :\nPrezzo Euro :\n"
                                     "Vaso :\nEtà :\nNote :\n" + laterLines();
    // What the plant card editor stores for a card left empty: blanks, zeros, 1/1/1900.
    QVariantMap editorDefaults;
    for (const char *f : {"famiglia", "genere", "specie", "identificazione", "habitat", "r3", "r4",
                          "r1", "r2", "fioritura", "descrizione", "vaso", "note"})
        editorDefaults.insert(f, " ");
    for (const char *f : {"temperatura", "temperaturaid", "umdita", "prezzo", "eta"})
        editorDefaults.insert(f, 0.0);
    editorDefaults.insert("dataacquisto", "1900-01-01");
    editorDefaults.insert("img", "nd.jpg");
    QTest::newRow("placeholder date")
        << editorDefaults
        << QStringLiteral("  \n") + picture +
               "\nFamiglia : \nGenere : \nSpecie : \nIdentificazione : \n\n"
               "Habitat : \nTemperatura Minima Estiva:0\nTemperatura Massima Estiva:0\n"
               "Temperatura Minima Invernale: \nTemperatura Massima Invernale: \n"
               "Inizio concimazione: \nFine concimazione: \nUmidità :0\nFioritura : \n"
               "Descrizione : \nData di acquisto :01/01/1900\nPrezzo Euro :0\nVaso : \n"
               "Età :0\nNote : \n" + laterLines();
}

void TestPrinting::cardTextIsComposedExactly() {
    QFETCH(QVariantMap, values);
    QFETCH(QString, expected);
    TestApp app;
    const qint64 id = app.addPlant(712202636000, values);
    select(app, id, plantPicture());

    auto *form = open<CardViewDialog>(app, "showCardAction");
    QVERIFY(form);
    QTRY_VERIFY(form->cardBox->toPlainText().contains(picture));
    QCOMPARE(form->cardBox->toPlainText(), expected);
    QVERIFY(app.messages.said.isEmpty());
    QVERIFY(form->isVisible());

    // One face at 11 points, no formats of its own anywhere in the text.
    const QTextDocument *doc = form->cardBox->document();
    QCOMPARE(doc->defaultFont().pointSizeF(), 11.0);
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        QCOMPARE(b.blockFormat().leftMargin(), double(Twips::px(1200)));
        QCOMPARE(b.blockFormat().rightMargin(), double(Twips::px(1000)));
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            QVERIFY(!f.hasProperty(QTextFormat::FontPointSize));
            QVERIFY(!f.hasProperty(QTextFormat::FontFamilies));
        }
    }
    // The caret waits at the end, nothing selected.
    QVERIFY(!form->cardBox->textCursor().hasSelection());
    QCOMPARE(form->cardBox->textCursor().position(), doc->characterCount() - 1);
}

void TestPrinting::cardCarriesThePictureThroughFileAndClipboard() {
    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    const QImage shown = plantPicture();
    select(app, id, shown);
    const QImage picture3 = app.main().pictureFrame->image();

    // Whatever was there before is replaced.
    QFile stale(app.path("$_tmp.BMP"));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("not a bitmap");
    stale.close();
    QGuiApplication::clipboard()->setText("previous clipboard");

    auto *form = open<CardViewDialog>(app, "showCardAction");
    QVERIFY(form);
    QTRY_VERIFY(form->cardBox->toPlainText().contains(picture));

    // A real Windows bitmap, just as the side panel shows the plant.
    QFile bmp(app.path("$_tmp.BMP"));
    QVERIFY(bmp.open(QIODevice::ReadOnly));
    QCOMPARE(bmp.read(2), QByteArray("BM"));
    bmp.close();
    QImage saved;
    QVERIFY(saved.load(app.path("$_tmp.BMP"), "BMP"));
    QCOMPARE(saved.size(), app.main().pictureFrame->size());
    QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), picture3);

    // The clipboard keeps the picture afterwards.
    const QImage onClipboard = QGuiApplication::clipboard()->image();
    QCOMPARE(onClipboard.convertToFormat(QImage::Format_RGB32), picture3);
    QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasText());

    // In the document: an embedded picture on the second line, which was empty, right before
    // the line "Famiglia :"; the document itself holds it.
    const QTextBlock second = form->cardBox->document()->findBlockByNumber(1);
    QCOMPARE(second.text(), QString(picture));
    QVERIFY(second.next().text().startsWith("Famiglia :"));
    const QTextFragment first = second.begin().fragment();
    QVERIFY(first.charFormat().isImageFormat());
    const QString name = first.charFormat().toImageFormat().name();
    const QVariant held =
        form->cardBox->document()->resource(QTextDocument::ImageResource, QUrl(name));
    QCOMPARE(qvariant_cast<QImage>(held).convertToFormat(QImage::Format_RGB32), picture3);

    // Only one picture in the whole card.
    QCOMPARE(form->cardBox->toPlainText().count(picture), 1);
}

void TestPrinting::cardIsRebuiltAtEachOpening() {
    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    select(app, id);
    auto *form = open<CardViewDialog>(app, "showCardAction");
    QVERIFY(form);
    QTRY_VERIFY(form->cardBox->toPlainText().contains("Specie :elongata\n"));
    QTest::mouseClick(form->closeButton, Qt::LeftButton);
    QTRY_VERIFY(app.modal.last() == nullptr);

    app.sql("UPDATE piante SET specie = ? WHERE id = ?", {"mystax", id});
    form =
        open<CardViewDialog>(app, "popupShowCardAction"); // the pop-up item runs the same command
    QVERIFY(form);
    QTRY_VERIFY(form->cardBox->toPlainText().contains("Specie :mystax\n"));
    QVERIFY(!form->cardBox->toPlainText().contains("elongata"));
}

void TestPrinting::cardIsComposedOncePerOpening() {
    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    select(app, id);
    auto *form = open<CardViewDialog>(app, "showCardAction");
    QVERIFY(form);
    QTRY_VERIFY(form->cardBox->toPlainText().contains(picture));
    form->cardBox->textCursor().insertText("typed by the user");
    // Losing and taking back the screen (a message box, another window) recomposes nothing.
    form->hide();
    form->show();
    QApplication::setActiveWindow(form);
    QTest::qWait(0);
    QCoreApplication::processEvents();
    QVERIFY(form->cardBox->toPlainText().contains("typed by the user"));
    QCOMPARE(form->cardBox->toPlainText().count(picture), 1);
}

void TestPrinting::cardViewInEventModeShowsOnlyTheMargins() {
    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    app.addEvent(1, id, "Annaffiatura", "2026-05-01");
    select(app, id);
    app.state().listMode = ListMode::Events;
    auto *form = open<CardViewDialog>(app, "showCardAction");
    QVERIFY(form);
    QTRY_VERIFY(form->cardBox->document()->begin().blockFormat().leftMargin() > 0);
    QCOMPARE(form->cardBox->toPlainText(), QStringLiteral("  "));
    QCOMPARE(form->cardBox->document()->begin().blockFormat().rightMargin(), double(Twips::px(1000)));
    QVERIFY(form->isVisible());
    QVERIFY(app.messages.said.isEmpty());
    QVERIFY(!QFile::exists(app.path("$_tmp.BMP")));
}

void TestPrinting::refusalsAndFailures_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("bitmapWritten");
    QTest::addColumn<QString>("textAtClose");

    const QString select = QStringLiteral("Seleziona una pianta dalla lista");
    const QString cancelled = QStringLiteral("Stampa annullata");
    QTest::newRow("view, no plant") << "showCardAction"
                                    << "no plant" << select << false << "";
    QTest::newRow("print, no plant") << "printAction"
                                     << "no plant" << select << false << "";
    QTest::newRow("view, deleted plant") << "showCardAction"
                                         << "deleted"
                                         << "" << true << "  ";
    QTest::newRow("print, deleted plant") << "printAction"
                                          << "deleted" << cancelled << true << "  ";
    QTest::newRow("view, no archive") << "showCardAction"
                                      << "no archive"
                                      << "" << false << "  ";
    QTest::newRow("print, no archive") << "printAction"
                                       << "no archive" << cancelled << false << "  ";
    QTest::newRow("view, bitmap unwritable") << "showCardAction"
                                             << "bitmap unwritable"
                                             << "" << false << "  ";
    QTest::newRow("print, bitmap unwritable") << "printAction"
                                              << "bitmap unwritable" << cancelled << false << "  ";
    QTest::newRow("print events, deleted plant")
        << "printAction"
        << "deleted, event mode" << cancelled << false << "  ";
}

void TestPrinting::refusalsAndFailures() {
    QFETCH(QString, action);
    QFETCH(QString, situation);
    QFETCH(QString, message);
    QFETCH(bool, bitmapWritten);
    QFETCH(QString, textAtClose);

    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    select(app, id, plantPicture());
    app.printer.pdfPath = app.path("never.pdf");
    if (situation == "no plant")
        app.state().idpianta = 0;
    if (situation.startsWith("deleted"))
        app.sql("DELETE FROM piante WHERE id = ?", {id});
    if (situation.endsWith("event mode"))
        app.state().listMode = ListMode::Events;
    if (situation == "no archive")
        QVERIFY(QFile::remove(app.path("dbpiante.mdb")));
    if (situation == "bitmap unwritable")
        QVERIFY(QDir().mkdir(app.path("$_tmp.BMP")));

    QDialog *window = open<QDialog>(app, qPrintable(action));
    QVERIFY(window);
    auto *box = window->findChild<RichTextBox *>("cardBox");
    QVERIFY(box);
    QString seen = QStringLiteral("<still open>");
    connect(window, &QDialog::finished, this, [&] { seen = box->toPlainText(); });

    QTRY_VERIFY(app.modal.last() == nullptr); // closed and gone
    QCOMPARE(app.messages.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    for (const auto &said : app.messages.said)
        QCOMPARE(said.icon, Messages::Icon::None);
    QCOMPARE(QFileInfo(app.path("$_tmp.BMP")).isFile(), bitmapWritten);
    if (!textAtClose.isEmpty())
        QCOMPARE(seen, textAtClose);
    QCOMPARE(app.printer.calls, 0);
    QVERIFY(!QFile::exists(app.printer.pdfPath));
}

void TestPrinting::pictureThatCannotBeReadBackIsReported_data() {
    QTest::addColumn<QString>("action");
    QTest::newRow("view") << "showCardAction";
    QTest::newRow("print") << "printAction";
}

void TestPrinting::pictureThatCannotBeReadBackIsReported() {
    QFETCH(QString, action);
    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    select(app, id, plantPicture());
    app.printer.pdfPath = app.path("never.pdf");
    // The bitmap is written without complaint, but nothing comes back from it.
    QVERIFY(QFile::link("/dev/null", app.path("$_tmp.BMP")));

    QDialog *window = open<QDialog>(app, qPrintable(action));
    QVERIFY(window);
    QTRY_COMPARE(app.messages.texts(), QStringList{"Impossibile trovare il file "});
    QCOMPARE(app.messages.said.first().icon, Messages::Icon::None);
    QCoreApplication::processEvents();
    QVERIFY(app.modal.last() == window && window->isVisible());
    QCOMPARE(app.printer.calls, 0);

    // The text stays, without picture and without margins.
    auto *box = window->findChild<RichTextBox *>("cardBox");
    const QString text = box->toPlainText();
    QVERIFY2(text.startsWith("  \n\nFamiglia :Cactaceae\nGenere :"), qPrintable(text));
    QVERIFY(text.endsWith("Note :Poca acqua\nin inverno\n" + laterLines()));
    QCOMPARE(box->document()->begin().blockFormat().leftMargin(), 0.0);
}

void TestPrinting::cultivationCardListsTheEvents_data() {
    QTest::addColumn<bool>("withEvents");
    QTest::addColumn<QString>("expected");
    const QString head = QStringLiteral("\nScheda coltivazione Copper King\n\n"
                                        "\tData \t\t Intervento \t Descrizione \n\n");
    QTest::newRow("no events") << false << head;
    // Stored order, not date order; a tab in a description shifts its columns.
    QTest::newRow("three events") << true
                                  << head + "\t12/05/2026\tFioritura\tprimi fiori\n"
                                            "\t01/04/2026\tAnnaffiatura\t \n"
                                            "\t03/04/2026\tRinvaso\tterriccio\tnuovo\n";
}

void TestPrinting::cultivationCardListsTheEvents() {
    QFETCH(bool, withEvents);
    QFETCH(QString, expected);
    if (!havePoppler())
        QSKIP("pdftotext and pdfinfo are needed to read the printout");

    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    const qint64 other = app.addPlant(812202636000, {{"identificazione", "altra"}});
    app.addEvent(5, other, "Concimazione", "2026-04-02");
    if (withEvents) {
        app.addEvent(3, id, "Fioritura", "2026-05-12", {{"descrizione", "primi fiori"}});
        app.addEvent(1, id, "Annaffiatura", "2026-04-01", {{"descrizione", " "}});
        app.addEvent(2, id, "Rinvaso", "2026-04-03", {{"descrizione", "terriccio\tnuovo"}});
    }
    select(app, id, plantPicture());
    app.state().listMode = ListMode::Events;
    QGuiApplication::clipboard()->setText("kept");
    QTemporaryDir out;
    app.printer.pdfPath = out.filePath("coltivazione.pdf");

    auto *window = open<CardPrintDialog>(app, "printAction");
    QVERIFY(window);
    QString composed;
    connect(window, &QDialog::finished, this, [&] { composed = window->cardBox->toPlainText(); });
    QTRY_VERIFY(app.modal.last() == nullptr);

    QCOMPARE(composed, expected);
    QVERIFY(app.messages.said.isEmpty());
    QCOMPARE(app.printer.calls, 1);
    QVERIFY(app.printer.lastOfferedSelection);
    // No picture travels for this card.
    QVERIFY(!QFile::exists(app.path("$_tmp.BMP")));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));

    QCOMPARE(pdfPages(app.printer.pdfPath), 1);
    const QString printed = run("pdftotext", {"-layout", app.printer.pdfPath, "-"});
    QVERIFY2(printed.contains("Scheda coltivazione Copper King"), qPrintable(printed));
    QVERIFY(printed.contains("Intervento"));
    QCOMPARE(printed.contains("Rinvaso"), withEvents);
    QCOMPARE(printed.contains("12/05/2026"), withEvents);
    QVERIFY(!printed.contains("Concimazione"));
    QVERIFY(!printed.contains("Famiglia"));

    // On paper the tab stops keep their screen size (80 px, 60 points apart) and the left
    // indent its 1200 twips (60 points) inside the printer's margin.
    const double title = wordLeft(app.printer.pdfPath, "Scheda");
    const double data = wordLeft(app.printer.pdfPath, "Data");
    const double intervento = wordLeft(app.printer.pdfPath, "Intervento");
    QVERIFY(title > 0 && data > 0 && intervento > 0);
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    const double indent = title - pdf.pageLayout().paintRectPoints().left();
    QVERIFY2(qAbs(indent - 60) < 0.5, qPrintable(QString::number(indent)));
    QVERIFY2(qAbs(data - title - 60) < 1.5, qPrintable(QString::number(data - title)));
    QVERIFY(intervento - title > 180);
}

void TestPrinting::plantCardPrintsToPdf() {
    if (!havePoppler())
        QSKIP("pdftotext and pdfinfo are needed to read the printout");
    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    select(app, id, plantPicture());
    QTemporaryDir out;
    app.printer.pdfPath = out.filePath("scheda.pdf");

    auto *window = open<CardPrintDialog>(app, "printAction");
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->progressLabel->text(), QStringLiteral("Stampa in corso"));
    bool wholeSelected = false;
    connect(window, &QDialog::finished, this, [&] {
        const QTextCursor c = window->cardBox->textCursor();
        wholeSelected = c.selectionStart() == 0 &&
                        c.selectionEnd() == window->cardBox->document()->characterCount() - 1;
    });
    QTRY_VERIFY(app.modal.last() == nullptr);
    QVERIFY(app.messages.said.isEmpty());
    QCOMPARE(app.printer.calls, 1);
    QVERIFY(app.printer.lastOfferedSelection);
    QVERIFY(wholeSelected);

    QVERIFY(QFile::exists(app.printer.pdfPath));
    if (!qEnvironmentVariableIsEmpty("SILVARO_SHOTS")) {
        QFile::remove(qEnvironmentVariable("SILVARO_SHOTS") + "/scheda.pdf");
        QFile::copy(app.printer.pdfPath, qEnvironmentVariable("SILVARO_SHOTS") + "/scheda.pdf");
    }
    QCOMPARE(pdfPages(app.printer.pdfPath), 1);
    // Ligatures (the "fi" of "Identificazione") read back as their letters.
    const QString printed = run("pdftotext", {"-layout", app.printer.pdfPath, "-"})
                                .normalized(QString::NormalizationForm_KC);
    for (const char *line :
         {"Famiglia :Cactaceae", "Identificazione :Copper King", "Temperatura Minima Estiva:12,5",
          "Umidità :40", "Data di acquisto :07/03/2024", "Età :3", "Note :Poca acqua"})
        QVERIFY2(printed.contains(QString::fromUtf8(line)), qPrintable(printed));
    // The picture is printed too: the page carries an image.
    const QString images = run("pdfimages", {"-list", app.printer.pdfPath});
    if (!images.isEmpty())
        QVERIFY2(images.count('\n') >= 3, qPrintable(images)); // header, rule, one image
}

void TestPrinting::wholeDocumentPrintsWhateverTheRange() {
    if (!havePoppler())
        QSKIP("pdftotext and pdfinfo are needed to read the printout");
    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    for (int i = 1; i <= 150; ++i)
        app.addEvent(i, id, QStringLiteral("Evento %1").arg(i), "2026-04-01");
    select(app, id);
    app.state().listMode = ListMode::Events;
    QTemporaryDir out;
    RangePrinter ranged;
    ranged.pdfPath = out.filePath("range.pdf");
    app.ctx().printer = &ranged;

    QVERIFY(open<CardPrintDialog>(app, "printAction"));
    QTRY_VERIFY(app.modal.last() == nullptr);
    QVERIFY(pdfPages(ranged.pdfPath) > 2);
    const QString printed = run("pdftotext", {ranged.pdfPath, "-"});
    QVERIFY(printed.contains("Scheda coltivazione"));
    QVERIFY(printed.contains("Evento 1\n") || printed.contains("Evento 1 "));
    QVERIFY(printed.contains("Evento 150"));
}

void TestPrinting::cancelledPrintClosesSilently() {
    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    select(app, id, plantPicture());
    app.printer.pdfPath.clear(); // the user cancels the dialog
    QVERIFY(open<CardPrintDialog>(app, "printAction"));
    QTRY_VERIFY(app.modal.last() == nullptr);
    QCOMPARE(app.printer.calls, 1);
    QVERIFY(app.messages.said.isEmpty());
    QCOMPARE(QGuiApplication::clipboard()->image().size(), app.main().pictureFrame->size());
}

void TestPrinting::windowsWorkUnderARealModalLoop() {
    if (!havePoppler())
        QSKIP("pdfinfo is needed to read the printout");
    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    ModalRunner real;
    app.ctx().modal = &real;
    // Whatever goes wrong, nothing stays open to hang the test.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QDialog *>(w))
                w->close();
    });

    // A refusal closes the window and ends the wait.
    app.state().idpianta = 0;
    guard.start(10000);
    triggerAction(&app.main(), "showCardAction");
    QVERIFY(guard.isActive());
    QCOMPARE(app.messages.texts(), QStringList{"Seleziona una pianta dalla lista"});

    // A card stays until "Chiudi".
    select(app, id, plantPicture());
    app.messages.clear();
    QString shown;
    std::function<void()> waitForCard = [&] {
        auto *form = qobject_cast<CardViewDialog *>(QApplication::activeModalWidget());
        if (form && form->cardBox->toPlainText().contains(picture)) {
            shown = form->cardBox->toPlainText();
            form->closeButton->click();
        } else {
            QTimer::singleShot(20, this, waitForCard);
        }
    };
    QTimer::singleShot(0, this, waitForCard);
    guard.start(10000);
    triggerAction(&app.main(), "showCardAction");
    QVERIFY(guard.isActive());
    QVERIFY(shown.contains("Famiglia :Cactaceae"));

    // The printing window prints and closes itself.
    QTemporaryDir out;
    app.printer.pdfPath = out.filePath("modal.pdf");
    guard.start(10000);
    triggerAction(&app.main(), "printAction");
    QVERIFY(guard.isActive());
    guard.stop();
    QCOMPARE(pdfPages(app.printer.pdfPath), 1);
    QVERIFY(app.messages.said.isEmpty());
}

void TestPrinting::systemPrintDialogOffersPdf() {
    // The program's own chooser, with Qt's print dialog: printing to a PDF file must be one
    // of its choices, and choosing it must give a printer that writes that file.
    QTemporaryDir out;
    const QString pdf = out.filePath("dialog.pdf");
    QStringList offered;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            QWARN("no print dialog");
            return;
        }
        auto *printers = dialog->findChild<QComboBox *>("printers");
        auto *file = dialog->findChild<QLineEdit *>("filename");
        if (printers)
            for (int i = 0; i < printers->count(); ++i)
                offered << printers->itemText(i);
        const int pdfItem = printers ? printers->count() - 1 : -1;
        if (!printers || !file || !printers->itemText(pdfItem).contains("PDF")) {
            dialog->reject();
            return;
        }
        printers->setCurrentIndex(pdfItem);
        file->setText(pdf);
        dialog->accept();
    });
    QPrinter printer(QPrinter::HighResolution);
    PrintChooser chooser;
    const bool chosen = chooser.choose(printer, nullptr, true);
    QVERIFY2(chosen, qPrintable(offered.join(" | ")));
    QCOMPARE(printer.outputFormat(), QPrinter::PdfFormat);
    QCOMPARE(printer.outputFileName(), pdf);
    QTextDocument doc("Famiglia :");
    doc.print(&printer);
    QVERIFY(QFile::exists(pdf));
}

void TestPrinting::windowsLayout() {
    TestApp app;
    const qint64 id = app.addPlant(712202636000, fullCard);
    select(app, id, plantPicture());
    auto *form = open<CardViewDialog>(app, "showCardAction");
    QVERIFY(form);
    QCOMPARE(form->windowTitle(), QStringLiteral("Scheda pianta"));
    QCOMPARE(form->cardBox->geometry(), Twips::rect(120, 60, 11505, 7125));
    QCOMPARE(form->closeButton->text(), QStringLiteral("Chiudi"));
    QCOMPARE(form->closeButton->accessibleName(), QStringLiteral("Chiudi"));
    QTRY_VERIFY(form->cardBox->toPlainText().contains(picture));
    // The caret is at the end, but the card shows from its top.
    QCOMPARE(form->cardBox->textCursor().position(), form->cardBox->toPlainText().size());
    QTest::qWait(50);
    QCOMPARE(form->cardBox->verticalScrollBar()->value(), 0);
    saveShot(form, "form3");
    form->close();

    app.printer.pdfPath.clear();
    auto *printing = open<CardPrintDialog>(app, "printAction");
    QVERIFY(printing);
    QCOMPARE(printing->windowTitle(), QStringLiteral("Stampa"));
    QCOMPARE(printing->size(), QSize(Twips::px(3780), Twips::px(1290)));
    QVERIFY(printing->progressLabel->font().bold());
    QCOMPARE(printing->progressLabel->font().pointSizeF(), 12.0);
    // The box is there for the toolkit, below what the user sees.
    QVERIFY(printing->cardBox->geometry().top() >= printing->height());
    saveShot(printing, "CardPrintDialog");
    QTRY_VERIFY(app.modal.last() == nullptr);
}

QTEST_MAIN(TestPrinting)
#include "test_printing.moc"
