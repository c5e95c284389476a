// Creates an empty archive from the schema file. Used only when laying out an application
// folder; refuses to touch an existing file.
#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: silvaro-makedb SCHEMA.sql ARCHIVE\n");
        return 2;
    }
    const QString schemaPath = QString::fromLocal8Bit(argv[1]);
    const QString target = QString::fromLocal8Bit(argv[2]);
    if (QFile::exists(target)) {
        std::fprintf(stderr, "%s exists already: left as it is\n", argv[2]);
        return 0;
    }
    QFile schema(schemaPath);
    if (!schema.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QString tmp = target + ".new";
    QFile::remove(tmp);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "makedb");
        db.setDatabaseName(tmp);
        ok = db.open();
        const QStringList statements =
            QString::fromUtf8(schema.readAll()).split(';', Qt::SkipEmptyParts);
        QSqlQuery q(db);
        for (const QString &s : statements) {
            if (s.trimmed().isEmpty())
                continue;
            if (ok && !q.exec(s)) {
                std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
                ok = false;
            }
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("makedb");
    // Written under a temporary name first so that a half-made archive never appears.
    if (!ok || !QFile::rename(tmp, target)) {
        QFile::remove(tmp);
        return 1;
    }
    return 0;
}
