#pragma once

#include <memory>

namespace vellumo {

class DialogPresenter;
class FileLayer;
class FileSearch;
class MessageBoxService;
class Printer;
class ProgramStart;
class ProgressService;
class RegistryLayer;
class ProgramExit;

// The platform as the commands reach it. The pointers do not own: the real
// services live in app/SystemServices, tests put scripted ones in their place.
struct Services {
    MessageBoxService *messageBox = nullptr;
    ProgramExit *programExit = nullptr;
    DialogPresenter *dialogs = nullptr;
    FileLayer *files = nullptr;
    RegistryLayer *registry = nullptr;
    FileSearch *fileSearch = nullptr;
    ProgramStart *programStart = nullptr;
    Printer *printer = nullptr;
    ProgressService *progress = nullptr;
};

} // namespace vellumo
