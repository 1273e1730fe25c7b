#pragma once

namespace vellumo {

class DialogPresenter;
class FileLayer;
class FileSearch;
class MessageBoxService;
class Printer;
class ProgramStart;
class RegistryLayer;
class ProgramExit;
class ShellService;

// The platform as the commands reach it. `system()` gives the real services;
// tests start from it and replace those they script.
struct Services {
    MessageBoxService *messageBox = nullptr;
    ProgramExit *programExit = nullptr;
    DialogPresenter *dialogs = nullptr;
    FileLayer *files = nullptr;
    ShellService *shell = nullptr;
    RegistryLayer *registry = nullptr;
    FileSearch *fileSearch = nullptr;
    ProgramStart *programStart = nullptr;
    Printer *printer = nullptr;

    static Services system();
};

} // namespace vellumo
