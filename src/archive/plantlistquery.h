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
};
