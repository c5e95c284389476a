#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

// One dated photo of a plant: a row of foto, its file in the plant's picture folder.
struct Photo {
    qint64 idfoto = 0;
    qint64 id = 0; // the plant's key
    QDate data;
    QString file; // a plain name inside img/<key>/
    QString nota;
};

// The table foto. An archive of a layout older than the table's has no photos: reads answer
// with none, writes fail with the reason (the startup upgrade adds the table). Each write is
// one transaction; failures come back as false or an empty optional, with error() telling why.
class PhotoArchive {
public:
    explicit PhotoArchive(QString path);

    // The plant's photos, oldest first (the same day in the order they were added).
    std::optional<QList<Photo>> photos(qint64 plantId);
    std::optional<Photo> photo(qint64 idfoto);
    // Inserts the row; `beforeCommit` runs inside the transaction once the row is written
    // (false undoes it). The row's idfoto is chosen here and given back in *stored.
    bool insert(const Photo &photo, const std::function<bool(qint64 idfoto)> &beforeCommit,
                Photo *stored);
    bool update(qint64 idfoto, const QDate &data, const QString &nota);
    bool remove(qint64 idfoto);
    // Whether a row of the plant names this file; nothing when the archive cannot tell.
    // Opens the file for writing, so that a transaction a kill cut short is undone first.
    std::optional<bool> hasFile(qint64 plantId, const QString &file);

    QString error() const { return m_error; }

    static const QString table; // foto

private:
    bool fail(const QString &error);
    QString m_path;
    QString m_error;
};
