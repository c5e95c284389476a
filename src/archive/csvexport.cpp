#include "archive/csvexport.h"

#include "archive/conversions.h"
#include "archive/failurereason.h"
#include "archive/fieldtable.h"
#include "archive/filesteps.h"
#include "archive/rawquery.h"
#include "archive/sqlitefile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <charconv>
#include <cerrno>
#include <optional>
#include <unistd.h>

const QString CsvExport::plantsFile = QStringLiteral("piante.csv");
const QString CsvExport::eventsFile = QStringLiteral("trattamenti.csv");
const QString CsvExport::remindersFile = QStringLiteral("promemoria.csv");
const QString CsvExport::photosFile = QStringLiteral("foto.csv");

namespace {

constexpr qsizetype flushAt = 1 << 20;
constexpr qint64 progressEvery = 1024;

// The new pair is written into a fresh folder of this name (and six characters more) in the
// chosen folder; the mark in it says that both files there are whole.
const QString stagingPrefix = QStringLiteral(".silvaro-csv-");
const QString markName = QStringLiteral("completa");
// Beside the archive while an export is under way: the chosen folder, for the next start.
const QString noteName = QStringLiteral(".esportazione-csv");

// A text a spreadsheet would take for a formula: one of = + - @, a tab or a carriage return
// first, after any apostrophes. It goes out with one apostrophe more in front; the import
// takes the first apostrophe away from such a text, so the round trip is exact.
bool wantsGuard(QByteArrayView text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == '\'')
        ++i;
    if (i == text.size())
        return false;
    const char c = text.at(i);
    return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

// Whether stored bytes are well-formed UTF-8, which then go out as they are; others go
// through the conversion that reading them as text makes.
bool isUtf8(QByteArrayView text) {
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *end = p + text.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int more = 0;
        char32_t c = 0;
        if ((*p & 0xE0) == 0xC0) {
            more = 1;
            c = *p & 0x1F;
        } else if ((*p & 0xF0) == 0xE0) {
            more = 2;
            c = *p & 0x0F;
        } else if ((*p & 0xF8) == 0xF0) {
            more = 3;
            c = *p & 0x07;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (p[i] & 0x3F);
        }
        static constexpr char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        p += more + 1;
    }
    return true;
}

// Removes a staging folder with what the export put in it (nothing else).
void removeStaging(const QString &staging) {
    const QDir in(staging);
    const QStringList names = CsvExport::fileNames() << markName;
    for (const QString &name : names)
        FileSteps::remove(in.filePath(name));
    QDir().rmdir(staging);
}

// Moves the files of a staging folder whose mark proves them whole into `folder`, over the
// old ones, then removes the staging folder; one without a whole mark is only removed, and
// the old pair stays.
void settleStaging(const QString &folder, const QString &staging) {
    const QDir in(staging);
    QFile mark(in.filePath(markName));
    QList<std::pair<QString, qint64>> pair;
    if (mark.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : mark.readAll().split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            bool number = false;
            const qint64 size = words.value(1).toLongLong(&number);
            if (words.size() == 2 && number && CsvExport::fileNames().contains(words.at(0)))
                pair.append({QString::fromLatin1(words.at(0)), size});
        }
        mark.close();
    }
    // An export of an older program marked only the first two files.
    if (pair.size() >= 2 && pair.at(0).first == CsvExport::plantsFile &&
        pair.at(1).first == CsvExport::eventsFile) {
        for (const auto &[name, size] : pair) {
            const QString staged = in.filePath(name);
            // A file gone from here was moved already.
            if (FileSteps::isRegularFile(staged) && QFileInfo(staged).size() == size)
                FileSteps::replace(staged, QDir(folder).filePath(name));
        }
        FileSteps::sync(folder);
    }
    removeStaging(staging);
}

bool isDateField(const QString &name) {
    return name.compare(QLatin1String("dataacquisto"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("datatratt"), Qt::CaseInsensitive) == 0;
}

// A field's text before quoting, and whether it takes the apostrophe against formulas.
struct FieldText {
    QByteArrayView text;
    bool guard = false;
    QByteArray owned() const { return guard ? '\'' + text.toByteArray() : text.toByteArray(); }
};

// One field. Quotes only where the field needs them: a ';', a quote or a line break.
void appendField(QByteArray &out, const FieldText &field) {
    const QByteArrayView text = field.text;
    bool quote = false;
    for (const char c : text)
        if (c == ';' || c == '"' || c == '\n' || c == '\r') {
            quote = true;
            break;
        }
    if (quote)
        out += '"';
    if (field.guard)
        out += '\'';
    if (!quote) {
        out += text;
        return;
    }
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i) == '"') {
            out += text.sliced(from, i + 1 - from);
            out += '"';
            from = i + 1;
        }
    out += text.sliced(from);
    out += '"';
}

// A stored date as dd/mm/yyyy (into `digits`), nothing for 1 January 1900 (no date); a
// stored value that is no date (another tool's) goes out as it is. Worked from the digits:
// an export writes hundreds of thousands of dates.
QByteArrayView dateText(QByteArrayView stored, char *digits) {
    // A date another tool stored with the time of midnight is still a date.
    const QByteArrayView time = stored.size() > 10 ? stored.sliced(10) : QByteArrayView();
    const bool midnight = time == " 00:00:00" || time == "T00:00:00" ||
                          time == " 00:00:00.000" || time == "T00:00:00.000";
    if (stored.size() != 10 && !midnight)
        return stored;
    const QDate date = Conversions::isoDatePrefix(stored);
    if (!date.isValid())
        return stored;
    if (date == QDate(1900, 1, 1))
        return {};
    const int y = date.year(), m = date.month(), d = date.day();
    const char text[10] = {char('0' + d / 10),   char('0' + d % 10),       '/',
                           char('0' + m / 10),   char('0' + m % 10),       '/',
                           char('0' + y / 1000), char('0' + y / 100 % 10), char('0' + y / 10 % 10),
                           char('0' + y % 10)};
    std::copy(text, text + 10, digits);
    return QByteArrayView(digits, 10);
}

// A number with a decimal comma, in as few digits as give it back exactly; never an
// exponent.
QByteArray numberText(double value) {
    if (value == 0)
        return QByteArrayLiteral("0");
    QByteArray s = QByteArray::number(value, 'f', QLocale::FloatingPointShortest);
    s.replace('.', ',');
    return s;
}

// A cell as its field's text: numbers as numbers, anything else guarded against formulas.
// Texts are taken as SQLite holds them, without a copy; `scratch` holds a text made here.
using Digits = char[24];
FieldText fieldText(const RawQuery &q, int column, bool date, QByteArray &scratch,
                    Digits &digits) {
    const RawQuery::Cell c = q.cell(column);
    switch (c.type) {
    case RawQuery::Cell::Integer: {
        const auto end = std::to_chars(digits, digits + sizeof digits, c.integer);
        if (end.ec == std::errc())
            return {QByteArrayView(digits, end.ptr - digits)};
        scratch = QByteArray::number(c.integer);
        return {scratch};
    }
    case RawQuery::Cell::Real:
        scratch = numberText(c.real);
        return {scratch};
    case RawQuery::Cell::Blob:
        return {c.text, wantsGuard(c.text)};
    case RawQuery::Cell::Text: {
        QByteArrayView text = c.text;
        if (!isUtf8(text)) {
            scratch = q.value(column).toString().toUtf8();
            text = scratch;
        }
        if (date)
            text = dateText(text, digits);
        return {text, wantsGuard(text)};
    }
    default:
        return {};
    }
}

// One new output file, written through a buffer; error() is the errno of a failed step.
class CsvFile {
public:
    explicit CsvFile(QString path) : m_path(std::move(path)) {}
    ~CsvFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool open() {
        if ((m_error = FileSteps::create(m_path, &m_fd)))
            return false;
        m_buffer.reserve(flushAt + 4096);
        m_buffer += "\xEF\xBB\xBF";
        return true;
    }
    void field(const FieldText &text) {
        if (m_first)
            m_first = false;
        else
            m_buffer += ';';
        appendField(m_buffer, text);
    }
    // The cell of the row `q` is on.
    void cell(const RawQuery &q, int column, bool date) {
        field(fieldText(q, column, date, m_scratch, m_digits));
    }
    bool endRow() {
        m_buffer += "\r\n";
        m_first = true;
        return m_buffer.size() < flushAt || flush();
    }
    bool flush() {
        m_error = FileSteps::write(m_fd, m_buffer);
        m_size += m_buffer.size();
        m_buffer.clear();
        return !m_error;
    }
    // Everything written and synced to the disk.
    bool commit() {
        if (!flush())
            return false;
        m_error = FileSteps::finish(m_fd);
        m_fd = -1;
        return !m_error;
    }
    int error() const { return m_error; }
    qint64 size() const { return m_size; }

private:
    QString m_path;
    int m_fd = -1;
    int m_error = 0;
    qint64 m_size = 0;
    QByteArray m_buffer;
    bool m_first = true;
    QByteArray m_scratch;
    Digits m_digits = {};
};

} // namespace

CsvExport::CsvExport(QString archivePath) : m_path(std::move(archivePath)) {}

void CsvExport::settle(const QString &folder) {
    static const QRegularExpression staged(QRegularExpression::escape(stagingPrefix) +
                                           QStringLiteral("[A-Za-z0-9]{6}$"));
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks))
        if (name.startsWith(stagingPrefix) && staged.match(name).hasMatch() &&
            FileSteps::isFolder(dir.filePath(name)))
            settleStaging(folder, dir.filePath(name));
}

void CsvExport::settleInterrupted(const QString &archivePath) {
    const QString note = QFileInfo(archivePath).dir().filePath(noteName);
    QFile file(note);
    if (!FileSteps::isRegularFile(note) || !file.open(QIODevice::ReadOnly))
        return;
    const QString folder = QString::fromUtf8(file.readAll());
    file.close();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        settle(folder);
    FileSteps::remove(note);
}

bool CsvExport::write(const QString &folder, const Progress &progress) {
    m_error.clear();
    m_stopped = false;
    m_plants = m_events = 0;
    auto fail = [this](const QString &why) {
        m_error = why;
        return false;
    };
    auto failed = [&](int error, const QString &doing, const QString &path) {
        return fail(FailureReason::told(FailureReason::ofErrno(error), doing, path));
    };
    const QString intoFolder = QStringLiteral("scrivere nella cartella");
    if (!QFileInfo(folder).isDir())
        return failed(QFileInfo::exists(folder) ? ENOTDIR : ENOENT, intoFolder, folder);
    // What an export cut short left here is finished or removed first.
    settle(folder);
    const QDir out(folder);
    // A folder under a file's name cannot be replaced: told before anything changes.
    for (const QString &name : fileNames())
        if (FileSteps::isFolder(out.filePath(name)))
            return failed(EISDIR, QStringLiteral("sostituire"), out.filePath(name));
    const QString reading = QStringLiteral("leggere");
    SqliteFile archive;
    if (!archive.open(m_path))
        return fail(FailureReason::told(archive.error(), reading, m_path));
    // Every table from one state of the file.
    QSqlQuery begin(archive.db());
    if (!archive.run(begin, QStringLiteral("BEGIN")))
        return fail(FailureReason::told(archive.error(), reading, m_path));
    const qint64 plantCount =
        archive.value(QStringLiteral("SELECT count(*) FROM piante")).toLongLong();
    const qint64 eventCount =
        archive.value(QStringLiteral("SELECT count(*) FROM coltivazione")).toLongLong();
    const qint64 total = plantCount + eventCount;
    qint64 done = 0;
    auto step = [&] {
        ++done;
        if (progress && done % progressEvery == 0 && !progress(done, total)) {
            m_stopped = true;
            return false;
        }
        return true;
    };

    // The new pair goes into a fresh folder beside the old one; a note beside the archive
    // names this folder, so that the next start finishes or removes what a kill left (the
    // next export here does too, should the note not be written).
    const QString note = QFileInfo(m_path).dir().filePath(noteName);
    int noteFd = -1;
    if (FileSteps::remove(note) == 0 && FileSteps::create(note, &noteFd) == 0) {
        FileSteps::write(noteFd, QFileInfo(folder).absoluteFilePath().toUtf8());
        FileSteps::finish(noteFd);
    }
    QString staging;
    if (const int error = FileSteps::makeFreshFolder(out.filePath(stagingPrefix), &staging)) {
        FileSteps::remove(note);
        return failed(error, intoFolder, folder);
    }
    bool halfway = false; // piante.csv replaced, the others not yet
    const auto cleanUp = qScopeGuard([&] {
        if (!halfway) {
            removeStaging(staging);
            FileSteps::remove(note);
        }
    });

    const QDir in(staging);
    CsvFile plants(in.filePath(plantsFile));
    CsvFile events(in.filePath(eventsFile));
    CsvFile reminders(in.filePath(remindersFile));
    CsvFile photos(in.filePath(photosFile));
    const QString writing = QStringLiteral("scrivere");
    if (!plants.open())
        return failed(plants.error(), writing, out.filePath(plantsFile));
    if (!events.open())
        return failed(events.error(), writing, out.filePath(eventsFile));
    if (!reminders.open())
        return failed(reminders.error(), writing, out.filePath(remindersFile));
    if (!photos.open())
        return failed(photos.error(), writing, out.filePath(photosFile));
    // The plants, and for the events each plant's specie and identificazione by its key
    // (the first plant stored under a key, when a file holds the same key twice).
    QHash<qint64, std::pair<QByteArray, QByteArray>> names;
    names.reserve(plantCount);
    // The id of a row as a key: a whole number as stored, anything else as a number read
    // from it (0 when it is none).
    auto keyOf = [](const RawQuery &q, int column) -> std::optional<qint64> {
        const RawQuery::Cell c = q.cell(column);
        if (c.type == RawQuery::Cell::Null)
            return std::nullopt;
        return c.type == RawQuery::Cell::Integer ? c.integer : q.value(column).toLongLong();
    };
    {
        RawQuery q(archive.db(), QStringLiteral("SELECT * FROM piante ORDER BY rowid"));
        if (q.failed())
            return fail(FailureReason::told(archive.failed(q), reading, m_path));
        QList<bool> date;
        int id = -1, specie = -1, ident = -1;
        for (int i = 0; i < q.columns(); ++i) {
            const QString name = q.columnName(i).toLower();
            plants.field({q.columnName(i).toUtf8()});
            date << isDateField(name);
            id = name == QLatin1String("id") ? i : id;
            specie = name == QLatin1String("specie") ? i : specie;
            ident = name == QLatin1String("identificazione") ? i : ident;
        }
        if (!plants.endRow())
            return failed(plants.error(), writing, out.filePath(plantsFile));
        QByteArray scratch;
        Digits digits;
        while (q.next()) {
            for (int i = 0; i < date.size(); ++i)
                plants.cell(q, i, date.at(i));
            if (!plants.endRow())
                return failed(plants.error(), writing, out.filePath(plantsFile));
            if (const auto key = id >= 0 ? keyOf(q, id) : std::nullopt;
                key && !names.contains(*key)) {
                auto text = [&](int column) {
                    return column >= 0 ? fieldText(q, column, false, scratch, digits).owned()
                                       : QByteArray();
                };
                names.insert(*key, {text(specie), text(ident)});
            }
            ++m_plants;
            if (!step())
                return false;
        }
        if (q.failed())
            return fail(FailureReason::told(archive.failed(q), reading, m_path));
    }
    {
        RawQuery q(archive.db(), QStringLiteral("SELECT * FROM coltivazione ORDER BY rowid"));
        if (q.failed())
            return fail(FailureReason::told(archive.failed(q), reading, m_path));
        QList<bool> date;
        int id = -1;
        for (int i = 0; i < q.columns(); ++i) {
            const QString name = q.columnName(i).toLower();
            events.field({q.columnName(i).toUtf8()});
            date << isDateField(name);
            if (name == QLatin1String("id")) {
                id = i;
                events.field({"specie"});
                events.field({"identificazione"});
            }
        }
        if (!events.endRow())
            return failed(events.error(), writing, out.filePath(eventsFile));
        const std::pair<QByteArray, QByteArray> none;
        while (q.next()) {
            for (int i = 0; i < date.size(); ++i) {
                events.cell(q, i, date.at(i));
                if (i == id) {
                    const auto key = keyOf(q, i);
                    const auto it = key ? names.constFind(*key) : names.cend();
                    const auto &n = it == names.cend() ? none : *it;
                    events.field({n.first});
                    events.field({n.second});
                }
            }
            if (!events.endRow())
                return failed(events.error(), writing, out.filePath(eventsFile));
            ++m_events;
            if (!step())
                return false;
        }
        if (q.failed())
            return fail(FailureReason::told(archive.failed(q), reading, m_path));
    }
    // A small table whole: its field names, then its rows, the named field read as a date.
    auto copyTable = [&](const QString &select, CsvFile &file, const QString &fileName,
                         const QString &dateField) {
        RawQuery q(archive.db(), select);
        if (q.failed())
            return fail(FailureReason::told(archive.failed(q), reading, m_path));
        QList<bool> date;
        for (int i = 0; i < q.columns(); ++i) {
            file.field({q.columnName(i).toUtf8()});
            date << (q.columnName(i) == dateField);
        }
        if (!file.endRow())
            return failed(file.error(), writing, out.filePath(fileName));
        while (q.next()) {
            for (int i = 0; i < date.size(); ++i)
                file.cell(q, i, date.at(i));
            if (!file.endRow())
                return failed(file.error(), writing, out.filePath(fileName));
        }
        if (q.failed())
            return fail(FailureReason::told(archive.failed(q), reading, m_path));
        return true;
    };
    {
        // Few rows, and none (but the field names) in an archive of an older layout.
        const QVariant has = archive.value(
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                           "name = ? COLLATE NOCASE"),
            {FieldTable::reminders});
        if (!has.isValid())
            return fail(FailureReason::told(archive.error(), reading, m_path));
        if (has.toInt() == 0) {
            for (const QString &name : FieldTable::columns(FieldTable::reminders))
                reminders.field({name.toUtf8()});
            if (!reminders.endRow())
                return failed(reminders.error(), writing, out.filePath(remindersFile));
        } else if (!copyTable(QStringLiteral("SELECT * FROM promemoria ORDER BY rowid"), reminders,
                              remindersFile, QString())) {
            return false;
        }
    }
    {
        // An archive of an older layout has no photos: its foto.csv has the first row only.
        const QVariant has = archive.value(
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"),
            {QStringLiteral("foto")});
        if (!has.isValid())
            return fail(FailureReason::told(archive.error(), reading, m_path));
        const QString select = has.toInt() > 0
                                   ? QStringLiteral("SELECT idfoto, id, data, file, nota FROM foto "
                                                    "ORDER BY rowid")
                                   : QStringLiteral("SELECT NULL AS idfoto, NULL AS id, NULL AS "
                                                    "data, NULL AS file, NULL AS nota WHERE 0");
        if (!copyTable(select, photos, photosFile, QStringLiteral("data")))
            return false;
    }
    QSqlQuery end(archive.db());
    archive.run(end, QStringLiteral("ROLLBACK")); // nothing was written
    if (!plants.commit())
        return failed(plants.error(), writing, out.filePath(plantsFile));
    if (!events.commit())
        return failed(events.error(), writing, out.filePath(eventsFile));
    if (!reminders.commit())
        return failed(reminders.error(), writing, out.filePath(remindersFile));
    if (!photos.commit())
        return failed(photos.error(), writing, out.filePath(photosFile));
    // The mark: both files are whole. From here on the new pair is the export.
    {
        int fd = -1;
        int error = FileSteps::create(in.filePath(markName), &fd);
        if (!error) {
            error = FileSteps::write(fd, QStringLiteral("%1 %2\n%3 %4\n%5 %6\n%7 %8\n")
                                             .arg(plantsFile)
                                             .arg(plants.size())
                                             .arg(eventsFile)
                                             .arg(events.size())
                                             .arg(remindersFile)
                                             .arg(reminders.size())
                                             .arg(photosFile)
                                             .arg(photos.size())
                                             .toLatin1());
            const int finished = FileSteps::finish(fd);
            error = error ? error : finished;
        }
        if (!error)
            error = FileSteps::sync(staging);
        if (error)
            return failed(error, intoFolder, folder);
    }
    if (const int error = FileSteps::replace(in.filePath(plantsFile), out.filePath(plantsFile)))
        return failed(error, QStringLiteral("sostituire"), out.filePath(plantsFile));
    // piante.csv is the new one: the others must follow, now or at the next start.
    halfway = true;
    for (const QString &name : {eventsFile, remindersFile, photosFile})
        if (const int error = FileSteps::replace(in.filePath(name), out.filePath(name)))
            return failed(error, QStringLiteral("sostituire"), out.filePath(name));
    FileSteps::sync(folder);
    halfway = false;
    if (progress)
        progress(total, total);
    return true;
}
