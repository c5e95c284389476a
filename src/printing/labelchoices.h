#pragma once

#include "printing/labelsheet.h"

#include <QString>
#include <QStringList>

// What the grower last chose in "Stampa etichette": the sheet (one of the commercial ones or
// their own), the fields in their order and the QR code. Kept in a small text file in the
// application folder, so it travels with the archive.
struct LabelChoices {
    int format = 0; // in LabelSheet::commercial(); its size: the user's own sheet
    LabelSheet own = LabelSheet::commercial().constFirst();
    QStringList fields;
    bool code = true;

    // The choices kept in `path`; the first choices where there are none or they are unusable.
    static LabelChoices load(const QString &path);
    // False when the file could not be written.
    bool save(const QString &path) const;

    bool ownSheet() const { return format == LabelSheet::commercial().size(); }
    LabelSheet sheet() const;
};
