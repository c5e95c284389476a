#pragma once

#include <QFont>

// The program's one face: "MS Sans Serif" where it is installed, else the sans-serif font.
class Fonts {
public:
    static QFont sans(double points, bool bold = false, bool italic = false);
};
