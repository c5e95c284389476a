#include "careevent/treatmenttypes.h"

#include "archive/folderfile.h"
#include "careevent/legacytext.h"

#include <QFile>
#include <QFileInfo>

const QString TreatmentTypes::other = QStringLiteral("Altro....");

const QStringList &TreatmentTypes::fixed() {
    static const QStringList names = {QStringLiteral("Annaffiatura"),
                                      QStringLiteral("Concimazione"), QStringLiteral("Fioritura")};
    return names;
}

const QStringList &TreatmentTypes::known() {
    static const QStringList names =
        fixed() + QStringList{QStringLiteral("Malattia"),         QStringLiteral("Fungicida"),
                              QStringLiteral("Antiparassitario"), QStringLiteral("Rinvaso"),
                              QStringLiteral("Potatura"),         QStringLiteral("Defogliazione"),
                              QStringLiteral("Cimatura"),         QStringLiteral("Taglio radici")};
    return names;
}

bool TreatmentTypes::isKnown(const QString &type) {
    return known().contains(type, Qt::CaseSensitive);
}

QStringList TreatmentTypes::lines(const QString &text) {
    QStringList result;
    if (text.isEmpty())
        return result;
    result = text.split(QLatin1Char('\n'));
    // A final line end closes the last line; it does not open another one.
    if (text.endsWith(QLatin1Char('\n')))
        result.removeLast();
    for (QString &line : result)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    return result;
}

std::optional<QStringList> TreatmentTypes::readFile(const QString &path) {
    // Opening a FIFO would wait for a writer for ever; a list of types is a few lines, not
    // the megabytes of a file put there by mistake, nor a link to a file elsewhere.
    constexpr qint64 largestList = 1 << 20;
    if (FolderFile::check(QFileInfo(path).absolutePath(), path, largestList) !=
        FolderFile::State::Usable)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return lines(LegacyText::decode(bytes));
}
