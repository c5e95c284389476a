#pragma once

#include "archive/appfolder.h"
#include "archive/clock.h"
#include "archive/programstate.h"
#include "ui/filechooser.h"
#include "ui/messages.h"
#include "ui/modalrunner.h"
#include "ui/printchooser.h"
#include "ui/registry.h"

// What every window is handed: the application folder, the program-wide state and the
// narrow interfaces to the outside world (clock, message boxes, modal opening, file and
// print dialogs, registry). The program fills it with the real ones, tests with fakes.
struct AppContext {
    AppFolder folder;
    ProgramState state;
    Clock *clock = nullptr;
    Messages *messages = nullptr;
    ModalRunner *modal = nullptr;
    FileChooser *files = nullptr;
    PrintChooser *printer = nullptr;
    Registry *registry = nullptr;
};
