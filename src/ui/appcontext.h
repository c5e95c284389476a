#pragma once

#include "archive/appfolder.h"
#include "archive/clock.h"
#include "ui/programstate.h"
#include "ui/platform/filechooser.h"
#include "ui/platform/messages.h"
#include "ui/platform/modalrunner.h"
#include "ui/platform/printchooser.h"
#include "ui/platform/registry.h"

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
