#include "archive/jettabledump.h"

#include <cerrno>
#include <cstring>
#include <mdbtools.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A row's place in its page carries two flags above the offset.
constexpr unsigned offsetMask = 0x1fff;
constexpr unsigned deletedRow = 0x4000;
constexpr unsigned overflowRow = 0x8000; // the row only points to where it went
constexpr unsigned char dataPage = 0x01;

unsigned le16(const unsigned char *p) {
    return unsigned(p[0]) | unsigned(p[1]) << 8;
}
std::uint32_t le32(const unsigned char *p) {
    return std::uint32_t(le16(p)) | std::uint32_t(le16(p + 2)) << 16;
}

// Where a live row of a page lies: its start and size, within the page and past the page's
// table of rows; false for a row the table does not have, a deleted or moved row, or bounds
// that do not fit.
bool rowBounds(const unsigned char *page, const MdbFormatConstants *fmt, unsigned row, int *start,
               int *size) {
    const unsigned pageSize = unsigned(fmt->pg_size);
    const unsigned table = fmt->row_count_offset;
    const unsigned rows = le16(page + table);
    if (page[0] != dataPage || row >= rows || table + 2 + 2 * rows > pageSize)
        return false;
    const unsigned entry = le16(page + table + 2 + 2 * row);
    if (entry & (deletedRow | overflowRow))
        return false;
    const unsigned begin = entry & offsetMask;
    const unsigned end = row == 0 ? pageSize : le16(page + table + 2 * row) & offsetMask;
    if (begin < table + 2 + 2 * rows || begin >= end || end > pageSize)
        return false;
    *start = int(begin);
    *size = int(end - begin);
    return true;
}

// Records into a buffer, written to the pipe whenever it holds enough.
class Out {
public:
    explicit Out(int fd) : m_fd(fd) {}
    void begin(JetTableDump::Record kind) {
        m_start = m_buffer.size();
        m_open = true;
        put(std::uint32_t(0));
        m_buffer.push_back(char(kind));
    }
    template <class T> void put(T value) {
        const auto *p = reinterpret_cast<const char *>(&value);
        m_buffer.insert(m_buffer.end(), p, p + sizeof value);
    }
    void bytes(const void *p, size_t n) {
        const auto *c = static_cast<const char *>(p);
        m_buffer.insert(m_buffer.end(), c, c + n);
    }
    bool end() {
        m_open = false;
        const std::uint32_t length = std::uint32_t(m_buffer.size() - m_start - 5);
        std::memcpy(m_buffer.data() + m_start, &length, sizeof length);
        return m_buffer.size() < (1u << 16) || flush();
    }
    bool flush() {
        for (size_t done = 0; done < m_buffer.size();) {
            const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += size_t(n);
        }
        m_buffer.clear();
        return true;
    }
    // Drops the record begun and not ended, if any.
    void cancel() {
        if (m_open)
            m_buffer.resize(m_start);
        m_open = false;
    }

private:
    int m_fd;
    size_t m_start = 0;
    bool m_open = false;
    std::vector<char> m_buffer;
};

struct Reader {
    MdbHandle *mdb;
    std::uint64_t fileSize;

    // One row of a long-value page: the page must be a data page of the file.
    bool piece(std::uint32_t pgRow, const unsigned char **p, int *size) {
        const std::uint32_t page = pgRow >> 8;
        int start = 0;
        if (page == 0 || std::uint64_t(page + 1) * std::uint64_t(mdb->fmt->pg_size) > fileSize ||
            mdb_read_alt_pg(mdb, page) != mdb->fmt->pg_size ||
            !rowBounds(mdb->alt_pg_buf, mdb->fmt, pgRow & 0xff, &start, size))
            return false;
        *p = mdb->alt_pg_buf + start;
        return true;
    }

    // A memo's or an OLE value's bytes: in the row, on one long-value page or on a chain of
    // them; every way, exactly the length its header declares.
    bool longValue(const unsigned char *field, int size, std::string *out) {
        out->clear();
        if (size == 0)
            return true;
        if (size < MDB_MEMO_OVERHEAD)
            return false;
        const std::uint32_t head = le32(field);
        const std::uint32_t length = head & 0x3fffffff;
        if (length > fileSize)
            return false;
        if (head & 0x80000000u) {
            if (std::uint32_t(size - MDB_MEMO_OVERHEAD) != length)
                return false;
            out->assign(reinterpret_cast<const char *>(field + MDB_MEMO_OVERHEAD), length);
            return true;
        }
        if (size != MDB_MEMO_OVERHEAD)
            return false;
        std::uint32_t pgRow = le32(field + 4);
        const unsigned char *p = nullptr;
        int n = 0;
        if (head & 0x40000000u) {
            if (!piece(pgRow, &p, &n) || std::uint32_t(n) != length)
                return false;
            out->assign(reinterpret_cast<const char *>(p), length);
            return true;
        }
        // Each page of a chain begins with the pointer to the next one; a chain can never
        // have more pieces than the file has pages.
        out->reserve(length);
        for (std::uint64_t pieces = 0; pgRow != 0; ++pieces) {
            if (pieces * std::uint64_t(mdb->fmt->pg_size) > fileSize || !piece(pgRow, &p, &n) ||
                n < 4 || out->size() + size_t(n - 4) > length)
                return false;
            pgRow = le32(p);
            out->append(reinterpret_cast<const char *>(p + 4), size_t(n - 4));
        }
        return out->size() == length;
    }
};

bool usableMap(const MdbTableDef *table) {
    return table->usage_map && table->map_sz >= 5 &&
           (table->usage_map[0] == 0 || table->usage_map[0] == 1);
}

} // namespace

int JetTableDump::run(int fd) const {
    Out out(fd);
    auto fail = [&](Failure why, std::uint32_t table = 0, std::uint32_t row = 0,
                    std::uint32_t column = 0) {
        out.cancel();
        out.begin(Error);
        out.put(std::uint8_t(why));
        out.put(table);
        out.put(row);
        out.put(column);
        out.end();
        return out.flush() ? 0 : 1;
    };
    struct stat st {};
    if (::stat(m_path.c_str(), &st) != 0)
        return fail(CannotOpen);
    MdbHandle *mdb = mdb_open(m_path.c_str(), MDB_NOFLAGS);
    if (!mdb)
        return fail(CannotOpen);
    // The handle is left to the end of the child.
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        return fail(NoCatalog);
    out.begin(File);
    out.put(std::uint8_t(mdb->f->jet_version == MDB_VER_JET3 ? 1 : 0));
    out.end();

    Reader reader{mdb, std::uint64_t(st.st_size)};
    std::string value;
    for (std::uint32_t t = 0; t < m_tables.size(); ++t) {
        MdbCatalogEntry *entry = nullptr;
        for (guint i = 0; i < mdb->num_catalog; ++i) {
            auto *e = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
            if (e->object_type == MDB_TABLE &&
                ::strcasecmp(e->object_name, m_tables[t].c_str()) == 0)
                entry = e;
        }
        if (!entry)
            return fail(NoTable, t);
        MdbTableDef *table = mdb_read_table(entry);
        // A usage map that is missing or too short for its kind would be followed blindly
        // by every fetch.
        if (!table || !usableMap(table) || !mdb_read_columns(table) || table->num_cols == 0 ||
            table->num_cols > 255 || table->columns->len != table->num_cols)
            return fail(BadTable, t);
        out.begin(Header);
        out.put(std::uint32_t(table->num_rows));
        out.put(std::uint16_t(table->num_cols));
        for (guint c = 0; c < table->num_cols; ++c) {
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, c));
            const size_t length = ::strnlen(col->name, sizeof col->name);
            out.put(std::uint8_t(col->col_type));
            out.put(std::uint16_t(length));
            out.bytes(col->name, length);
        }
        if (!out.end())
            return 1;

        // The fetch finds the next live row on its page; its cells are then taken from the
        // page itself, which tells a zero-length text from NULL and gives numbers whole.
        std::vector<MdbField> fields(table->num_cols);
        mdb_rewind_table(table);
        for (std::uint32_t row = 1; mdb_fetch_row(table); ++row) {
            int start = 0, size = 0;
            if (!rowBounds(mdb->pg_buf, mdb->fmt, table->cur_row - 1, &start, &size) ||
                mdb_crack_row(table, start, size_t(size), fields.data()) < int(table->num_cols))
                return fail(BadRow, t, row);
            out.begin(Row);
            for (guint c = 0; c < table->num_cols; ++c) {
                const MdbField &f = fields[c];
                auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, c));
                if (f.colnum != int(c))
                    return fail(BadRow, t, row);
                if (f.is_null) {
                    out.put(std::int32_t(-1));
                    continue;
                }
                if (f.start < start || f.siz < 0 || f.start + f.siz > start + size)
                    return fail(BadValue, t, row, c);
                const unsigned char *p = mdb->pg_buf + f.start;
                if (col->col_type == MDB_MEMO || col->col_type == MDB_OLE) {
                    if (!reader.longValue(p, f.siz, &value))
                        return fail(BadValue, t, row, c);
                    out.put(std::int32_t(value.size()));
                    out.bytes(value.data(), value.size());
                } else {
                    out.put(std::int32_t(f.siz));
                    out.bytes(p, size_t(f.siz));
                }
            }
            if (!out.end())
                return 1;
        }
        mdb_free_tabledef(table);
        out.begin(End);
        if (!out.end())
            return 1;
    }
    return out.flush() ? 0 : 1;
}
