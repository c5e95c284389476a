#include "archive/fieldtable.h"
// Hostile input typed or pasted where a user would: the search box, the plant card and care
// event boxes, and the picture chosen for a card. Whatever comes in, the program must not
// crash, must answer with its own message, must leave the archive file byte for byte as it
// was when nothing is to be written, and must give back exactly the text it wrote.

#include "careevent/careeventdialog.h"
#include "mainwindow/mainwindow.h"
#include "plantcard/plantcarddialog.h"
#include "support/testapp.h"
#include "ui/widgets/picturebox.h"
#include "ui/lists/reportlist.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QtEndian>
#include <QtTest>

namespace {

const QString cardSaved = QStringLiteral("Scheda inserita correttamente");
const QString cardError = QStringLiteral("Errore controllare i dati immessi");
const QString eventSaved = QStringLiteral("Trattamento inserito correttamente");
const QString eventError = QStringLiteral("Controllare i dati inseriti");
const QString other = QStringLiteral("Altro....");
const qint64 clockKey = 712202636000; // the key the test clock makes: 7 December 2026, 10:00
const qint64 plantKey = 1;            // the stored plant of the update cases
const qint64 eventKey = 2;            // its stored event

const QChar nul(0);

// ----- typing -----

// What a user does to put a text into a box: select everything, then paste over it.
void paste(QWidget *box, const QString &text) {
    if (auto *combo = qobject_cast<QComboBox *>(box))
        box = combo->lineEdit();
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

// The characters a box holds, line breaks written as "\n".
QString held(QWidget *box) {
    if (auto *line = qobject_cast<QLineEdit *>(box))
        return line->text();
    if (auto *combo = qobject_cast<QComboBox *>(box))
        return combo->currentText();
    if (auto *memo = qobject_cast<QPlainTextEdit *>(box)) {
        QString s = memo->document()->toRawText();
        for (QChar &c : s)
            if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
                c = QLatin1Char('\n');
        return s;
    }
    qWarning("not a text box: %s", qPrintable(box ? box->objectName() : "null"));
    return QStringLiteral("<not a box>");
}

// A box of several lines stores its line breaks, however they came in, as "\n".
QString asMemo(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QChar &c : text)
        if (c == QLatin1Char('\r') || c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    return text;
}

// Shows a text in a test name: control characters and long runs made readable.
QByteArray describe(const QString &text) {
    QString s;
    for (const QChar c : text.left(40)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            s += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            s += c;
    }
    if (text.size() > 40)
        s += QStringLiteral("...(%1)").arg(text.size());
    return s.toUtf8();
}

QString long10k() {
    QString s;
    while (s.size() < 10000)
        s += QStringLiteral("Foglie lucide, già potate; è tempo di rinvaso. ");
    return s.left(10000);
}

// ----- the application -----

QStringList entries(const QString &dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

QByteArray archiveHash(TestApp &app) {
    return TestApp::fileHash(app.path("dbpiante.mdb"));
}

// A plant with its picture and one care event, stored as the program stores them.
void addStoredPlant(TestApp &app) {
    app.addPlant(plantKey, {{"famiglia", "Moraceae"},
                            {"genere", "Ficus"},
                            {"specie", "benjamina"},
                            {"identificazione", "Ficus del salotto"},
                            {"habitat", "Asia"},
                            {"temperatura", 18.0},
                            {"temperaturaid", 30.0},
                            {"r3", "12"},
                            {"r4", "20"},
                            {"r1", "marzo"},
                            {"r2", "ottobre"},
                            {"umdita", 60.0},
                            {"fioritura", " "},
                            {"descrizione", "Foglie lucide"},
                            {"dataacquisto", "2020-05-01"},
                            {"prezzo", 25.5},
                            {"vaso", "Terracotta"},
                            {"eta", 4.0},
                            {"note", "Poca acqua"},
                            {"img", "ficus.jpg"}});
    app.makePicture("img/1/ficus.jpg", 60, 40);
    app.addEvent(eventKey, plantKey, "Rinvaso", "2026-03-07",
                 {{"descrizione", "vaso nuovo"}, {"temperatura", 0.0}, {"umidita", 0.0}});
}

PlantCardDialog *openNewCard(TestApp &app) {
    return openWindow<PlantCardDialog>(app, "newCardAction");
}

PlantCardDialog *openCard(TestApp &app, qint64 id) {
    app.state().idpianta = static_cast<double>(id);
    return openWindow<PlantCardDialog>(app, "editCardAction");
}

CareEventDialog *openNewEvent(TestApp &app) {
    app.state().idpianta = static_cast<double>(plantKey);
    return openWindow<CareEventDialog>(app, "newEventAction");
}

CareEventDialog *openEvent(TestApp &app, qint64 idtrat) {
    app.state().idpianta = static_cast<double>(plantKey);
    app.state().idtratsel = static_cast<double>(idtrat);
    return openWindow<CareEventDialog>(app, "editEventAction");
}

// What a click on an item of the type list does.
void pick(QComboBox *combo, const QString &text) {
    const int i = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    QVERIFY2(i >= 0, qPrintable(text));
    combo->setCurrentIndex(i);
    emit combo->activated(i);
}

bool closeWindow(QDialog *w) {
    QPointer<QDialog> alive(w);
    w->close();
    return QTest::qWaitFor([&] { return alive.isNull(); });
}

QVariant plantValue(TestApp &app, qint64 id, const QString &field) {
    return app.sqlValue(QStringLiteral("SELECT %1 FROM piante WHERE id = ?").arg(field), {id});
}

QVariant eventValue(TestApp &app, qint64 idtrat, const QString &field) {
    return app.sqlValue(QStringLiteral("SELECT %1 FROM coltivazione WHERE idtrat = ?").arg(field),
                        {idtrat});
}

// ----- pictures -----

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

quint32 crc32(const QByteArray &data) {
    quint32 crc = 0xffffffffu;
    for (const char ch : data) {
        crc ^= static_cast<quint8>(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray be32(quint32 v) {
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray le16(quint16 v) {
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

const int huge = 20000;

// A Windows bitmap whose header says 20,000 x 20,000 pixels, 24 bits each, followed by a
// few bytes where more than a gigabyte should be.
QByteArray hugeBmp() {
    QByteArray info = le32(40) + le32(huge) + le32(huge) + le16(1) + le16(24) + le32(0) + le32(0) +
                      le32(2835) + le32(2835) + le32(0) + le32(0);
    const QByteArray pixels(64, '\x7f');
    return QByteArray("BM") + le32(14 + 40 + pixels.size()) + le32(0) + le32(14 + 40) + info +
           pixels;
}

// A PNG that declares 20,000 x 20,000 pixels and carries one small, valid data chunk.
QByteArray hugePng() {
    auto chunk = [](const char *type, const QByteArray &data) {
        const QByteArray body = QByteArray(type) + data;
        return be32(data.size()) + body + be32(crc32(body));
    };
    const QByteArray ihdr = be32(huge) + be32(huge) + QByteArray("\x08\x02\x00\x00\x00", 5);
    const QByteArray idat = QByteArray::fromHex("789c63600000000200010000"); // tiny zlib
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", idat) +
           chunk("IEND", {});
}

// A real small JPEG whose frame header is changed to say 20,000 x 20,000 pixels.
QByteArray hugeJpeg(TestApp &app) {
    QByteArray jpeg = readAll(app.makePicture("scratch/small.jpg", 16, 16));
    for (int i = 2; i + 9 < jpeg.size(); ++i) {
        const auto marker = static_cast<quint8>(jpeg.at(i + 1));
        if (jpeg.at(i) == '\xff' && marker >= 0xc0 && marker <= 0xc2) {
            qToBigEndian(quint16(huge), jpeg.data() + i + 5);
            qToBigEndian(quint16(huge), jpeg.data() + i + 7);
            return jpeg;
        }
    }
    qFatal("no frame header in the JPEG");
    return {};
}

// A GIF whose screen and only image are 20,000 x 20,000 pixels, with one byte of pixels.
QByteArray hugeGif() {
    return QByteArray("GIF89a") + le16(huge) + le16(huge) + QByteArray("\x00\x00\x00,", 4) +
           le16(0) + le16(0) + le16(huge) + le16(huge) + QByteArray("\x00\x08\x02\x4c\x01\x00;", 7);
}

// A portable pixmap whose header says 20,000 x 20,000, followed by a few pixels.
QByteArray hugePpm() {
    return QByteArray("P6\n20000 20000\n255\n") + QByteArray(48, '\x20');
}

QByteArray pictureBytes(TestApp &app, const QString &format) {
    if (format == "bmp")
        return hugeBmp();
    if (format == "png")
        return hugePng();
    if (format == "gif")
        return hugeGif();
    if (format == "ppm")
        return hugePpm();
    return hugeJpeg(app);
}

// Peak memory of this process, in kB, since the last resetPeak(); -1 when unknown.
qint64 statusKb(const char *field) {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool resetPeak() {
    QFile f("/proc/self/clear_refs");
    if (!f.open(QIODevice::WriteOnly) || f.write("5") != 1)
        return false;
    f.close();
    return statusKb("VmHWM:") - statusKb("VmRSS:") < 4096;
}

// More than this much memory at once while refusing a huge picture is not sane.
const qint64 saneGrowthKb = 150 * 1024;

// ----- the search list -----

struct Stored {
    qint64 id;
    QString specie;
    QVariant identificazione;
};

QList<Stored> searchPlants() {
    return {
        {1, "O'Brien rosa", "Rosa dell'orto"},
        {2, "100% cactus", "Cactus_grande"},
        {3, "Ficus*", "Ficus?"},
        {4, "C:\\piante\\ficus", "barra\\rovescia"},
        {5, QString::fromUtf8("P\u00e9tunia"), QString::fromUtf8("Pe\u0301tunia")},
        {6, QString::fromUtf8("🌵 Opuntia"), QString::fromUtf8("👨‍🌾 contadino")},
        {7, QString(10000, 'a'), "lunga"},
        {8, "'; DROP TABLE piante; --", "\" OR \"\"=\""},
        {9, QStringLiteral("nul") + nul + QStringLiteral("dentro"), "tab\tdentro"},
        {10, "Ficus benjamina", "ficus del salotto"},
        {11, "ficus lyrata", QVariant()},
        {12, "Fi_cus", "Fi%cus"},
    };
}

QList<qint64> listedKeys(MainWindow &w) {
    QList<qint64> keys;
    for (int r = 0; r < w.listView->list()->rowCount(); ++r)
        keys << w.listView->list()->text(r, 7).toLongLong();
    std::sort(keys.begin(), keys.end());
    return keys;
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void searchTextsAreTakenLiterallyAndChangeNothing_data();
    void searchTextsAreTakenLiterallyAndChangeNothing();

    void numbersAreCheckedBeforeAnythingIsWritten_data();
    void numbersAreCheckedBeforeAnythingIsWritten();
    void datesMustBeCalendarDays_data();
    void datesMustBeCalendarDays();
    void writtenTextsReadBackExactly_data();
    void writtenTextsReadBackExactly();
    void untouchedTextsSurviveASave_data();
    void untouchedTextsSurviveASave();

    void chosenPicturesAreStagedOrRefused_data();
    void chosenPicturesAreStagedOrRefused();
    void hugeStoredPictureIsNeverDecoded_data();
    void hugeStoredPictureIsNeverDecoded();

private:
    std::unique_ptr<TestApp> m_search; // one archive for every search: nothing may change it
    QByteArray m_searchHash;
};

void TestHostileInput::initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void TestHostileInput::cleanup() {
    // The search cases share one main window; everything else is closed after each case.
    for (QWidget *w : QApplication::topLevelWidgets())
        if (!m_search || w != &m_search->main())
            w->close();
    QCoreApplication::processEvents();
}

// ----- search -----

void TestHostileInput::searchTextsAreTakenLiterallyAndChangeNothing_data() {
    QTest::addColumn<int>("field"); // 0 "Specie", 1 "Identificazione"
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<qint64>>("found");

    using K = QList<qint64>;
    const K all = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const auto specie = [](const char *name, const QString &typed, const K &found) {
        QTest::newRow(QByteArray("specie: ").append(name)) << 0 << typed << found;
    };
    const auto ident = [](const char *name, const QString &typed, const K &found) {
        QTest::newRow(QByteArray("identificazione: ").append(name)) << 1 << typed << found;
    };

    specie("quote", "'", {8});
    specie("quote inside", "O'", {1});
    specie("quote, other case", "o'b", {1});
    specie("two quotes", "''", {});
    specie("SQL as stored", "'; DROP TABLE piante; --", {8});
    specie("SQL always true", "' OR '1'='1", {});
    specie("SQL comment", "x' OR 1=1 --", {});
    specie("SQL percent comment", "%' --", {});
    specie("SQL union", "' UNION SELECT * FROM coltivazione --", {});
    specie("SQL parenthesis", ") OR (1=1", {});
    specie("percent", "%", {});
    specie("percent after digits", "100%", {2});
    specie("percent is no wildcard", "1%", {});
    specie("underscore", "_", {});
    specie("underscore inside", "Fi_", {12});
    specie("underscore is no wildcard", "F_", {});
    specie("star", "*", all);
    specie("star then text", "*cus", {3, 4, 10, 11, 12});
    specie("text then star", "Ficus*", {3, 10, 11});
    specie("question mark", "?", all);
    specie("question mark for an emoji", "? Opuntia", {6});
    specie("question mark for NUL", "nul?dentro", {9});
    specie("backslash then star", "Ficus\\*", {});
    specie("backslash", "\\", {});
    specie("drive", "C:\\", {4});
    specie("path", "C:\\piante\\", {4});
    specie("NUL after text", QStringLiteral("nul") + nul, {9});
    specie("NUL alone", QString(nul), {});
    specie("10,000 characters", QString(10000, 'a'), {7});
    specie("10,001 characters", QString(10001, 'a'), {});
    specie("9,999 characters and ?", QString(9999, 'a') + '?', {7});
    specie("10,000 question marks", QString(10000, '?'), {7});
    specie("10,000 stars", QString(10000, '*'), all);
    specie("10,000 other characters", QString(10000, 'b'), {});
    specie("alternating stars", QStringLiteral("*a").repeated(40) + 'b', {});
    specie("emoji", QString::fromUtf8("🌵"), {6});
    specie("emoji and text", QString::fromUtf8("🌵 O"), {6});
    specie("composed accent", QString::fromUtf8("P\u00e9"), {5});
    specie("decomposed accent", QString::fromUtf8("Pe\u0301"), {5});
    specie("composed capital", QString::fromUtf8("P\u00c9"), {5});
    specie("decomposed, other case", QString::fromUtf8("pe\u0301T"), {5});
    specie("no accent", "Pe", {});
    specie("capitals", "FICUS", {3, 10, 11});
    specie("trailing blank", "ficus ", {10, 11});
    specie("leading blank", " ficus", {});
    specie("line break", "\n", {});
    specie("regular expression", "(a|b)+", {});
    specie("regular expression dot", ".", {});

    ident("double quote", "\"", {8});
    ident("SQL with double quotes", "\" OR \"\"=\"", {8});
    ident("percent inside", "Fi%", {12});
    ident("underscore at the end", "Cactus_", {2});
    ident("star, NULL not listed", "*", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12});
    ident("backslash", "barra\\", {4});
    ident("decomposed accent", QString::fromUtf8("Pe\u0301"), {5});
    ident("composed accent", QString::fromUtf8("P\u00e9"), {5});
    ident("no accent", "Pe", {});
    ident("emoji sequence", QString::fromUtf8("👨‍🌾"), {6});
    ident("first emoji of a sequence", QString::fromUtf8("👨"), {6});
    ident("tab", "tab\t", {9});
    ident("lower case", "ficus", {3, 10});
    ident("question mark as a wildcard", "Ficus?", {3, 10});
    ident("quote inside", "Rosa dell'", {1});
    ident("quote", "'", {});
}

void TestHostileInput::searchTextsAreTakenLiterallyAndChangeNothing() {
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QList<qint64>, found);
    const QList<Stored> plants = searchPlants();
    if (!m_search) {
        m_search = std::make_unique<TestApp>();
        for (const Stored &p : plants)
            m_search->addPlant(
                p.id,
                {{"specie", p.specie}, {"identificazione", p.identificazione}, {"img", "nd.jpg"}});
        m_search->addEvent(100, 10, "Annaffiatura", "2026-03-05");
        m_searchHash = archiveHash(*m_search);
        m_search->main();
    }
    TestApp &app = *m_search;
    MainWindow &w = app.main();
    app.messages.clear();
    // Each search starts from the whole list, as after startup.
    w.searchEdit->blockSignals(true);
    w.searchEdit->clear();
    w.searchEdit->blockSignals(false);
    w.showAllPlants();
    w.showPicture(QImage());
    QCOMPARE(w.headingLabel->text(), QStringLiteral("Piante in archivio: 12"));
    w.searchFieldCombo->setCurrentIndex(field);

    paste(w.searchEdit, typed);

    QCOMPARE(w.searchEdit->text(), typed);
    QVERIFY2(app.messages.said.isEmpty(), qPrintable(app.messages.texts().join('|')));
    QCOMPARE(w.listView->list()->columnCount(), 8);
    QCOMPARE(listedKeys(w), found);
    // Every row shows its plant's texts exactly as stored.
    for (int r = 0; r < w.listView->list()->rowCount(); ++r) {
        const qint64 id = w.listView->list()->text(r, 7).toLongLong();
        const Stored &p = plants.at(id - 1);
        QCOMPARE(w.listView->list()->text(r, 1), p.specie);
        QCOMPARE(w.listView->list()->text(r, 2), p.identificazione.toString());
    }
    QCOMPARE(w.headingLabel->text(),
             QStringLiteral("Piante in archivio: %1").arg(found.isEmpty() ? 12 : found.size()));
    // No match: nothing to re-select, so the picture frame is blanked.
    QCOMPARE(w.pictureFrame->isBlank(), found.isEmpty());
    QCOMPARE(app.state().listMode, ListMode::Plants);
    QCOMPARE(archiveHash(app), m_searchHash);
    QVERIFY(!QFile::exists(app.path("dbpiante.mdb-journal")));
}

// ----- numbers -----

void TestHostileInput::numbersAreCheckedBeforeAnythingIsWritten_data() {
    QTest::addColumn<bool>("update");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown"); // in the box when the card is opened again

    const QStringList refused = {"1.00,5",
                                 "1,000.5",
                                 "-",
                                 "+",
                                 "1e308",
                                 "1E5",
                                 "NaN",
                                 "nan",
                                 "inf",
                                 "-Infinity",
                                 "0x1A",
                                 "12abc",
                                 "1 000",
                                 "--1",
                                 "1..5",
                                 "1,5,3",
                                 QString::fromUtf8("½"),
                                 QString::fromUtf8("١٢"),
                                 QString::fromUtf8("１２"),
                                 " ",
                                 "\t",
                                 "1" + QString(400, '0')};
    const auto no = [](bool update, const char *box, const QString &typed) {
        QTest::addRow("%s %s %s", update ? "change" : "new", box, describe(typed).constData())
            << update << box << typed << false << 0.0 << QString();
    };
    for (const QString &t : refused) {
        no(false, "prezzo", t);
        no(true, "prezzo", t);
    }
    for (const char *box : {"temperatura", "temperaturaid", "umdita", "eta"})
        for (const char *t : {"1.00,5", "-", "1e308", "NaN"})
            no(false, box, t);

    const auto yes = [](bool update, const char *box, const QString &typed, double value,
                        const QString &shown) {
        QTest::addRow("%s %s %s", update ? "change" : "new", box, describe(typed).constData())
            << update << box << typed << true << value << shown;
    };
    yes(false, "prezzo", "1,5", 1.5, "1,5");
    yes(false, "temperatura", "-3.5", -3.5, "-3,5");
    yes(false, "temperaturaid", " 7 ", 7, "7");
    yes(false, "umdita", "+4", 4, "4");
    yes(false, "eta", ",5", 0.5, "0,5");
    yes(false, "prezzo", "5,", 5, "5");
    yes(false, "temperatura", "-0", 0, "0");
    yes(false, "temperaturaid", "007", 7, "7");
    yes(false, "umdita", "0,0000001", 1e-7, "0,0000001");
    yes(false, "eta", "1" + QString(300, '0'), 1e300, "1" + QString(300, '0'));
    yes(false, "prezzo", "  -12,25  ", -12.25, "-12,25");
    yes(true, "prezzo", "0,99", 0.99, "0,99");
    yes(true, "temperatura", "-40", -40, "-40");
    yes(true, "eta", "120,", 120, "120");
    yes(true, "umdita", "+0,5", 0.5, "0,5");
}

void TestHostileInput::numbersAreCheckedBeforeAnythingIsWritten() {
    QFETCH(bool, update);
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    QFETCH(QString, shown);
    TestApp app;
    addStoredPlant(app);
    PlantCardDialog *w = update ? openCard(app, plantKey) : openNewCard(app);
    QVERIFY(w);
    auto *input = w->findChild<QLineEdit *>(box);
    QVERIFY(input);
    paste(input, typed);
    QCOMPARE(input->text(), typed);
    const QByteArray before = archiveHash(app);
    const QStringList folders = entries(app.path("img"));

    QTest::mouseClick(w->okButton, Qt::LeftButton);

    const qint64 key = update ? plantKey : clockKey;
    QCOMPARE(app.messages.said.size(), 1);
    const QString said = app.messages.said.first().text;
    if (!accepted) {
        if (update)
            QVERIFY2(said.startsWith(cardError + ' ') && said.size() > cardError.size() + 1,
                     qPrintable(said));
        else
            QCOMPARE(said, cardError);
        QCOMPARE(archiveHash(app), before);
        QCOMPARE(entries(app.path("img")), folders);
        QVERIFY(w->isVisible());
        QCOMPARE(input->text(), typed);
        return;
    }
    QCOMPARE(said, cardSaved);
    static const QHash<QString, QString> fieldOf = {{"temperatura", "temperatura"},
                                                    {"temperaturaid", "temperaturaid"},
                                                    {"umdita", "umdita"},
                                                    {"eta", "eta"},
                                                    {"prezzo", "prezzo"}};
    QCOMPARE(plantValue(app, key, fieldOf.value(box)).toDouble(), value);
    if (!update)
        QVERIFY(closeWindow(w));
    w = openCard(app, key);
    QVERIFY(w);
    QCOMPARE(w->findChild<QLineEdit *>(box)->text(), shown);
}

// ----- dates -----

void TestHostileInput::datesMustBeCalendarDays_data() {
    QTest::addColumn<QString>("window"); // "card" or "event"
    QTest::addColumn<bool>("update");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // ISO date, or empty when refused
    QTest::addColumn<QString>("shown");  // in the box when the record is opened again

    struct Case {
        QString typed;
        QString cardStored, cardShown, eventStored, eventShown;
    };
    const QString today = "2026-12-07";
    const QList<Case> cases = {
        {"31/02/2026", "", "", "", ""},
        {"29/02/2025", "", "", "", ""},
        {"29/02/2024", "2024-02-29", "29/02/2024", "2024-02-29", "29/02/2024"},
        {"0/1/2026", "", "", "", ""},
        {"1/13/2026", "", "", "", ""},
        {"00/00/0000", "1900-01-01", "", today, "07/12/2026"},
        {"", "1900-01-01", "", today, "07/12/2026"},
        {"32/1/2026", "", "", "", ""},
        {"1/1/26", "", "", "", ""},
        {"2026-03-07", "", "", "", ""},
        {"07.03.2026", "", "", "", ""},
        {"7/3/2026", "2026-03-07", "07/03/2026", "2026-03-07", "07/03/2026"},
        {" 7/3/2026 ", "2026-03-07", "07/03/2026", "2026-03-07", "07/03/2026"},
        {"1/1/0000", "", "", "", ""},
        {"31/12/9999", "9999-12-31", "31/12/9999", "9999-12-31", "31/12/9999"},
        {"1/1/10000", "", "", "", ""},
        {"00/00/0000 ", "", "", "", ""},
        {"0/0/0", "", "", "", ""},
        {"-1/1/2026", "", "", "", ""},
        {QString::fromUtf8("٣/٣/٢٠٢٦"), "", "", "", ""},
        {QString::fromUtf8("7／3／2026"), "", "", "", ""},
        {"1/1/1900", "1900-01-01", "", "1900-01-01", "01/01/1900"},
        {"NaN", "", "", "", ""},
        {"7/3/2026 10:00", "", "", "", ""},
        {"1/1/1", "", "", "", ""},
        {"29/2/2000", "2000-02-29", "29/02/2000", "2000-02-29", "29/02/2000"},
        {"29/2/1900", "", "", "", ""},
        {"1/1/0999", "0999-01-01", "01/01/0999", "0999-01-01", "01/01/0999"},
        {"007/03/2026", "", "", "", ""},
    };
    for (const Case &c : cases) {
        QTest::addRow("card, new, %s", describe(c.typed).constData())
            << "card" << false << c.typed << c.cardStored << c.cardShown;
        QTest::addRow("event, new, %s", describe(c.typed).constData())
            << "event" << false << c.typed << c.eventStored << c.eventShown;
    }
    for (const char *typed : {"31/02/2026", "1/13/2026", "00/00/0000 "}) {
        QTest::addRow("card, change, %s", typed) << "card" << true << typed << ""
                                                 << "";
        QTest::addRow("event, change, %s", typed) << "event" << true << typed << ""
                                                  << "";
    }
    QTest::newRow("card, change, 00/00/0000") << "card" << true << "00/00/0000"
                                              << "1900-01-01"
                                              << "";
    QTest::newRow("event, change, 00/00/0000")
        << "event" << true << "00/00/0000" << today << "07/12/2026";
}

void TestHostileInput::datesMustBeCalendarDays() {
    QFETCH(QString, window);
    QFETCH(bool, update);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    TestApp app;
    addStoredPlant(app);
    const bool card = window == "card";
    QDialog *w = nullptr;
    QLineEdit *date = nullptr;
    QPushButton *ok = nullptr;
    if (card) {
        PlantCardDialog *f = update ? openCard(app, plantKey) : openNewCard(app);
        QVERIFY(f);
        w = f;
        date = f->lineEdit("dataacquisto");
        ok = f->okButton;
    } else {
        CareEventDialog *f = update ? openEvent(app, eventKey) : openNewEvent(app);
        QVERIFY(f);
        if (!update)
            pick(f->typeCombo, "Annaffiatura");
        w = f;
        date = f->dateEdit;
        ok = f->okButton;
    }
    paste(date, typed);
    QCOMPARE(date->text(), typed);
    const QByteArray before = archiveHash(app);
    const QStringList folders = entries(app.path("img"));
    const ListMode mode = app.state().listMode;

    QTest::mouseClick(ok, Qt::LeftButton);

    QCOMPARE(app.messages.said.size(), 1);
    const QString said = app.messages.said.first().text;
    if (stored.isEmpty()) {
        if (!card)
            QCOMPARE(said, eventError);
        else if (update)
            QVERIFY2(said.startsWith(cardError + ' ') && said.contains(typed), qPrintable(said));
        else
            QCOMPARE(said, cardError);
        QCOMPARE(archiveHash(app), before);
        QCOMPARE(entries(app.path("img")), folders);
        QCOMPARE(app.state().listMode, mode);
        QVERIFY(w->isVisible());
        QCOMPARE(date->text(), typed);
        return;
    }
    QCOMPARE(said, card ? cardSaved : eventSaved);
    if (card) {
        const qint64 key = update ? plantKey : clockKey;
        QCOMPARE(plantValue(app, key, "dataacquisto").toString(), stored);
        if (!update)
            QVERIFY(closeWindow(w));
        PlantCardDialog *f = openCard(app, key);
        QVERIFY(f);
        QCOMPARE(f->lineEdit("dataacquisto")->text(), shown);
    } else {
        const qint64 key = update ? eventKey : clockKey;
        QCOMPARE(eventValue(app, key, "datatratt").toString(), stored);
        QVERIFY(closeWindow(w));
        CareEventDialog *f = openEvent(app, key);
        QVERIFY(f);
        QCOMPARE(f->dateEdit->text(), shown);
    }
}

// ----- texts -----

void TestHostileInput::writtenTextsReadBackExactly_data() {
    QTest::addColumn<QString>("window"); // "card", or "event" (description or free type)
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written"); // what the archive must hold afterwards

    const QList<QPair<const char *, QString>> texts = {
        {"tabs", "uno\tdue\t\ttre\t"},
        {"line breaks", "riga uno\nriga due\n\nriga quattro\n"},
        {"Windows line breaks", "riga uno\r\nriga due\r\n"},
        {"control characters",
         QStringLiteral("\x01\x02\x03\x07\x08\x0b\x0c\x1b[31mrosso\x1b[0m\x7f")},
        {"NUL", QStringLiteral("prima") + nul + QStringLiteral("dopo")},
        {"10,000 characters", long10k()},
        {"emoji", QString::fromUtf8("🌵🌸 Cactus 👍🏽 👨‍🌾 🇮🇹")},
        {"decomposed accents", QString::fromUtf8("Pe\u0301tunia, perche\u0301, citta\u0300")},
        {"non-breaking spaces", QString::fromUtf8("10\u00a0cm, 5\u202fmm")},
        {"quotes", QString::fromUtf8("O'Brien \"il\" `verde` ‘curvo’ «caporali»")},
        {"SQL", "'); DROP TABLE piante; --"},
        {"backslashes", "C:\\piante\\ficus\\ \\n \\0"},
        {"direction marks and invisible characters",
         QString::fromUtf8("\u202eolleh\u202c a\u200bb \ufeff")},
        {"only blanks", "   "},
        {"blanks around", "  ficus  "},
        {"wildcards", "%_*?[a-z]"},
        {"line and paragraph separators", QString::fromUtf8("a\u2028b\u2029c")},
        {"format placeholders", "%1 %s %n {0} %%"},
        {"private use and replacement characters", QString::fromUtf8("\ue000\ufffd")},
    };
    const QStringList lineBoxes = {"famiglia", "genere",    "specie", "identificazione",
                                   "habitat",  "r3",        "r4",     "r1",
                                   "r2",       "fioritura", "vaso"};
    int n = 0;
    for (const auto &[name, text] : texts) {
        const QString line = lineBoxes.at(n % lineBoxes.size());
        const QString memo = n % 2 ? "note" : "descrizione";
        ++n;
        QTest::addRow("card %s, %s", qPrintable(line), name) << "card" << line << text << text;
        QTest::addRow("card %s, %s", qPrintable(memo), name)
            << "card" << memo << text << asMemo(text);
        QTest::addRow("event description, %s", name)
            << "event"
            << "eventDescriptionEdit" << text << asMemo(text);
        QTest::addRow("event free type, %s", name) << "event"
                                                   << "otherTypeEdit" << text << text;
    }
    // Typed straight into the type list, a type that only looks like a known one.
    QTest::newRow("event typed type, trailing blank") << "event"
                                                      << "typeCombo"
                                                      << "Annaffiatura "
                                                      << "Annaffiatura ";
    QTest::newRow("event typed type, tab") << "event"
                                           << "typeCombo"
                                           << "Rinvaso\t"
                                           << "Rinvaso\t";
    QTest::newRow("event typed type, emoji")
        << "event"
        << "typeCombo" << QString::fromUtf8("💧 acqua") << QString::fromUtf8("💧 acqua");
}

void TestHostileInput::writtenTextsReadBackExactly() {
    QFETCH(QString, window);
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    TestApp app;
    addStoredPlant(app);

    if (window == "card") {
        static const QHash<QString, QString> fieldOf = {{"famiglia", "famiglia"},
                                                        {"genere", "genere"},
                                                        {"specie", "specie"},
                                                        {"identificazione", "identificazione"},
                                                        {"habitat", "habitat"},
                                                        {"r3", "r3"},
                                                        {"r4", "r4"},
                                                        {"r1", "r1"},
                                                        {"r2", "r2"},
                                                        {"fioritura", "fioritura"},
                                                        {"vaso", "vaso"},
                                                        {"descrizione", "descrizione"},
                                                        {"note", "note"}};
        PlantCardDialog *w = openNewCard(app);
        QVERIFY(w);
        QWidget *input = w->findChild<QWidget *>(box);
        QVERIFY(input);
        paste(input, typed);
        QCOMPARE(held(input), written);
        QTest::mouseClick(w->okButton, Qt::LeftButton);
        QCOMPARE(app.messages.texts(), QStringList{cardSaved});
        QCOMPARE(plantValue(app, clockKey, fieldOf.value(box)).toString(), written);
        QVERIFY(closeWindow(w));
        // The list shows species and identification as stored; blanks show as nothing.
        if (box == "specie" || box == "identificazione") {
            MainWindow &main = app.main();
            int row = 0;
            while (row < main.listView->list()->rowCount() &&
                   main.listView->list()->text(row, 7) != QString::number(clockKey))
                ++row;
            QVERIFY(row < main.listView->list()->rowCount());
            QCOMPARE(main.listView->list()->text(row, box == "specie" ? 1 : 2),
                     written.trimmed().isEmpty() ? QString() : written);
        }
        w = openCard(app, clockKey);
        QVERIFY(w);
        QCOMPARE(held(w->findChild<QWidget *>(box)), written);
        return;
    }

    CareEventDialog *w = openNewEvent(app);
    QVERIFY(w);
    QWidget *input = w->findChild<QWidget *>(box);
    QVERIFY(input);
    if (box == "otherTypeEdit")
        pick(w->typeCombo, other);
    else if (box == "eventDescriptionEdit")
        pick(w->typeCombo, "Potatura");
    paste(input, typed);
    QCOMPARE(held(input), written);
    QVERIFY(w->save());
    QCOMPARE(app.messages.texts(), QStringList{eventSaved});
    const QString field = box == "eventDescriptionEdit" ? "descrizione" : "intervento";
    QCOMPARE(eventValue(app, clockKey, field).toString(), written);
    QVERIFY(closeWindow(w));
    w = openEvent(app, clockKey);
    QVERIFY(w);
    if (box == "eventDescriptionEdit") {
        QCOMPARE(held(w->eventDescriptionEdit), written);
    } else {
        // Not one of the known types: shown as "Altro...." with the text in the free box.
        QCOMPARE(w->typeCombo->currentText(), other);
        QCOMPARE(w->otherTypeEdit->text(), written);
    }
}

// Texts stored before, by this program or another tool, come back unchanged from a save
// that did not touch them: opening a record and pressing "OK" changes nothing in it.
void TestHostileInput::untouchedTextsSurviveASave_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("text");
    const QList<QPair<const char *, QString>> texts = {
        {"non-breaking spaces", QString::fromUtf8("10\u00a0cm,\u00a05\u202fmm")},
        {"line breaks and tabs", "uno\tdue\n\ntre\n"},
        {"emoji and decomposed accents", QString::fromUtf8("🌵 Pe\u0301tunia 👨‍🌾")},
        {"control characters and NUL", QStringLiteral("a\x01\x1b[0m") + nul + "b"},
        {"10,000 characters", long10k()},
    };
    for (const auto &[name, text] : texts) {
        QTest::addRow("card, %s", name) << "card" << text;
        QTest::addRow("event, %s", name) << "event" << text;
    }
}

void TestHostileInput::untouchedTextsSurviveASave() {
    QFETCH(QString, window);
    QFETCH(QString, text);
    TestApp app;
    addStoredPlant(app);
    QStringList textFields; // the typed texts of the card
    for (const Field &f : FieldTable::plant())
        if (f.kind == Schema::Kind::Text && !f.label.isEmpty() && f.column != "img")
            textFields << f.column;
    if (window == "card") {
        for (const QString &f : textFields)
            app.sql(QStringLiteral("UPDATE piante SET %1 = ? WHERE id = ?").arg(f),
                    {text, plantKey});
        PlantCardDialog *w = openCard(app, plantKey);
        QVERIFY(w);
        QTest::mouseClick(w->okButton, Qt::LeftButton);
        QCOMPARE(app.messages.texts(), QStringList{cardSaved});
        for (const QString &f : textFields)
            QCOMPARE(plantValue(app, plantKey, f).toString(), text);
    } else {
        app.sql("UPDATE coltivazione SET descrizione = ? WHERE idtrat = ?", {text, eventKey});
        CareEventDialog *w = openEvent(app, eventKey);
        QVERIFY(w);
        QVERIFY(w->save());
        QCOMPARE(eventValue(app, eventKey, "descrizione").toString(), text);
        QCOMPARE(eventValue(app, eventKey, "intervento").toString(), QStringLiteral("Rinvaso"));
    }
}

// ----- pictures -----

void TestHostileInput::chosenPicturesAreStagedOrRefused_data() {
    QTest::addColumn<bool>("update");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("staged");

    const QList<std::tuple<const char *, QString, bool>> kinds = {
        {"0 bytes", "vuota.jpg", false},
        {"JPEG cut after its header", "tagliata.jpg", false},
        {"JPEG cut in half", "mezza.jpg", true},
        {"text named .jpg", "testo.jpg", false},
        {"20000x20000 BMP", "enorme.bmp", false},
        {"20000x20000 PNG", "enorme.jpg", false},
        {"20000x20000 JPEG", "enorme2.jpg", false},
        {"20000x20000 GIF", "enorme.gif", false},
        {"20000x20000 PPM", "enorme3.jpg", false},
        {"picture", QString::fromUtf8("Ficus \"del\" salotto d'estate è già.jpg"), true},
        {"picture", QString::fromUtf8("pe\u0301tunia fiorita.jpg"), true},
        {"picture", "riga uno\nriga due.jpg", true},
        {"picture", "C:\\Foto\\ficus.jpg", true},
        {"picture", " #1 100% [ok] *?.jpg", true},
        {"picture", QString::fromUtf8("🌵.jpg"), true},
        {"picture", QString(122, QChar(0xe8)) + ".jpg", true}, // 248 bytes
        {"picture", QString(125, QChar(0xe8)) + ".jpg", true}, // 254 bytes
        {"PNG named .jpg", "davvero-png.jpg", true},
        {"BMP, capital extension", "FOTO.BMP", true},
        {"folder named .jpg", "cartella.jpg", false},
        {"missing file", "sparita.jpg", false},
        {"the stored card's own picture", "ficus.jpg", true},
    };
    for (const auto &[kind, name, staged] : kinds)
        for (const bool update : {false, true})
            QTest::addRow("%s, %s %s", update ? "change" : "new", kind, describe(name).constData())
                << update << QString::fromLatin1(kind) << name << staged;
}

void TestHostileInput::chosenPicturesAreStagedOrRefused() {
    QFETCH(bool, update);
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(bool, staged);
    TestApp app;
    addStoredPlant(app);
    const bool own = kind.startsWith("the stored card");
    const QString source = app.path((own ? "img/1/" : "foto/") + name);
    QDir().mkpath(app.path("foto"));
    if (kind == "0 bytes")
        writeFile(source, {});
    else if (kind.startsWith("JPEG cut")) {
        const QByteArray jpeg = readAll(app.makePicture("scratch/whole.jpg", 320, 240));
        writeFile(source, kind.endsWith("half") ? jpeg.left(jpeg.size() / 2) : jpeg.left(200));
    } else if (kind == "text named .jpg")
        writeFile(source, "Questa non è una foto.\n");
    else if (kind.startsWith("20000x20000"))
        writeFile(source, pictureBytes(app, kind.mid(12).toLower()));
    else if (kind == "picture")
        app.makePicture("foto/" + name, 90, 60);
    else if (kind == "PNG named .jpg")
        app.makePicture("foto/" + name, 90, 60, "PNG");
    else if (kind.startsWith("BMP"))
        app.makePicture("foto/" + name, 90, 60, "BMP");
    else if (kind == "folder named .jpg")
        QVERIFY(QDir().mkpath(source));
    const QByteArray sourceHash = TestApp::fileHash(source);

    PlantCardDialog *w = update ? openCard(app, plantKey) : openNewCard(app);
    QVERIFY(w);
    const QString path15 = w->stagedPicturePath();
    const QString name18 = w->stagedPictureName();
    const QByteArray before = archiveHash(app);
    const bool peakKnown = resetPeak();
    const qint64 rssBefore = statusKb("VmRSS:");

    app.files.next = source;
    QTest::mouseClick(w->browseButton, Qt::LeftButton);

    if (peakKnown)
        QVERIFY2(statusKb("VmHWM:") - rssBefore < saneGrowthKb,
                 qPrintable(QString("peak grew by %1 kB").arg(statusKb("VmHWM:") - rssBefore)));
    QVERIFY(app.messages.said.isEmpty());
    QCOMPARE(archiveHash(app), before);
    if (staged) {
        QCOMPARE(w->stagedPicturePath(), source);
        QCOMPARE(w->stagedPictureName(), name);
        QVERIFY(!w->picturePreview->isBlank());
        QVERIFY(w->pictureChanged());
    } else {
        // The choice is undone; the preview, cleared for the picture, stays blank.
        QCOMPARE(w->stagedPicturePath(), path15);
        QCOMPARE(w->stagedPictureName(), name18);
        QVERIFY(w->picturePreview->isBlank());
        QVERIFY(!w->pictureChanged());
    }

    QTest::mouseClick(w->okButton, Qt::LeftButton);

    QCOMPARE(app.messages.texts(), QStringList{cardSaved});
    const qint64 key = update ? plantKey : clockKey;
    const QString folder = app.path("img/" + QString::number(key));
    QStringList pictures = update ? QStringList{"ficus.jpg"} : QStringList{};
    if (staged) {
        pictures << name;
        pictures.removeDuplicates();
        pictures.sort();
        QCOMPARE(plantValue(app, key, "img").toString(), name);
        QCOMPARE(TestApp::fileHash(folder + "/" + name), sourceHash);
    } else {
        QCOMPARE(plantValue(app, key, "img").toString(), update ? "ficus.jpg" : "nd.jpg");
    }
    QCOMPARE(entries(folder), pictures);
    QCOMPARE(TestApp::fileHash(source), sourceHash);
    if (!update)
        QVERIFY(closeWindow(w));

    // Opened again, the card shows its picture; the main list's row click paints it.
    w = openCard(app, key);
    QVERIFY(w);
    QCOMPARE(w->stagedPictureName(), staged ? name : update ? "ficus.jpg" : "");
    QVERIFY(!w->picturePreview->isBlank());
    QVERIFY(closeWindow(w));
    MainWindow &main = app.main();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    int row = 0;
    while (row < main.listView->list()->rowCount() &&
           main.listView->list()->text(row, 7) != QString::number(key))
        ++row;
    QVERIFY(row < main.listView->list()->rowCount());
    const QModelIndex cell = main.listView->list()->index(row, 1);
    QTest::mouseClick(main.listView->viewport(), Qt::LeftButton, {},
                      main.listView->visualRect(cell).center());
    QCOMPARE(app.state().idpianta, double(key));
    // The new picture; else the card's old one, or the placeholder for a new card.
    const QString shown = staged   ? source
                          : update ? app.path("img/1/ficus.jpg")
                                   : app.path("img/nd.jpg");
    QCOMPARE(main.heldPicture.size(), PictureBox::load(shown).size());
    QVERIFY(!main.heldPicture.isNull());
}

void TestHostileInput::hugeStoredPictureIsNeverDecoded_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("where");
    for (const char *format : {"bmp", "png", "jpeg", "gif", "ppm"})
        for (const char *where : {"main list", "card editor", "care event window"})
            QTest::addRow("%s, %s", format, where) << format << where;
}

// A picture that says it is 20,000 x 20,000 pixels, already in a plant's folder: every window
// that shows it stands in the placeholder or a blank frame, without ever holding the pixels.
void TestHostileInput::hugeStoredPictureIsNeverDecoded() {
    QFETCH(QString, format);
    QFETCH(QString, where);
    TestApp app;
    addStoredPlant(app);
    writeFile(app.path("img/1/ficus.jpg"), pictureBytes(app, format));
    const QSize placeholder = PictureBox::load(app.path("img/nd.jpg")).size();
    QVERIFY(placeholder.isValid());
    MainWindow &main = app.main();
    const QByteArray before = archiveHash(app);
    const bool peakKnown = resetPeak();
    const qint64 rssBefore = statusKb("VmRSS:");

    if (where == "main list") {
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const QModelIndex cell = main.listView->list()->index(0, 1);
        QTest::mouseClick(main.listView->viewport(), Qt::LeftButton, {},
                          main.listView->visualRect(cell).center());
        QCOMPARE(app.state().idpianta, double(plantKey));
        QCOMPARE(main.heldPicture.size(), placeholder);
        QVERIFY(!main.pictureFrame->isBlank());
    } else if (where == "card editor") {
        PlantCardDialog *w = openCard(app, plantKey);
        QVERIFY(w);
        QCOMPARE(w->stagedPictureName(), QStringLiteral("ficus.jpg"));
        QVERIFY(w->picturePreview->isBlank());
        QVERIFY(w->heldPicture.isNull());
    } else {
        CareEventDialog *w = openEvent(app, eventKey);
        QVERIFY(w);
        QCOMPARE(w->heldPicture.size(), placeholder);
        QCOMPARE(w->typeCombo->currentText(), QStringLiteral("Rinvaso"));
    }
    if (peakKnown)
        QVERIFY2(statusKb("VmHWM:") - rssBefore < saneGrowthKb,
                 qPrintable(QString("peak grew by %1 kB").arg(statusKb("VmHWM:") - rssBefore)));
    QVERIFY(app.messages.said.isEmpty());
    QCOMPARE(archiveHash(app), before);
}

QTEST_MAIN(TestHostileInput)
#include "test_hostileinput.moc"
