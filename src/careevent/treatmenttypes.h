#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The kinds of care event: three fixed ones that the plant list relies on, further ones read
// from "trattamenti.txt" beside the program, and the item that asks for a free text.
class TreatmentTypes {
public:
    // "Annaffiatura", "Concimazione", "Fioritura": always first in the list.
    static const QStringList &fixed();
    // The eleven names an event type is shown as directly; any other text is "Altro....".
    static const QStringList &known();
    static bool isKnown(const QString &type); // exact and case-sensitive
    static const QString other;               // "Altro...."

    // Every line of the file, in order and whole; an empty line gives an empty name. Line
    // ends may be LF or CR LF. Nothing when the file cannot be read.
    static std::optional<QStringList> readFile(const QString &path);
    static QStringList lines(const QString &text);
};
