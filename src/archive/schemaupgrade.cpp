#include "archive/schemaupgrade.h"

#include "archive/sqlitefile.h"

#include <QSqlQuery>

#include <algorithm>

// Each step's statements stay as they were first shipped: an archive may be brought up from
// any layout before it. resources/schema.sql holds the result of all of them.
const QList<SchemaUpgrade::Step> &SchemaUpgrade::steps() {
    static const QList<Step> all = {
        // Care rhythms set by hand: every `giorni` days for the plant `id` and the kind
        // `intervento`, 0 for "do not remind".
        {1,
         {QStringLiteral("CREATE TABLE promemoria (id INTEGER NOT NULL, intervento TEXT NOT NULL, "
                         "giorni INTEGER NOT NULL, UNIQUE (id, intervento))")}},
        // The dated photos of each plant, files in the plant's own picture folder.
        {2,
         {QStringLiteral("CREATE TABLE foto (idfoto INTEGER NOT NULL UNIQUE, id INTEGER NOT NULL, "
                         "data TEXT, file TEXT NOT NULL, nota TEXT)"),
          QStringLiteral("CREATE INDEX foto_pianta ON foto (id, data)")}},
    };
    return all;
}

int SchemaUpgrade::latest(const QList<Step> &steps) {
    int to = 0;
    for (const Step &s : steps)
        to = std::max(to, s.to);
    return to;
}

SchemaUpgrade::State SchemaUpgrade::stateOf(const QString &archive, const QList<Step> &steps,
                                            int *version, QString *error) {
    SqliteFile file;
    if (!file.open(archive)) {
        *error = file.error();
        return State::Unreadable;
    }
    const QVariant v = file.value(QStringLiteral("PRAGMA user_version"));
    if (!v.isValid()) {
        *error = file.error();
        return State::Unreadable;
    }
    *version = v.toInt();
    const int known = latest(steps);
    return *version == known ? State::Current : *version < known ? State::Older : State::Newer;
}

bool SchemaUpgrade::run(const QString &archive, const QList<Step> &steps, QString *error) {
    SqliteFile file;
    if (!file.open(archive, false)) {
        *error = file.error();
        return false;
    }
    QSqlQuery q(file.db());
    // IMMEDIATE: nobody else may write between reading the number and setting the new one.
    if (!file.run(q, QStringLiteral("BEGIN IMMEDIATE"))) {
        *error = file.error();
        return false;
    }
    const auto fail = [&] {
        *error = file.error();
        QSqlQuery rollback(file.db());
        rollback.exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    const QVariant v = file.value(QStringLiteral("PRAGMA user_version"));
    if (!v.isValid())
        return fail();
    int version = v.toInt();
    for (const Step &step : steps) {
        if (step.to <= version)
            continue;
        for (const QString &statement : step.statements)
            if (!file.run(q, statement))
                return fail();
        version = step.to;
    }
    // A pragma takes no bound value; the number is the program's own.
    if (!file.run(q, QStringLiteral("PRAGMA user_version = %1").arg(version)) ||
        !file.run(q, QStringLiteral("COMMIT")))
        return fail();
    return true;
}
