#pragma once

#include "archive/records.h"

#include <QString>

#include <utility>

// What the main list shows: the plants (all, or those the search finds), or the events of
// the selected plant.
enum class ListMode { Plants, Events };

// The handful of values the windows hand each other. Owned by the application and passed
// by reference to every window; nothing else is shared between windows.
//
// The archive is opened afresh by each operation as an Archive object that lives only as
// long as that operation, so no database handle or record set is kept here.
struct ProgramState {
    QString dbpath;     // full path of the archive, set by every opening
    qint64 idpianta = 0;  // key of the selected plant; 0: none, or a new card
    qint64 idtratsel = 0; // key of the selected care event; 0: none, or a new event
    ListMode listMode = ListMode::Plants;
    int selectedRow = 0;  // 1-based position of the last clicked list row; 0: none
    // No lock could keep a second program off the archive: it is only read.
    bool archiveReadOnly = false;

    bool inPlantMode() const { return listMode == ListMode::Plants; }

    // The rowid of the list row each key was taken from, so that a command acts on the row
    // clicked even where another tool stored two rows under one key. It goes with the key
    // it was taken with: once the key is set otherwise, commands go by the key alone.
    void selectPlant(qint64 key, qint64 rowid) {
        idpianta = key;
        m_plantRow = {key, rowid};
    }
    void selectEvent(qint64 key, qint64 rowid) {
        idtratsel = key;
        m_eventRow = {key, rowid};
    }
    qint64 plantRow() const { return m_plantRow.first == idpianta ? m_plantRow.second : 0; }
    qint64 eventRow() const { return m_eventRow.first == idtratsel ? m_eventRow.second : 0; }
    // The selected plant and event, each with its row where it is known.
    PlantKey selectedPlant() const { return {plantRow(), idpianta, true}; }
    EventKey selectedEvent() const { return {eventRow(), idtratsel}; }

private:
    std::pair<qint64, qint64> m_plantRow{0, 0}, m_eventRow{0, 0};
};
