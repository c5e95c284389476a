#include "archive/jetreader.h"

#include <QDateTime>
#include <QFile>
#include <QStringDecoder>
#include <QTimeZone>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <mdbtools.h>

namespace {

// Page offsets in a row pointer carry two flag bits above them.
constexpr int offsetMask = 0x1fff;
constexpr int memoHeader = MDB_MEMO_OVERHEAD;

template <class T> T little(const unsigned char *p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return qFromLittleEndian(v);
}

bool fits(MdbColumn *col, JetReader::Kind kind) {
    switch (kind) {
    case JetReader::Kind::Text:
        return col->col_type == MDB_TEXT || col->col_type == MDB_MEMO;
    case JetReader::Kind::Number:
        return col->col_type == MDB_BYTE || col->col_type == MDB_INT ||
               col->col_type == MDB_LONGINT || col->col_type == MDB_FLOAT ||
               col->col_type == MDB_DOUBLE || col->col_type == MDB_MONEY;
    case JetReader::Kind::Date:
        return col->col_type == MDB_DATETIME;
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

} // namespace

struct JetReader::Handle {
    MdbHandle *mdb = nullptr;
    bool jet3 = false;
    QStringDecoder windows1252{"windows-1252"};
    ~Handle() {
        if (mdb)
            mdb_close(mdb);
    }

    // Jet 4 keeps text as UTF-16; a text that begins FF FE is "compressed": one byte per
    // character, a zero byte switching to two bytes per character and back. Jet 3 keeps
    // the Windows-1252 bytes.
    QString text(const unsigned char *p, size_t n) {
        if (jet3)
            return windows1252.decode(
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

    // A memo: its bytes in the row, on one long-value page or on a chain of them.
    std::optional<QByteArray> memo(const unsigned char *row, int size) {
        if (size == 0)
            return QByteArray();
        if (size < memoHeader)
            return std::nullopt;
        const quint32 head = little<quint32>(row);
        const quint32 length = head & 0x3fffffff;
        if (head & 0x80000000u)
            return QByteArray(reinterpret_cast<const char *>(row + memoHeader), size - memoHeader);
        qint32 pgRow = little<qint32>(row + 4);
        void *buf = nullptr;
        int start = 0;
        size_t len = 0;
        if (head & 0x40000000u) {
            if (mdb_find_pg_row(mdb, pgRow, &buf, &start, &len) != 0)
                return std::nullopt;
            return QByteArray(static_cast<const char *>(buf) + start, qsizetype(len));
        }
        if (head & 0xff000000u)
            return std::nullopt;
        QByteArray bytes;
        bytes.reserve(length);
        // Each page of the chain begins with the pointer to the next one.
        for (int pages = 0; pgRow != 0; ++pages) {
            if (pages > int(length / 16) + 2 ||
                mdb_find_pg_row(mdb, pgRow, &buf, &start, &len) != 0 || len < 4)
                return std::nullopt;
            const auto *p = static_cast<const unsigned char *>(buf) + start;
            bytes.append(reinterpret_cast<const char *>(p + 4), qsizetype(len - 4));
            pgRow = little<qint32>(p);
        }
        if (quint32(bytes.size()) != length)
            return std::nullopt;
        return bytes;
    }
};

JetReader::JetReader(QString path) : m_path(std::move(path)) {}

JetReader::~JetReader() = default;

bool JetReader::fail(const QString &error) {
    m_error = error;
    return false;
}

bool JetReader::looksLikeJet(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(20);
    return head.size() == 20 &&
           (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB");
}

bool JetReader::open() {
    if (m_handle)
        return true;
    auto h = std::make_unique<Handle>();
    h->mdb = mdb_open(QFile::encodeName(m_path).constData(), MDB_NOFLAGS);
    if (!h->mdb)
        return fail(QStringLiteral("il file non si lascia leggere come archivio Access"));
    if (!mdb_read_catalog(h->mdb, MDB_TABLE))
        return fail(QStringLiteral("l'elenco delle tabelle non si lascia leggere"));
    // Dates are read as their stored day numbers, never as libmdb's text; should any text of
    // a date be made, it has four-digit years.
    mdb_set_date_fmt(h->mdb, "%Y-%m-%d %H:%M:%S");
    h->jet3 = h->mdb->f->jet_version == MDB_VER_JET3;
    m_handle = std::move(h);
    return true;
}

std::optional<QList<QVariantList>> JetReader::read(const QString &tableName,
                                                   const QList<Column> &columns) {
    if (!open())
        return std::nullopt;
    MdbHandle *mdb = m_handle->mdb;
    MdbCatalogEntry *entry = nullptr;
    for (guint i = 0; i < mdb->num_catalog; ++i) {
        auto *e = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type == MDB_TABLE &&
            QString::fromUtf8(e->object_name).compare(tableName, Qt::CaseInsensitive) == 0)
            entry = e;
    }
    if (!entry) {
        fail(QStringLiteral("manca la tabella %1").arg(tableName));
        return std::nullopt;
    }
    MdbTableDef *table = mdb_read_table(entry);
    if (!table || !mdb_read_columns(table)) {
        if (table)
            mdb_free_tabledef(table);
        fail(QStringLiteral("la tabella %1 non si lascia leggere").arg(tableName));
        return std::nullopt;
    }
    struct Guard {
        MdbTableDef *t;
        ~Guard() { mdb_free_tabledef(t); }
    } guard{table};

    // Which column of the table each wanted cell comes from.
    QList<int> source(columns.size(), -1);
    for (guint c = 0; c < table->num_cols; ++c) {
        auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, c));
        const QString name = QString::fromUtf8(col->name);
        qsizetype wanted = -1;
        for (qsizetype i = 0; i < columns.size(); ++i)
            if (columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
                wanted = i;
        if (wanted < 0) {
            fail(QStringLiteral("la tabella %1 ha un campo che Silvaro non conosce (%2)")
                     .arg(tableName, name));
            return std::nullopt;
        }
        if (!fits(col, columns.at(wanted).kind)) {
            fail(QStringLiteral("il campo %1 della tabella %2 è di un tipo inatteso")
                     .arg(name, tableName));
            return std::nullopt;
        }
        source[wanted] = int(c);
    }
    for (qsizetype i = 0; i < columns.size(); ++i)
        if (source.at(i) < 0) {
            fail(QStringLiteral("nella tabella %1 manca il campo %2")
                     .arg(tableName, columns.at(i).name));
            return std::nullopt;
        }

    QList<QVariantList> rows;
    rows.reserve(qsizetype(table->num_rows));
    QList<MdbField> fields(table->num_cols);
    QList<int> fieldOf(table->num_cols, -1);
    auto cannot = [&](qsizetype row, int column) {
        fail(QStringLiteral("un valore del campo %1 della tabella %2 (riga %3) non si lascia "
                            "leggere")
                 .arg(columns.at(column).name, tableName)
                 .arg(row + 1));
        return std::nullopt;
    };
    mdb_rewind_table(table);
    // The fetch finds the next live row on its page; its cells are then taken from the page
    // itself, which tells a zero-length text from NULL and gives numbers and dates whole.
    while (mdb_fetch_row(table)) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, int(table->cur_row) - 1, &start, &size) != 0) {
            fail(QStringLiteral("una riga della tabella %1 non si lascia leggere").arg(tableName));
            return std::nullopt;
        }
        start &= offsetMask;
        const int n = mdb_crack_row(table, start, size, fields.data());
        if (n < int(table->num_cols)) {
            fail(QStringLiteral("una riga della tabella %1 non si lascia leggere").arg(tableName));
            return std::nullopt;
        }
        fieldOf.fill(-1);
        for (int i = 0; i < n; ++i)
            if (fields.at(i).colnum >= 0 && fields.at(i).colnum < int(table->num_cols))
                fieldOf[fields.at(i).colnum] = i;
        QVariantList row;
        row.reserve(columns.size());
        for (int c = 0; c < columns.size(); ++c) {
            if (fieldOf.at(source.at(c)) < 0)
                return cannot(rows.size(), c);
            const MdbField &f = fields.at(fieldOf.at(source.at(c)));
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, source.at(c)));
            if (f.is_null) {
                row.append(QVariant());
                continue;
            }
            if (f.start < 0 || f.siz < 0 || size_t(f.start) + size_t(f.siz) > MDB_PGSIZE)
                return cannot(rows.size(), c);
            const unsigned char *p = mdb->pg_buf + f.start;
            const int type = col->col_type;
            if (type == MDB_TEXT) {
                row.append(m_handle->text(p, size_t(f.siz)));
                continue;
            }
            if (type == MDB_MEMO) {
                const auto bytes = m_handle->memo(p, f.siz);
                if (!bytes)
                    return cannot(rows.size(), c);
                row.append(
                    m_handle->text(reinterpret_cast<const unsigned char *>(bytes->constData()),
                                   size_t(bytes->size())));
                continue;
            }
            if (f.siz != fixedSize(type))
                return cannot(rows.size(), c);
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
                return cannot(rows.size(), c);
            if (type != MDB_DATETIME) {
                row.append(d);
                continue;
            }
            // Days since 30 December 1899; the fraction is the time of day, also before
            // that day (-1.25 is 29 December 1899, 6:00).
            if (d < -657434.0 || d >= 2958466.0)
                return cannot(rows.size(), c);
            const double day = std::trunc(d);
            qint64 ms = std::llround(std::fabs(d - day) * 86400000.0);
            if (ms >= 86400000)
                ms = 86399999;
            const QDate date = QDate(1899, 12, 30).addDays(qint64(day));
            if (ms == 0)
                row.append(date);
            else
                row.append(QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)), Qt::UTC));
        }
        rows.append(std::move(row));
    }
    // A damaged or cut file can end a scan early without a word: the table's own count of
    // its rows tells.
    if (rows.size() != qsizetype(table->num_rows)) {
        fail(QStringLiteral("della tabella %1 si leggono %2 righe delle %3 che dichiara")
                 .arg(tableName)
                 .arg(rows.size())
                 .arg(table->num_rows));
        return std::nullopt;
    }
    return rows;
}
