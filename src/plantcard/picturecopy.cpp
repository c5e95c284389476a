#include "plantcard/picturecopy.h"

#include "ui/platform/regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
bool failed(QString *error, const QString &text) {
    if (error)
        *error = text;
    return false;
}
} // namespace

QString PictureCopy::linkedFolder(const QString &folder) {
    return QStringLiteral("La cartella \"%1\" è un collegamento a un'altra cartella: le immagini "
                          "non vi vengono scritte")
        .arg(folder);
}

bool PictureCopy::copy(const QString &source, const QString &target, QString *error) {
    if (!RegularFile::is(source))
        return failed(error, QStringLiteral("\"%1\" non è un file").arg(source));
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return failed(
            error, QStringLiteral("Impossibile leggere \"%1\": %2").arg(source, in.errorString()));
    // A plant folder that is a link would put the picture elsewhere; a link at the target's
    // name would have the copy written through to its own target.
    const QFileInfo folder(QFileInfo(target).absolutePath());
    if (folder.isSymLink())
        return failed(error, linkedFolder(folder.filePath()));
    if (QFileInfo(target).isSymLink() && !QFile::remove(target))
        return failed(error,
                      QStringLiteral("Impossibile sostituire il collegamento \"%1\"").arg(target));
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
