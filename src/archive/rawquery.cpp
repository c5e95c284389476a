#include "archive/rawquery.h"

#include <QSqlDatabase>
#include <QSqlDriver>

#include <sqlite3.h>

sqlite3 *RawQuery::handle(const QSqlDatabase &db) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(handle.constData());
    return nullptr;
}

RawQuery::RawQuery(const QSqlDatabase &db, const QString &sql) : m_db(handle(db)) {
    prepare(sql);
}

RawQuery::RawQuery(sqlite3 *db, const QString &sql) : m_db(db) { prepare(sql); }

void RawQuery::prepare(const QString &sql) {
    if (!m_db) {
        m_error = QStringLiteral("the archive is not open");
        m_code = SQLITE_CANTOPEN;
        return;
    }
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), static_cast<int>(text.size()), &m_statement,
                           nullptr) != SQLITE_OK)
        fail();
}

RawQuery::~RawQuery() { sqlite3_finalize(m_statement); }

void RawQuery::fail() {
    if (m_error.isEmpty()) {
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        m_code = sqlite3_extended_errcode(m_db);
        m_systemErrno = sqlite3_system_errno(m_db);
    }
}

int RawQuery::columns() const { return m_statement ? sqlite3_column_count(m_statement) : 0; }

QString RawQuery::columnName(int column) const {
    return QString::fromUtf8(sqlite3_column_name(m_statement, column));
}

void RawQuery::bind(int at, const QString &text) {
    if (m_statement &&
        sqlite3_bind_text16(m_statement, at, text.utf16(),
                            static_cast<int>(text.size() * sizeof(char16_t)),
                            SQLITE_TRANSIENT) != SQLITE_OK)
        fail();
}

void RawQuery::bind(int at, qint64 value) {
    if (m_statement && sqlite3_bind_int64(m_statement, at, value) != SQLITE_OK)
        fail();
}

void RawQuery::bind(int at, const QList<qint64> &values) {
    QString json = QStringLiteral("[");
    json.reserve(values.size() * 8 + 2);
    for (qint64 v : values) {
        json += QString::number(v);
        json += QLatin1Char(',');
    }
    if (values.isEmpty())
        json += QLatin1Char(']');
    else
        json.back() = QLatin1Char(']');
    bind(at, json);
}

void RawQuery::bind(int at, double value) {
    if (m_statement && sqlite3_bind_double(m_statement, at, value) != SQLITE_OK)
        fail();
}

void RawQuery::bind(int at, const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::Double:
        bind(at, value.toDouble());
        break;
    case QMetaType::LongLong:
    case QMetaType::Int:
        bind(at, qint64(value.toLongLong()));
        break;
    case QMetaType::UnknownType:
        if (m_statement && sqlite3_bind_null(m_statement, at) != SQLITE_OK)
            fail();
        break;
    default:
        bind(at, value.toString());
    }
}

bool RawQuery::exec() {
    if (!m_statement || failed())
        return false;
    int rc = sqlite3_step(m_statement);
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(m_statement);
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    if (rc != SQLITE_DONE) {
        fail();
        return false;
    }
    return true;
}

bool RawQuery::next() {
    if (!m_statement || failed())
        return false;
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        fail();
    return false;
}

QVariant RawQuery::value(int column) const {
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(m_statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_statement, column));
    case SQLITE_TEXT: {
        // As UTF-16, the way Qt's driver reads texts, so a text reads the same either way.
        const void *chars = sqlite3_column_text16(m_statement, column);
        const int bytes = sqlite3_column_bytes16(m_statement, column);
        return QVariant(QString(static_cast<const QChar *>(chars), bytes / 2));
    }
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                                   sqlite3_column_bytes(m_statement, column)));
    default:
        return QVariant(); // NULL
    }
}

QString RawQuery::textInPlace(int column) const {
    const void *chars = sqlite3_column_text16(m_statement, column);
    const int bytes = sqlite3_column_bytes16(m_statement, column);
    return QString::fromRawData(static_cast<const QChar *>(chars), bytes / 2);
}

QByteArrayView RawQuery::utf8InPlace(int column) const {
    const auto *chars = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QByteArrayView(chars, sqlite3_column_bytes(m_statement, column));
}

qint64 RawQuery::integer(int column) const { return sqlite3_column_int64(m_statement, column); }

static_assert(RawQuery::Cell::Integer == SQLITE_INTEGER && RawQuery::Cell::Real == SQLITE_FLOAT &&
              RawQuery::Cell::Text == SQLITE_TEXT && RawQuery::Cell::Blob == SQLITE_BLOB &&
              RawQuery::Cell::Null == SQLITE_NULL);

RawQuery::Cell RawQuery::cell(int column) const {
    // The row's own value: read through sqlite3_value_* it costs no second look-up of the
    // column (the connection is used by this thread alone).
    sqlite3_value *value = sqlite3_column_value(m_statement, column);
    Cell c;
    c.type = sqlite3_value_type(value);
    if (c.type == SQLITE_INTEGER) {
        c.integer = sqlite3_value_int64(value);
    } else if (c.type == SQLITE_FLOAT) {
        c.real = sqlite3_value_double(value);
    } else if (c.type == SQLITE_TEXT) {
        const auto *chars = reinterpret_cast<const char *>(sqlite3_value_text(value));
        c.text = QByteArrayView(chars, sqlite3_value_bytes(value));
    } else if (c.type == SQLITE_BLOB) {
        const auto *bytes = static_cast<const char *>(sqlite3_value_blob(value));
        c.text = QByteArrayView(bytes, sqlite3_value_bytes(value));
    }
    return c;
}

bool RawQuery::isNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

bool RawQuery::isText(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_TEXT;
}

bool RawQuery::isInteger(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_INTEGER;
}
