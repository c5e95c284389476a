#include "archive/csvimport.h"

#include "archive/backupstore.h"
#include "archive/conversions.h"
#include "archive/csvcolumns.h"
#include "archive/failurereason.h"
#include "archive/fieldtable.h"
#include "archive/rawquery.h"
#include "archive/sqlitefile.h"
#include "archive/timestampkey.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

namespace {

const QString noDate = QStringLiteral("1900-01-01");

// The export puts an apostrophe before a text a spreadsheet would run as a formula (one of
// = + - @, a tab or a CR first, after any apostrophes); here it goes again.
QStringView unguarded(QStringView text) {
    if (text.isEmpty() || text.front() != u'\'')
        return text;
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == u'\'')
        ++i;
    if (i < text.size()) {
        const QChar c = text.at(i);
        if (c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r')
            return text.mid(1);
    }
    return text;
}

// Digits, a sign and a decimal comma, as the export writes numbers, read without the
// general reader (hundreds of thousands of them); anything else goes to the general one.
std::optional<double> number(QStringView text) {
    qsizetype comma = -1, digits = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isDigit() && c.unicode() < 128)
            ++digits;
        else if (c == u',' && comma < 0 && i > 0 && text.at(i - 1).isDigit())
            comma = i;
        else if (c != u'-' || i != 0)
            return Conversions::parseNumber(text.toString());
    }
    if (digits == 0 || (comma >= 0 && comma == text.size() - 1) || text.size() > 63)
        return Conversions::parseNumber(text.toString());
    // Read from an ASCII copy, the comma made a point: from_chars rounds as the general
    // reader does and heeds no locale.
    char plain[64];
    for (qsizetype i = 0; i < text.size(); ++i)
        plain[i] = i == comma ? '.' : char(text.at(i).unicode());
    double v = 0;
    const auto [end, failure] = std::from_chars(plain, plain + text.size(), v);
    if (failure != std::errc() || end != plain + text.size() || !std::isfinite(v))
        return Conversions::parseNumber(text.toString());
    return v == 0 ? 0.0 : v;
}

// A key: plain digits read straight, anything else by the general reader.
std::optional<qint64> key(QStringView text) {
    if (text.isEmpty() || text.size() > 18)
        return Conversions::parseKey(text.toString());
    qint64 k = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return Conversions::parseKey(text.toString());
        k = k * 10 + (c.unicode() - u'0');
    }
    return k;
}

// d/m/yyyy (the editor's) or yyyy-mm-dd, as the stored yyyy-mm-dd.
std::optional<QString> date(QStringView text) {
    QDate d;
    const qsizetype first = text.indexOf(u'/');
    const qsizetype second = first < 0 ? -1 : text.indexOf(u'/', first + 1);
    const bool threeParts = second > 0 && text.indexOf(u'/', second + 1) < 0;
    auto whole = [](QStringView s, int most) {
        if (s.isEmpty() || s.size() > most)
            return -1;
        int n = 0;
        for (const QChar c : s) {
            if (c < u'0' || c > u'9')
                return -1;
            n = n * 10 + (c.unicode() - u'0');
        }
        return n;
    };
    if (threeParts && text.size() - second - 1 == 4) {
        const int y = whole(text.sliced(second + 1), 4),
                  m = whole(text.sliced(first + 1, second - first - 1), 2),
                  day = whole(text.first(first), 2);
        if (y > 0 && m > 0 && day > 0)
            d = QDate(y, m, day);
    } else if (text.size() == 10)
        d = Conversions::isoDatePrefix(text);
    if (!d.isValid()) {
        const auto typed = Conversions::parseDate(text.toString());
        if (!typed)
            return std::nullopt;
        d = *typed;
    }
    return Conversions::isoDate(d);
}

// How two plant names are compared: blanks at the ends and case left aside.
QString nameKey(const QVariant &v) {
    return v.toString().simplified().toCaseFolded();
}

// A value as a box shows it.
QString shown(Schema::Kind kind, const QVariant &v) {
    if (kind == Schema::Kind::Date && v.toString() != noDate)
        return Conversions::editorDate(Conversions::storedDate(v));
    if (kind == Schema::Kind::Date)
        return {};
    return Conversions::displayText(v);
}

// One file's pass: its fields, their columns and the statements of a write.
struct Table {
    QString name;
    QStringList targets;      // CsvColumns::targets
    QList<int> column;        // the file's column of each target, or -1
    QList<Schema::Kind> kind; // of each target
    QList<int> maxLength;
    QStringList labels;      // as a reason names the field
    QStringList stored;      // the archive's columns of this table
    QList<int> storedTarget; // the target of each stored column
    int at(const QString &target) const { return int(targets.indexOf(target)); }
    bool given(const QString &target) const { return column.value(at(target), -1) >= 0; }
};

Table tableOf(const QString &name, const QStringList &columns, const QStringList &stored) {
    Table t;
    t.name = name;
    t.targets = CsvColumns::targets(name);
    for (const QString &target : t.targets) {
        const Field *f = FieldTable::find(name, target);
        // In a file of events, specie and identificazione are the plant's: texts.
        const bool own =
            f && !(name == FieldTable::events && (target == CsvColumns::plantSpecie ||
                                                  target == CsvColumns::plantIdentificazione));
        t.kind << (own ? f->kind : Schema::Kind::Text);
        t.maxLength << (own ? f->maxLength : 32767);
        t.column << int(columns.indexOf(target));
        t.labels << CsvColumns::label(name, target);
    }
    for (const QString &c : stored)
        if (t.targets.contains(c)) {
            t.stored << c;
            t.storedTarget << t.at(c);
        }
    return t;
}

} // namespace

CsvImport::CsvImport(AppFolder folder) : m_folder(std::move(folder)) {}

CsvImport::Source &CsvImport::source(const QString &table) {
    return table == FieldTable::plants ? m_plants : m_events;
}
const CsvImport::Source &CsvImport::source(const QString &table) const {
    return table == FieldTable::plants ? m_plants : m_events;
}

bool CsvImport::open(const QString &table, const QString &path) {
    Source &s = source(table);
    CsvReader reader;
    if (!reader.open(path)) {
        m_error = reader.error();
        return false;
    }
    s = Source();
    s.reader = std::move(reader);
    s.path = path;
    if (s.reader.next()) {
        for (const QStringView f : s.reader.fields())
            s.firstRow << f.toString();
        const QStringList proposed = CsvColumns::propose(table, s.reader.fields());
        s.header = std::any_of(proposed.cbegin(), proposed.cend(),
                               [](const QString &t) { return !t.isEmpty(); });
        if (s.reader.next())
            for (const QStringView f : s.reader.fields())
                s.secondRow << f.toString();
    }
    s.reader.rewind();
    setHeader(table, s.header);
    return true;
}

void CsvImport::close(const QString &table) {
    source(table) = Source();
}

void CsvImport::setHeader(const QString &table, bool header) {
    Source &s = source(table);
    s.header = header;
    QList<QStringView> first;
    for (const QString &f : s.firstRow)
        first << f;
    s.columns = header ? CsvColumns::propose(table, first)
                       : CsvColumns::byPosition(table, s.firstRow.size());
}

void CsvImport::setColumn(const QString &table, int column, const QString &target) {
    QStringList &c = source(table).columns;
    if (column < 0 || column >= c.size())
        return;
    if (!target.isEmpty())
        for (QString &other : c)
            if (other == target)
                other.clear();
    c[column] = target;
}

std::optional<CsvImport::Outcome> CsvImport::check(const QDateTime &now, const Progress &progress,
                                                   qint64 eventRows) {
    return run(false, now, progress, eventRows);
}

std::optional<CsvImport::Outcome> CsvImport::write(const QDateTime &now, const Progress &progress) {
    m_error.clear();
    m_stopped = false;
    BackupStore store(m_folder);
    const BackupStore::Daily copy = store.makeDailyCopy(now.date());
    if (copy != BackupStore::Daily::Made && copy != BackupStore::Daily::AlreadyThere) {
        m_error = QStringLiteral("manca la copia di sicurezza di oggi, e non si è potuta fare "
                                 "(%1)")
                      .arg(store.error());
        return std::nullopt;
    }
    return run(true, now, progress, -1);
}

std::optional<CsvImport::Outcome> CsvImport::run(bool writing, const QDateTime &now,
                                                 const Progress &progress, qint64 eventRows) {
    m_error.clear();
    m_stopped = false;
    const QString archivePath = m_folder.archivePath();
    SqliteFile file;
    auto fail = [&](const QString &why) -> std::optional<Outcome> {
        m_error = why;
        if (file.db().isOpen()) {
            QSqlQuery q(file.db());
            file.run(q, QStringLiteral("ROLLBACK"));
        }
        return std::nullopt;
    };
    const QString reading = QStringLiteral("leggere"), writingFile = QStringLiteral("scrivere");
    if (!file.open(archivePath, !writing))
        return fail(
            FailureReason::told(file.error(), writing ? writingFile : reading, archivePath));
    {
        QSqlQuery q(file.db());
        // The pages of a big import stay in memory until the commit, instead of going to the
        // file (and its journal, synced) while the transaction is still open.
        if ((writing && (!file.run(q, QStringLiteral("PRAGMA synchronous=FULL")) ||
                         !file.run(q, QStringLiteral("PRAGMA cache_size=-262144")))) ||
            !file.run(q, writing ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")))
            return fail(
                FailureReason::told(file.error(), writing ? writingFile : reading, archivePath));
    }
    const int layout = file.value(QStringLiteral("PRAGMA user_version")).toInt();

    // The archive as it is: plant keys and names, event keys, the picture folders.
    QSet<qint64> plantKeys, folders;
    // Event key -> the row of the file that stored it, 0 for the archive's own.
    QHash<qint64, qint64> eventRow;
    // About one event in forty characters of the file.
    eventRow.reserve(m_events.reader.size() / 40);
    QHash<QString, qint64> plantByNames;                   // specie|identificazione -> key
    QHash<QString, QList<QPair<QString, qint64>>> byIdent; // identificazione -> specie, key
    {
        RawQuery q(file.db(), QStringLiteral("SELECT id, specie, identificazione FROM piante"));
        while (q.next()) {
            if (q.isNull(0))
                continue;
            const qint64 key = q.integer(0);
            plantKeys.insert(key);
            const QString specie = nameKey(q.value(1)), ident = nameKey(q.value(2));
            if (!ident.isEmpty()) {
                plantByNames.insert(specie + u'|' + ident,
                                    plantByNames.value(specie + u'|' + ident, key));
                byIdent[ident].append({specie, key});
            }
        }
        RawQuery e(file.db(), QStringLiteral("SELECT idtrat FROM coltivazione"));
        while (e.next())
            eventRow.insert(e.integer(0), 0);
        if (q.failed() || e.failed())
            return fail(
                FailureReason::told(q.failed() ? q.error() : e.error(), reading, archivePath));
    }
    for (const QString &name : QDir(m_folder.imgDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (const auto key = Conversions::parseKey(name))
            folders.insert(*key);

    const qint64 total = m_plants.reader.size() + m_events.reader.size();
    qint64 doneBefore = 0;
    Outcome out;
    qint64 rows = 0;
    const qint64 made = TimestampKey::make(now);
    qint64 nextPlant = made, nextEvent = made;

    QHash<qint64, qint64> linkOf;     // plant key in the file -> key stored
    QHash<qint64, qint64> skippedKey; // plant key in the file -> its skipped row
    auto walk = [&](const QString &tableName, Source &src, qint64 limit,
                    const std::function<bool(const Table &, qint64, QList<QVariant> &,
                                             QStringList &, Preview &)> &take) -> bool {
        if (src.path.isEmpty())
            return true;
        const Table t = tableOf(tableName, src.columns, FieldTable::columns(tableName, layout));
        const QString fileName = QFileInfo(src.path).fileName();
        CsvReader &r = src.reader;
        r.rewind();
        qint64 row = 0, taken = 0;
        if (src.header && r.next())
            row = 1;
        QList<QVariant> values(t.targets.size());
        while (r.next()) {
            ++row;
            if (r.blank())
                continue;
            if (limit >= 0 && taken >= limit)
                break;
            ++taken;
            if (progress && ++rows % 512 == 0 && !progress(doneBefore + r.position(), total)) {
                m_stopped = true;
                return false;
            }
            QStringList reasons;
            const QList<QStringView> &f = r.fields();
            for (int i = 0; i < t.targets.size(); ++i) {
                const int c = t.column.at(i);
                values[i] = QVariant();
                if (c < 0)
                    continue;
                const QStringView text = unguarded(f.value(c));
                const QString &label = t.labels.at(i);
                switch (t.kind.at(i)) {
                case Schema::Kind::Key:
                    if (!text.trimmed().isEmpty()) {
                        if (const auto k = key(text))
                            values[i] = *k;
                        else
                            reasons
                                << QStringLiteral("%1: chiave non valida \"%2\"").arg(label, text);
                    }
                    break;
                case Schema::Kind::Number:
                    if (text.trimmed().isEmpty())
                        values[i] = 0.0;
                    else if (const auto n = number(text))
                        values[i] = *n;
                    else
                        reasons
                            << QStringLiteral("%1: numero non leggibile \"%2\"").arg(label, text);
                    break;
                case Schema::Kind::Date:
                    if (text.trimmed().isEmpty())
                        values[i] = noDate;
                    else if (const auto d = date(text))
                        values[i] = *d;
                    else
                        reasons << QStringLiteral("%1: data non leggibile \"%2\" (si scrive "
                                                  "g/m/aaaa o aaaa-mm-gg)")
                                       .arg(label, text);
                    break;
                case Schema::Kind::Text:
                    if (text.size() > t.maxLength.at(i))
                        reasons << QStringLiteral("%1: testo troppo lungo (%2 caratteri, al "
                                                  "massimo %3)")
                                       .arg(label)
                                       .arg(text.size())
                                       .arg(t.maxLength.at(i));
                    else
                        values[i] = text.toString();
                    break;
                }
            }
            if (r.unclosedQuote())
                reasons << QStringLiteral("virgolette aperte e mai chiuse: il resto del file "
                                          "è finito in questo campo");
            Preview p{row, QStringLiteral("nuova"), {}};
            if (reasons.isEmpty() && !take(t, row, values, reasons, p))
                return false;
            if (!reasons.isEmpty() && tableName == FieldTable::plants) {
                const QVariant k = values.at(t.at(QStringLiteral("id")));
                if (k.isValid() && !linkOf.contains(k.toLongLong()) &&
                    !skippedKey.contains(k.toLongLong()))
                    skippedKey.insert(k.toLongLong(), row);
            }
            if (!reasons.isEmpty()) {
                p.outcome = reasons.join(QStringLiteral("; "));
                out.skipped.append({fileName, row, p.outcome});
            }
            QList<Preview> &previews =
                tableName == FieldTable::plants ? out.plantRows : out.eventRows;
            if (previews.size() < previewRows) {
                if (p.values.isEmpty())
                    for (int i = 0; i < t.stored.size(); ++i) {
                        const int at = t.storedTarget.at(i);
                        p.values << shown(t.kind.at(at), values.at(at));
                    }
                previews << p;
            }
        }
        doneBefore += r.size();
        return true;
    };

    // The values of a row as stored: what the file gives, else the field's empty value.
    auto complete = [](const Table &t, QList<QVariant> &values) {
        for (int i = 0; i < t.targets.size(); ++i)
            if (t.column.at(i) < 0 && !values.at(i).isValid()) {
                const Field *f = FieldTable::find(t.name, t.targets.at(i));
                if (!f || f->kind == Schema::Kind::Key)
                    continue;
                values[i] = f->kind == Schema::Kind::Number ? QVariant(0.0)
                            : f->kind == Schema::Kind::Date ? QVariant(noDate)
                                                            : QVariant(f->emptyText);
            }
    };
    // Only the first rows are shown.
    auto showStored = [&out](const Table &t, const QList<QVariant> &values, Preview &p) {
        if ((t.name == FieldTable::plants ? out.plantRows : out.eventRows).size() >= previewRows)
            return;
        for (int i = 0; i < t.stored.size(); ++i) {
            const int at = t.storedTarget.at(i);
            p.values << shown(t.kind.at(at), values.at(at));
        }
    };

    // The statements of a write, made once for each table.
    struct Statements {
        std::unique_ptr<RawQuery> insert, update;
        QList<int> updateTargets;
    };
    auto prepare = [&](const Table &t, const QString &keyName, Statements &s) {
        if (!writing || s.insert)
            return;
        s.insert = std::make_unique<RawQuery>(
            file.db(),
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(t.name, t.stored.join(QLatin1String(", ")),
                     QStringList(t.stored.size(), QStringLiteral("?")).join(QLatin1String(", "))));
        QStringList set;
        for (int i = 0; i < t.stored.size(); ++i)
            if (t.stored.at(i) != keyName &&
                (t.column.at(t.storedTarget.at(i)) >= 0 || t.stored.at(i) == QLatin1String("id"))) {
                set << t.stored.at(i) + QStringLiteral(" = ?");
                s.updateTargets << t.storedTarget.at(i);
            }
        if (!set.isEmpty())
            s.update = std::make_unique<RawQuery>(
                file.db(), QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                               .arg(t.name, set.join(QLatin1String(", ")), keyName));
    };
    auto insertRow = [&](const Table &t, Statements &s, const QList<QVariant> &values) {
        if (!writing)
            return true;
        for (int i = 0; i < t.stored.size(); ++i)
            s.insert->bind(i + 1, values.at(t.storedTarget.at(i)));
        return s.insert->exec();
    };
    auto updateRow = [&](Statements &s, const QList<QVariant> &values, qint64 key) {
        if (!writing || !s.update)
            return true;
        int at = 1;
        for (const int target : s.updateTargets)
            s.update->bind(at++, values.at(target));
        s.update->bind(at, key);
        return s.update->exec();
    };
    QString writeError;
    auto failedWrite = [&](const RawQuery &q) {
        writeError = q.error();
        return false;
    };

    // Keys the file keeps: new keys are made around them. Read when the first new key is
    // wanted, on a reader of its own (sharing the text).
    auto reserved = [&](const Source &src, const QString &keyName) {
        QSet<qint64> keys;
        const int c = int(src.columns.indexOf(keyName));
        if (c < 0)
            return keys;
        CsvReader r = src.reader;
        r.rewind();
        while (r.next())
            if (const auto k = key(unguarded(r.fields().value(c))))
                keys.insert(*k);
        return keys;
    };
    auto ownExport = [&](Source &src, const QString &tableName) {
        if (src.path.isEmpty() || !src.header)
            return false;
        QList<QStringView> first;
        for (const QString &f : src.firstRow)
            first << f;
        return CsvColumns::isExportHeader(tableName, first);
    };

    // Plants.
    const bool plantKeysKept = ownExport(m_plants, FieldTable::plants);
    std::optional<QSet<qint64>> plantReserved;
    QHash<qint64, qint64> plantKeptRow, plantUpdatedRow;
    Statements plantSql;
    const bool plantsDone = walk(
        FieldTable::plants, m_plants, -1,
        [&](const Table &t, qint64 row, QList<QVariant> &v, QStringList &reasons, Preview &p) {
            prepare(t, QStringLiteral("id"), plantSql);
            const int idAt = t.at(QStringLiteral("id"));
            const QVariant fileKey = v.at(idAt);
            const qint64 k = fileKey.toLongLong();
            const QString ident = nameKey(v.at(t.at(QStringLiteral("identificazione"))));
            const QString names = nameKey(v.at(t.at(QStringLiteral("specie")))) + u'|' + ident;
            if (plantKeysKept && fileKey.isValid()) {
                if (const qint64 first = plantKeptRow.value(k)) {
                    reasons << QStringLiteral("chiave %1 già usata alla riga %2").arg(k).arg(first);
                    return true;
                }
                plantKeptRow.insert(k, row);
            }
            qint64 there = 0;
            if (plantKeysKept && fileKey.isValid() && plantKeys.contains(k))
                there = k;
            else if (!ident.isEmpty() && t.given(QStringLiteral("identificazione")))
                there = plantByNames.value(names);
            if (there) {
                if (fileKey.isValid())
                    linkOf.insert(k, there);
                if (m_duplicates == Duplicates::Skip) {
                    reasons << QStringLiteral("già in archivio (chiave %1)").arg(there);
                } else if (const qint64 first = plantUpdatedRow.value(there)) {
                    reasons << QStringLiteral("pianta già aggiornata dalla riga %1").arg(first);
                } else {
                    plantUpdatedRow.insert(there, row);
                    v[idAt] = there;
                    if (!updateRow(plantSql, v, there))
                        return failedWrite(*plantSql.update);
                    p.outcome = QStringLiteral("aggiornata");
                    ++out.plants;
                }
                return true;
            }
            qint64 key = k;
            if (!plantKeysKept || !fileKey.isValid()) {
                if (!plantReserved)
                    plantReserved =
                        plantKeysKept ? reserved(m_plants, QStringLiteral("id")) : QSet<qint64>();
                while (plantKeys.contains(nextPlant) || plantReserved->contains(nextPlant) ||
                       folders.contains(nextPlant))
                    ++nextPlant;
                key = nextPlant++;
            }
            if (fileKey.isValid() && !linkOf.contains(k))
                linkOf.insert(k, key);
            plantKeys.insert(key);
            v[idAt] = key;
            complete(t, v);
            if (!ident.isEmpty())
                byIdent[ident].append({nameKey(v.at(t.at(QStringLiteral("specie")))), key});
            if (!insertRow(t, plantSql, v))
                return failedWrite(*plantSql.insert);
            showStored(t, v, p);
            ++out.plants;
            return true;
        });
    if (!plantsDone)
        return fail(writeError.isEmpty()
                        ? QString()
                        : FailureReason::told(writeError, writingFile, archivePath));
    // Events.
    const bool eventKeysKept = ownExport(m_events, FieldTable::events);
    std::optional<QSet<qint64>> eventReserved;
    QHash<qint64, qint64> eventUpdatedRow;
    Statements eventSql;
    const bool eventsDone = walk(
        FieldTable::events, m_events, eventRows,
        [&](const Table &t, qint64 row, QList<QVariant> &v, QStringList &reasons, Preview &p) {
            prepare(t, QStringLiteral("idtrat"), eventSql);
            static const int idAt = t.at(QStringLiteral("id")),
                             keyAt = t.at(QStringLiteral("idtrat"));
            // Its plant.
            qint64 plant = 0;
            if (v.at(idAt).isValid()) {
                const qint64 named = v.at(idAt).toLongLong();
                plant = linkOf.value(named);
                if (!plant && plantKeys.contains(named) && !skippedKey.contains(named))
                    plant = named;
                if (!plant && skippedKey.contains(named))
                    reasons << QStringLiteral("la sua pianta (riga %1 del file delle piante) non "
                                              "è stata importata")
                                   .arg(skippedKey.value(named));
                else if (!plant)
                    reasons << QStringLiteral("nessuna pianta ha la chiave %1").arg(named);
            } else if (const QString ident = nameKey(v.at(t.at(CsvColumns::plantIdentificazione)));
                       !ident.isEmpty()) {
                QList<QPair<QString, qint64>> found = byIdent.value(ident);
                const QString specie = nameKey(v.at(t.at(CsvColumns::plantSpecie)));
                const bool bySpecie = found.size() > 1 && !specie.isEmpty();
                if (bySpecie)
                    found.removeIf(
                        [&](const QPair<QString, qint64> &c) { return c.first != specie; });
                if (found.size() == 1)
                    plant = found.first().second;
                else if (found.isEmpty())
                    reasons
                        << (bySpecie
                                ? QStringLiteral("nessuna pianta con specie \"%1\" e "
                                                 "identificazione \"%2\"")
                                      .arg(v.at(t.at(CsvColumns::plantSpecie)).toString(),
                                           v.at(t.at(CsvColumns::plantIdentificazione)).toString())
                                : QStringLiteral("nessuna pianta con identificazione \"%1\"")
                                      .arg(
                                          v.at(t.at(CsvColumns::plantIdentificazione)).toString()));
                else
                    reasons << QStringLiteral("più piante con identificazione \"%1\": serve la "
                                              "specie per sceglierne una")
                                   .arg(v.at(t.at(CsvColumns::plantIdentificazione)).toString());
            } else {
                reasons << QStringLiteral("manca la pianta: né la sua chiave né la sua "
                                          "identificazione");
            }
            if (!plant)
                return true;
            v[idAt] = plant;
            const QVariant fileKey = v.at(keyAt);
            const qint64 k = fileKey.toLongLong();
            if (eventKeysKept && fileKey.isValid()) {
                const auto there = eventRow.constFind(k);
                if (there != eventRow.cend() && *there > 0) {
                    reasons
                        << QStringLiteral("chiave %1 già usata alla riga %2").arg(k).arg(*there);
                    return true;
                }
                if (there != eventRow.cend()) {
                    if (m_duplicates == Duplicates::Skip) {
                        reasons << QStringLiteral("trattamento già in archivio (chiave %1)").arg(k);
                    } else if (const qint64 first = eventUpdatedRow.value(k)) {
                        reasons << QStringLiteral("trattamento già aggiornato dalla riga %1")
                                       .arg(first);
                    } else {
                        eventUpdatedRow.insert(k, row);
                        if (!updateRow(eventSql, v, k))
                            return failedWrite(*eventSql.update);
                        p.outcome = QStringLiteral("aggiornato");
                        ++out.events;
                    }
                    return true;
                }
            }
            qint64 key = k;
            if (!eventKeysKept || !fileKey.isValid()) {
                if (!eventReserved)
                    eventReserved = eventKeysKept ? reserved(m_events, QStringLiteral("idtrat"))
                                                  : QSet<qint64>();
                while (eventRow.contains(nextEvent) || eventReserved->contains(nextEvent))
                    ++nextEvent;
                key = nextEvent++;
            }
            eventRow.insert(key, row);
            v[keyAt] = key;
            complete(t, v);
            if (!insertRow(t, eventSql, v))
                return failedWrite(*eventSql.insert);
            p.outcome = QStringLiteral("nuovo");
            showStored(t, v, p);
            ++out.events;
            return true;
        });
    if (!eventsDone)
        return fail(writeError.isEmpty()
                        ? QString()
                        : FailureReason::told(writeError, writingFile, archivePath));
    QSqlQuery end(file.db());
    if (!writing) {
        file.run(end, QStringLiteral("ROLLBACK"));
    } else if (!file.run(end, QStringLiteral("COMMIT"))) {
        return fail(FailureReason::told(file.error(), writingFile, archivePath));
    }
    if (progress)
        progress(total, total);
    return out;
}

QString CsvImport::saveReport(const Outcome &outcome) {
    const QString first = m_plants.path.isEmpty() ? m_events.path : m_plants.path;
    const QFileInfo info(first);
    const QString path =
        info.dir().filePath(info.completeBaseName() + QStringLiteral("-righe-saltate.csv"));
    QByteArray text("\xEF\xBB\xBF"
                    "file;riga;motivo\r\n");
    auto field = [&](const QString &s) {
        QString quoted = s;
        quoted.replace(u'"', QStringLiteral("\"\""));
        text += '"' + quoted.toUtf8() + '"';
    };
    for (const Skipped &s : outcome.skipped) {
        field(s.file);
        text += ';' + QByteArray::number(s.row) + ';';
        field(s.reason);
        text += "\r\n";
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        m_error = FailureReason::told(FailureReason::ofFile(out), QStringLiteral("scrivere"), path);
        return {};
    }
    return path;
}
