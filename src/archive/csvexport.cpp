#include "archive/csvexport.h"

#include "archive/sqlitefile.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

const QString CsvExport::plantsFile = QStringLiteral("piante.csv");
const QString CsvExport::eventsFile = QStringLiteral("trattamenti.csv");

namespace {

constexpr qsizetype flushAt = 1 << 20;
constexpr qint64 progressEvery = 1024;

bool isDateField(const QString &name) {
    return name.compare(QLatin1String("dataacquisto"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("datatratt"), Qt::CaseInsensitive) == 0;
}

// One field as text. Quotes only where the field needs them: a ';', a quote or a line break.
void appendField(QByteArray &out, const QByteArray &text) {
    bool quote = false;
    for (const char c : text)
        if (c == ';' || c == '"' || c == '\n' || c == '\r') {
            quote = true;
            break;
        }
    if (!quote) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// A stored date as dd/mm/yyyy, nothing for 1 January 1900 (no date); a stored value that
// is no date (another tool's) goes out as it is. Worked from the digits: an export writes
// hundreds of thousands of dates.
QByteArray dateText(const QString &stored) {
    const qsizetype n = stored.size();
    // A date another tool stored with the time of midnight is still a date.
    const QStringView time = QStringView(stored).mid(10);
    const bool midnight = time == u" 00:00:00" || time == u"T00:00:00" ||
                          time == u" 00:00:00.000" || time == u"T00:00:00.000";
    if ((n == 10 || midnight) && stored.at(4) == u'-' && stored.at(7) == u'-') {
        int digit[10] = {};
        bool digits = true;
        for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
            digit[i] = stored.at(i).unicode() - u'0';
            digits = digits && digit[i] >= 0 && digit[i] <= 9;
        }
        const int y = digit[0] * 1000 + digit[1] * 100 + digit[2] * 10 + digit[3];
        const int m = digit[5] * 10 + digit[6], d = digit[8] * 10 + digit[9];
        if (digits && QDate(y, m, d).isValid()) {
            if (y == 1900 && m == 1 && d == 1)
                return {};
            const char text[10] = {char('0' + digit[8]), char('0' + digit[9]), '/',
                                   char('0' + digit[5]), char('0' + digit[6]), '/',
                                   char('0' + digit[0]), char('0' + digit[1]),
                                   char('0' + digit[2]), char('0' + digit[3])};
            return QByteArray(text, 10);
        }
    }
    return stored.toUtf8();
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

QByteArray valueText(const QVariant &v, bool date) {
    if (v.isNull())
        return {};
    switch (v.typeId()) {
    case QMetaType::Double:
        return numberText(v.toDouble());
    case QMetaType::LongLong:
    case QMetaType::Int:
        return QByteArray::number(v.toLongLong());
    case QMetaType::QByteArray:
        return v.toByteArray();
    default:
        return date ? dateText(v.toString()) : v.toString().toUtf8();
    }
}

// One output file, written through a buffer.
class CsvFile {
public:
    CsvFile(const QString &path) : m_file(path) {}
    bool open() {
        if (!m_file.open(QIODevice::WriteOnly))
            return false;
        m_buffer.reserve(flushAt + 4096);
        m_buffer += "\xEF\xBB\xBF";
        return true;
    }
    void field(const QByteArray &text) {
        if (m_first)
            m_first = false;
        else
            m_buffer += ';';
        appendField(m_buffer, text);
    }
    bool endRow() {
        m_buffer += "\r\n";
        m_first = true;
        return m_buffer.size() < flushAt || flush();
    }
    bool flush() {
        const bool ok = m_file.write(m_buffer) == m_buffer.size();
        m_buffer.clear();
        return ok;
    }
    bool commit() { return flush() && m_file.commit(); }
    QString error() const { return m_file.errorString(); }

private:
    QSaveFile m_file;
    QByteArray m_buffer;
    bool m_first = true;
};

} // namespace

CsvExport::CsvExport(QString archivePath) : m_path(std::move(archivePath)) {}

bool CsvExport::write(const QString &folder, const Progress &progress) {
    m_error.clear();
    m_stopped = false;
    m_plants = m_events = 0;
    auto fail = [this](const QString &why) {
        m_error = why;
        return false;
    };
    if (!QFileInfo(folder).isDir())
        return fail(QStringLiteral("la cartella %1 non esiste").arg(QDir::toNativeSeparators(folder)));
    SqliteFile archive;
    if (!archive.open(m_path))
        return fail(archive.error());
    // Both tables from one state of the file.
    if (!archive.db().transaction())
        return fail(archive.error());
    const qint64 plantCount = archive.value(QStringLiteral("SELECT count(*) FROM piante")).toLongLong();
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

    CsvFile plants(QDir(folder).filePath(plantsFile));
    CsvFile events(QDir(folder).filePath(eventsFile));
    if (!plants.open())
        return fail(plants.error());
    if (!events.open())
        return fail(events.error());

    // The plants, and for the events each plant's specie and identificazione by its key
    // (the first plant stored under a key, when a file holds the same key twice).
    QHash<qint64, std::pair<QByteArray, QByteArray>> names;
    names.reserve(plantCount);
    {
        QSqlQuery q(archive.db());
        if (!archive.run(q, QStringLiteral("SELECT * FROM piante ORDER BY rowid")))
            return fail(archive.error());
        const QSqlRecord rec = q.record();
        QList<bool> date;
        int id = -1, specie = -1, ident = -1;
        for (int i = 0; i < rec.count(); ++i) {
            const QString name = rec.fieldName(i).toLower();
            plants.field(rec.fieldName(i).toUtf8());
            date << isDateField(name);
            id = name == QLatin1String("id") ? i : id;
            specie = name == QLatin1String("specie") ? i : specie;
            ident = name == QLatin1String("identificazione") ? i : ident;
        }
        if (!plants.endRow())
            return fail(plants.error());
        while (q.next()) {
            for (int i = 0; i < date.size(); ++i)
                plants.field(valueText(q.value(i), date.at(i)));
            if (!plants.endRow())
                return fail(plants.error());
            if (id >= 0 && !q.value(id).isNull()) {
                const qint64 key = q.value(id).toLongLong();
                if (!names.contains(key))
                    names.insert(key, {specie >= 0 ? valueText(q.value(specie), false) : QByteArray(),
                                       ident >= 0 ? valueText(q.value(ident), false) : QByteArray()});
            }
            ++m_plants;
            if (!step())
                return false;
        }
        if (q.lastError().isValid())
            return fail(SqliteFile::reason(q));
    }
    {
        QSqlQuery q(archive.db());
        if (!archive.run(q, QStringLiteral("SELECT * FROM coltivazione ORDER BY rowid")))
            return fail(archive.error());
        const QSqlRecord rec = q.record();
        QList<bool> date;
        int id = -1;
        for (int i = 0; i < rec.count(); ++i) {
            const QString name = rec.fieldName(i).toLower();
            events.field(rec.fieldName(i).toUtf8());
            date << isDateField(name);
            if (name == QLatin1String("id")) {
                id = i;
                events.field("specie");
                events.field("identificazione");
            }
        }
        if (!events.endRow())
            return fail(events.error());
        const std::pair<QByteArray, QByteArray> none;
        while (q.next()) {
            for (int i = 0; i < date.size(); ++i) {
                const QVariant v = q.value(i);
                events.field(valueText(v, date.at(i)));
                if (i == id) {
                    const auto it = v.isNull() ? names.cend() : names.constFind(v.toLongLong());
                    const auto &n = it == names.cend() ? none : *it;
                    events.field(n.first);
                    events.field(n.second);
                }
            }
            if (!events.endRow())
                return fail(events.error());
            ++m_events;
            if (!step())
                return false;
        }
        if (q.lastError().isValid())
            return fail(SqliteFile::reason(q));
    }
    archive.db().rollback(); // nothing was written
    if (!plants.commit())
        return fail(plants.error());
    if (!events.commit())
        return fail(events.error());
    if (progress)
        progress(total, total);
    return true;
}
