#include "ui/widgets/fonts.h"

#include <QFontDatabase>

QFont Fonts::sans(double points, bool bold, bool italic) {
    QFont f(QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif"))
                ? QStringLiteral("MS Sans Serif")
                : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}
