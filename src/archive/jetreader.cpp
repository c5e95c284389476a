#include "archive/jetreader.h"

#include "archive/failurereason.h"
#include "archive/jettabledump.h"
#include "archive/limitedchild.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTimeZone>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <mdbtools.h>

namespace {

template <class T> T little(const unsigned char *p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return qFromLittleEndian(v);
}

bool fits(int type, JetReader::Kind kind) {
    switch (kind) {
    case JetReader::Kind::Text:
        return type == MDB_TEXT || type == MDB_MEMO;
    case JetReader::Kind::Number:
        return type == MDB_BYTE || type == MDB_INT || type == MDB_LONGINT || type == MDB_FLOAT ||
               type == MDB_DOUBLE || type == MDB_MONEY;
    case JetReader::Kind::Date:
        return type == MDB_DATETIME;
    }
    return false;
}

// A fixed-size value needs exactly its bytes.
int fixedSize(int type) {
    switch (type) {
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
        return 4;
    case MDB_DOUBLE:
    case MDB_MONEY:
    case MDB_DATETIME:
        return 8;
    default:
        return -1;
    }
}

// The child's limits grow with the file: a second of processor time and four of waiting
// for each MiB beyond a floor that no intact archive comes near.
LimitedChild::Limits limitsFor(qint64 size) {
    const qint64 mib = size >> 20;
    LimitedChild::Limits l;
    l.cpuSeconds = int(2 + mib);
    l.memoryBytes = (qint64(512) << 20) + 4 * size;
    l.wallMs = int(10000 + 4000 * mib);
    return l;
}

} // namespace

// Takes the child's records as they come and turns them into rows; any record out of place
// or out of bounds means the child did not do what it should, so the file is damaged.
class JetReader::Parser {
public:
    Parser(const QList<Table> &tables, qint64 fileSize) : m_tables(tables), m_limit(fileSize) {}

    bool take(QByteArrayView bytes) {
        m_pending.append(bytes.data(), bytes.size());
        qsizetype at = 0;
        while (m_error.isEmpty() && m_pending.size() - at >= 5) {
            quint32 length = 0;
            std::memcpy(&length, m_pending.constData() + at, 4);
            if (length > 2 * m_limit + (1 << 20))
                return broken();
            if (m_pending.size() - at - 5 < qsizetype(length))
                break;
            const auto *p = reinterpret_cast<const unsigned char *>(m_pending.constData() + at);
            record(p[4], p + 5, p + 5 + length);
            at += 5 + qsizetype(length);
        }
        m_pending.remove(0, at);
        return m_error.isEmpty();
    }

    double share() const {
        const double table = m_declared > 0 ? double(m_rows.size()) / m_declared : 0;
        return (double(m_done.size()) + std::min(table, 1.0)) / double(m_tables.size());
    }
    bool complete() const { return m_error.isEmpty() && m_done.size() == m_tables.size(); }
    QString error() const { return m_error; }
    QList<QList<QVariantList>> rows() { return std::move(m_done); }

private:
    bool broken() {
        m_error = JetReader::damaged;
        return false;
    }

    // Reads from the record; a record too short for what it should hold is broken.
    struct Cursor {
        const unsigned char *p, *end;
        bool ok = true;
        template <class T> T get() {
            T v{};
            if (end - p < qsizetype(sizeof v)) {
                ok = false;
                return v;
            }
            std::memcpy(&v, p, sizeof v);
            p += sizeof v;
            return v;
        }
        const unsigned char *take(qsizetype n) {
            if (n < 0 || end - p < n) {
                ok = false;
                return nullptr;
            }
            const unsigned char *at = p;
            p += n;
            return at;
        }
    };

    void record(unsigned char kind, const unsigned char *p, const unsigned char *end) {
        Cursor c{p, end};
        const qsizetype table = m_done.size();
        if (kind == JetTableDump::File) {
            m_jet3 = c.get<quint8>() == 1;
        } else if (kind == JetTableDump::Error) {
            const auto why = c.get<quint8>();
            const auto t = c.get<quint32>();
            const auto row = c.get<quint32>();
            const auto column = c.get<quint32>();
            if (!c.ok || t >= quint32(m_tables.size()))
                broken();
            else
                failure(why, m_tables.at(t).name, row, column);
        } else if (table >= m_tables.size()) {
            broken();
        } else if (kind == JetTableDump::Header && !m_inTable) {
            header(c, m_tables.at(table));
        } else if (kind == JetTableDump::Row && m_inTable) {
            row(c, m_tables.at(table));
        } else if (kind == JetTableDump::End && m_inTable) {
            if (m_rows.size() != qsizetype(m_declared)) {
                m_error =
                    QStringLiteral("della tabella %1 si leggono %2 righe delle %3 che dichiara")
                        .arg(m_tables.at(table).name)
                        .arg(m_rows.size())
                        .arg(m_declared);
                return;
            }
            m_done.append(std::move(m_rows));
            m_rows.clear();
            m_inTable = false;
        } else {
            broken();
        }
        if (!c.ok && m_error.isEmpty())
            broken();
    }

    void failure(quint8 why, const QString &table, quint32 row, quint32 column) {
        switch (why) {
        case JetTableDump::CannotOpen:
            m_error = QStringLiteral("il file non si lascia leggere come archivio Access");
            break;
        case JetTableDump::NoCatalog:
            m_error = QStringLiteral("l'elenco delle tabelle non si lascia leggere");
            break;
        case JetTableDump::NoTable:
            m_error = QStringLiteral("manca la tabella %1").arg(table);
            break;
        case JetTableDump::BadTable:
            m_error = QStringLiteral("la tabella %1 non si lascia leggere").arg(table);
            break;
        case JetTableDump::BadRow:
            m_error = QStringLiteral("una riga della tabella %1 non si lascia leggere").arg(table);
            break;
        case JetTableDump::BadValue:
            m_error =
                QStringLiteral("un valore del campo %1 della tabella %2 (riga %3) non si "
                               "lascia leggere")
                    .arg(column < quint32(m_names.size()) ? m_names.at(column) : QString(), table)
                    .arg(row);
            break;
        default:
            broken();
        }
    }

    void header(Cursor &c, const Table &t) {
        m_declared = c.get<quint32>();
        const auto count = c.get<quint16>();
        m_types.clear();
        m_names.clear();
        m_source.fill(-1, t.columns.size());
        for (int i = 0; i < count && c.ok; ++i) {
            const int type = c.get<quint8>();
            const auto length = c.get<quint16>();
            const unsigned char *name = c.take(length);
            if (!c.ok)
                return;
            m_types.append(type);
            m_names.append(
                QString::fromUtf8(reinterpret_cast<const char *>(name), qsizetype(length)));
        }
        for (qsizetype i = 0; i < m_names.size(); ++i) {
            qsizetype wanted = -1;
            for (qsizetype w = 0; w < t.columns.size(); ++w)
                if (t.columns.at(w).name.compare(m_names.at(i), Qt::CaseInsensitive) == 0)
                    wanted = w;
            if (wanted < 0) {
                m_error = QStringLiteral("la tabella %1 ha un campo che Silvaro non conosce (%2)")
                              .arg(t.name, m_names.at(i));
                return;
            }
            if (!fits(m_types.at(i), t.columns.at(wanted).kind)) {
                m_error = QStringLiteral("il campo %1 della tabella %2 è di un tipo inatteso")
                              .arg(m_names.at(i), t.name);
                return;
            }
            m_source[wanted] = int(i);
        }
        for (qsizetype i = 0; i < t.columns.size(); ++i)
            if (m_source.at(i) < 0 && t.columns.at(i).required) {
                m_error = QStringLiteral("nella tabella %1 manca il campo %2")
                              .arg(t.name, t.columns.at(i).name);
                return;
            }
        m_inTable = true;
        m_rows.reserve(qsizetype(std::min<quint32>(m_declared, quint32(m_limit / 8 + 1))));
    }

    void row(Cursor &c, const Table &t) {
        // The cells in the table's order, then in the order asked for.
        m_cells.resize(m_types.size());
        for (auto &cell : m_cells) {
            const auto length = c.get<qint32>();
            cell = {nullptr, length};
            if (length >= 0)
                cell.first = c.take(length);
            if (!c.ok)
                return;
        }
        if (c.p != c.end) {
            c.ok = false;
            return;
        }
        QVariantList row;
        row.reserve(t.columns.size());
        for (qsizetype w = 0; w < t.columns.size(); ++w) {
            const int i = m_source.at(w);
            if (i < 0) {
                row.append(QVariant());
                continue;
            }
            const auto [p, size] = m_cells.at(i);
            if (size < 0) {
                row.append(QVariant());
                continue;
            }
            const QVariant v = value(m_types.at(i), p, size);
            if (!v.isValid()) {
                m_error = QStringLiteral("un valore del campo %1 della tabella %2 (riga %3) non si "
                                         "lascia leggere")
                              .arg(t.columns.at(w).name, t.name)
                              .arg(m_rows.size() + 1);
                return;
            }
            row.append(v);
        }
        m_rows.append(std::move(row));
    }

    // Jet 4 keeps text as UTF-16; a text that begins FF FE is "compressed": one byte per
    // character, a zero byte switching to two bytes per character and back. Jet 3 keeps
    // the Windows-1252 bytes.
    QString text(const unsigned char *p, size_t n) {
        if (m_jet3)
            return m_windows1252.decode(
                QByteArrayView(reinterpret_cast<const char *>(p), qsizetype(n)));
        QString s;
        if (n >= 2 && p[0] == 0xff && p[1] == 0xfe) {
            s.reserve(qsizetype(n));
            bool compressed = true;
            for (size_t i = 2; i < n;) {
                if (p[i] == 0) {
                    compressed = !compressed;
                    ++i;
                } else if (compressed) {
                    s.append(QChar(p[i++]));
                } else if (i + 1 < n) {
                    s.append(QChar(little<quint16>(p + i)));
                    i += 2;
                } else {
                    break;
                }
            }
            return s;
        }
        s.resize(qsizetype(n / 2));
        for (size_t i = 0; i < n / 2; ++i)
            s[qsizetype(i)] = QChar(little<quint16>(p + 2 * i));
        return s;
    }

    // A stored value as the program takes it; an invalid QVariant when it cannot be one.
    QVariant value(int type, const unsigned char *p, qint32 size) {
        if (type == MDB_TEXT || type == MDB_MEMO)
            return text(p, size_t(size));
        if (size != fixedSize(type))
            return {};
        double d = 0;
        switch (type) {
        case MDB_BYTE:
            d = p[0];
            break;
        case MDB_INT:
            d = little<qint16>(p);
            break;
        case MDB_LONGINT:
            d = little<qint32>(p);
            break;
        case MDB_FLOAT:
            d = little<float>(p);
            break;
        case MDB_DOUBLE:
        case MDB_DATETIME:
            d = little<double>(p);
            break;
        case MDB_MONEY:
            // Currency is a count of ten-thousandths; the division rounds once, to the
            // double nearest the exact decimal.
            d = double(little<qint64>(p)) / 10000.0;
            break;
        }
        if (!std::isfinite(d))
            return {};
        if (type != MDB_DATETIME)
            return d;
        // Days since 30 December 1899; the fraction is the time of day, also before that
        // day (-1.25 is 29 December 1899, 6:00).
        if (d < -657434.0 || d >= 2958466.0)
            return {};
        const double day = std::trunc(d);
        qint64 ms = std::llround(std::fabs(d - day) * 86400000.0);
        if (ms >= 86400000)
            ms = 86399999;
        const QDate date = QDate(1899, 12, 30).addDays(qint64(day));
        if (ms == 0)
            return date;
        return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)), Qt::UTC);
    }

    const QList<Table> &m_tables;
    const qint64 m_limit;
    QByteArray m_pending;
    QString m_error;
    bool m_jet3 = false;
    QStringDecoder m_windows1252{"windows-1252"};
    bool m_inTable = false;
    quint32 m_declared = 0;
    QList<int> m_types;
    QStringList m_names;
    QList<int> m_source; // which cell of the table each wanted column comes from
    QList<std::pair<const unsigned char *, qint32>> m_cells;
    QList<QVariantList> m_rows;
    QList<QList<QVariantList>> m_done;
};

JetReader::JetReader(QString path) : m_path(std::move(path)) {}

bool JetReader::looksLikeJet(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(20);
    return head.size() == 20 &&
           (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB");
}

std::optional<QList<QList<QVariantList>>> JetReader::read(const QList<Table> &tables,
                                                          const Progress &progress) {
    m_error.clear();
    m_cancelled = false;
    const qint64 size = QFileInfo(m_path).size();
    std::vector<std::string> names;
    for (const Table &t : tables)
        names.push_back(t.name.toStdString());
    // Made before the fork: the child only runs it.
    const JetTableDump dump(QFile::encodeName(m_path).toStdString(), std::move(names));
    Parser parser(tables, size);
    LimitedChild child(limitsFor(size));
    const LimitedChild::End end =
        child.run([&dump](int fd) { return dump.run(fd); },
                  [&parser](QByteArrayView bytes) { return parser.take(bytes); },
                  [&] { return !progress || progress(parser.share()); });
    if (end == LimitedChild::End::Cancelled) {
        m_cancelled = true;
        m_error = QStringLiteral("lettura annullata");
        return std::nullopt;
    }
    if (end == LimitedChild::End::NotStarted) {
        m_error = QStringLiteral("impossibile avviare la lettura del file perché %1")
                      .arg(FailureReason::ofErrno(child.errorNumber()));
        return std::nullopt;
    }
    if (!parser.error().isEmpty()) {
        m_error = parser.error();
        return std::nullopt;
    }
    if (end != LimitedChild::End::Finished || !parser.complete()) {
        m_error = damaged;
        return std::nullopt;
    }
    return parser.rows();
}
