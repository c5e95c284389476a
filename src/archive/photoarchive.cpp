#include "archive/photoarchive.h"

#include "archive/conversions.h"
#include "archive/sqlitefile.h"

#include <QSqlQuery>

const QString PhotoArchive::table = QStringLiteral("foto");

namespace {
const QString noTable =
    QStringLiteral("l'archivio non ha ancora la tabella delle foto: riavviare Silvaro per "
                   "aggiornarlo");

// Whether the open file has the table; false with the error when it cannot tell.
bool tableIn(SqliteFile &file, bool *has) {
    const QVariant n = file.value(
        QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"),
        {PhotoArchive::table});
    if (!n.isValid())
        return false;
    *has = n.toInt() > 0;
    return true;
}

Photo photoOf(const QSqlQuery &q) {
    return {q.value(0).toLongLong(), q.value(1).toLongLong(),
            Conversions::isoDatePrefix(q.value(2).toString()), q.value(3).toString(),
            q.value(4).toString()};
}

const QString columns = QStringLiteral("SELECT idfoto, id, data, file, nota FROM foto ");

// Runs a write in one transaction on a file that must have the table.
bool writeIn(const QString &path, QString *error,
             const std::function<bool(SqliteFile &, QSqlQuery &)> &work) {
    SqliteFile file;
    if (!file.open(path, false)) {
        *error = file.error();
        return false;
    }
    QSqlQuery q(file.db());
    if (!file.run(q, QStringLiteral("BEGIN IMMEDIATE"))) {
        *error = file.error();
        return false;
    }
    bool has = false;
    bool ok = tableIn(file, &has);
    if (ok && !has) {
        file.run(q, QStringLiteral("ROLLBACK"));
        *error = noTable;
        return false;
    }
    ok = ok && work(file, q);
    if (ok && file.run(q, QStringLiteral("COMMIT")))
        return true;
    if (error->isEmpty())
        *error = file.error();
    QSqlQuery rollback(file.db());
    rollback.exec(QStringLiteral("ROLLBACK"));
    return false;
}
} // namespace

PhotoArchive::PhotoArchive(QString path) : m_path(std::move(path)) {}

bool PhotoArchive::fail(const QString &error) {
    m_error = error;
    return false;
}

std::optional<QList<Photo>> PhotoArchive::photos(qint64 plantId) {
    m_error.clear();
    SqliteFile file;
    bool has = false;
    if (!file.open(m_path) || !tableIn(file, &has))
        return fail(file.error()), std::nullopt;
    QList<Photo> list;
    if (!has)
        return list;
    QSqlQuery q(file.db());
    if (!file.run(q, columns + QStringLiteral("WHERE id = ? ORDER BY data, idfoto"), {plantId}))
        return fail(file.error()), std::nullopt;
    while (q.next())
        list << photoOf(q);
    return list;
}

std::optional<Photo> PhotoArchive::photo(qint64 idfoto) {
    m_error.clear();
    SqliteFile file;
    bool has = false;
    if (!file.open(m_path) || !tableIn(file, &has))
        return fail(file.error()), std::nullopt;
    if (!has)
        return std::nullopt;
    QSqlQuery q(file.db());
    if (!file.run(q, columns + QStringLiteral("WHERE idfoto = ?"), {idfoto}))
        return fail(file.error()), std::nullopt;
    if (!q.next())
        return std::nullopt;
    return photoOf(q);
}

std::optional<bool> PhotoArchive::hasFile(qint64 plantId, const QString &name) {
    SqliteFile file;
    bool has = false;
    // Read-write: after a kill the file may hold a transaction to roll back first.
    if (!file.open(m_path, false) || !tableIn(file, &has))
        return fail(file.error()), std::nullopt;
    if (!has)
        return false;
    const QVariant n = file.value(
        QStringLiteral("SELECT count(*) FROM foto WHERE id = ? AND file = ?"), {plantId, name});
    if (!n.isValid())
        return fail(file.error()), std::nullopt;
    return n.toInt() > 0;
}

bool PhotoArchive::insert(const Photo &photo,
                          const std::function<bool(qint64 idfoto)> &beforeCommit, Photo *stored) {
    m_error.clear();
    Photo row = photo;
    const bool ok = writeIn(m_path, &m_error, [&](SqliteFile &file, QSqlQuery &q) {
        const QVariant top =
            file.value(QStringLiteral("SELECT coalesce(max(idfoto), 0) FROM foto"));
        if (!top.isValid())
            return false;
        row.idfoto = top.toLongLong() + 1;
        if (!file.run(q,
                      QStringLiteral("INSERT INTO foto (idfoto, id, data, file, nota) "
                                     "VALUES (?, ?, ?, ?, ?)"),
                      {row.idfoto, row.id, row.data.toString(Qt::ISODate), row.file, row.nota}))
            return false;
        return !beforeCommit || beforeCommit(row.idfoto);
    });
    if (ok && stored)
        *stored = row;
    return ok;
}

bool PhotoArchive::update(qint64 idfoto, const QDate &data, const QString &nota) {
    m_error.clear();
    return writeIn(m_path, &m_error, [&](SqliteFile &file, QSqlQuery &q) {
        if (!file.run(q, QStringLiteral("UPDATE foto SET data = ?, nota = ? WHERE idfoto = ?"),
                      {data.toString(Qt::ISODate), nota, idfoto}))
            return false;
        if (q.numRowsAffected() == 1)
            return true;
        m_error = QStringLiteral("Nessuna foto corrisponde alla chiave %1").arg(idfoto);
        return false;
    });
}

bool PhotoArchive::remove(qint64 idfoto) {
    m_error.clear();
    return writeIn(m_path, &m_error, [&](SqliteFile &file, QSqlQuery &q) {
        if (!file.run(q, QStringLiteral("DELETE FROM foto WHERE idfoto = ?"), {idfoto}))
            return false;
        if (q.numRowsAffected() == 1)
            return true;
        m_error = QStringLiteral("Nessuna foto corrisponde alla chiave %1").arg(idfoto);
        return false;
    });
}
