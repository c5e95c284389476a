#include "plantcard/picturecopy.h"

#include "ui/regularfile.h"

#include <QFile>
#include <QSaveFile>

namespace {
bool failed(QString *error, const QString &text) {
    if (error)
        *error = text;
    return false;
}
} // namespace

bool PictureCopy::copy(const QString &source, const QString &target, QString *error) {
    if (!RegularFile::is(source))
        return failed(error, QStringLiteral("\"%1\" non è un file").arg(source));
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return failed(
            error, QStringLiteral("Impossibile leggere \"%1\": %2").arg(source, in.errorString()));
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return failed(
            error,
            QStringLiteral("Impossibile scrivere \"%1\": %2").arg(target, out.errorString()));
    QByteArray chunk;
    while (!(chunk = in.read(1 << 16)).isEmpty()) {
        if (out.write(chunk) != chunk.size()) {
            const QString why = out.errorString();
            out.cancelWriting();
            return failed(error,
                          QStringLiteral("Impossibile scrivere \"%1\": %2").arg(target, why));
        }
    }
    if (in.error() != QFileDevice::NoError) {
        const QString why = in.errorString();
        out.cancelWriting();
        return failed(error, QStringLiteral("Impossibile leggere \"%1\": %2").arg(source, why));
    }
    if (!out.commit())
        return failed(
            error,
            QStringLiteral("Impossibile scrivere \"%1\": %2").arg(target, out.errorString()));
    return true;
}
