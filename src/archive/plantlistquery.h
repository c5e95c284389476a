#pragma once

#include "archive/records.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QSqlDatabase;

// The statements that fill the plant list: the plants' own columns in stored order and their
// three derived columns (the newest watering or fertilising, flowering and other event). Each
// runs in one read transaction, so the rows come from one state of the file.
class PlantListQuery {
public:
    // Every plant. Nothing, with the reason in `error`, when a statement failed.
    static std::optional<QList<PlantListRow>> all(QSqlDatabase &db, QString *error);
    // The plants whose `column` (a fixed field name, never the user's text) `accept` takes;
    // NULL is never taken.
    static std::optional<QList<PlantListRow>>
    matching(QSqlDatabase &db, const QString &column,
             const std::function<bool(const QString &)> &accept, QString *error);

    // The same plants by key only, in key order: their other columns are read apart, for
    // the rows wanted, by rowsOf().
    static std::optional<QList<PlantKey>> keys(QSqlDatabase &db, QString *error);
    static std::optional<QList<PlantKey>>
    matchingKeys(QSqlDatabase &db, const QString &column,
                 const std::function<bool(const QString &)> &accept, QString *error);
    // Every plant with its own columns only, in stored order.
    static std::optional<QList<PlantListRow>> texts(QSqlDatabase &db, QString *error);
    // The own columns (but the key) and the derived columns of the plants with these rowids,
    // in no particular order; a plant no longer there is left out. With `many`, when they
    // are a good part of the archive, all plants are walked in key order instead.
    static std::optional<QList<PlantListRow>> rowsOf(QSqlDatabase &db, const QList<qint64> &rowids,
                                                     QString *error, bool many = false);
};
