#pragma once

#include <QString>

// The handful of values the windows hand each other. Owned by the application and passed
// by reference to every window; nothing else is shared between windows.
//
// The archive is opened afresh by each operation as an Archive object that lives only as
// long as that operation, so no database handle or record set is kept here.
struct ProgramState {
    QString dbpath;     // full path of the archive, set by every opening
    double idpianta = 0;  // key of the selected plant; 0: none, or a new card
    double idtratsel = 0; // key of the selected care event; 0: none, or a new event
    QString modolista;    // "Visualizza trattamenti" in plant mode, else event mode
    double rigasel = 0;   // 1-based position of the last clicked list row; 0: none
    int cambiaimg = 0;    // 1 when a new picture was chosen in the plant card editor
    QString imgpath;      // plant card editor: picture path before the current choice
    QString imgfile;      // plant card editor: picture file name before the current choice

    static inline const QString plantMode = QStringLiteral("Visualizza trattamenti");
    static inline const QString eventMode = QStringLiteral("Visualizza elenco Piante");

    bool inPlantMode() const { return modolista == plantMode; }
};
