#pragma once

#include <memory>

namespace vellumo {

class DialogPresenter;
class FileLayer;
class FileSearch;
class MessageBoxService;
class Printer;
class ProgramExit;
class ProgramStart;
class ProgressService;
class RegistryLayer;

// The platform as the main window reaches it, which hands each command and
// window the services it uses. The pointers do not own: the real services
// live in SystemServices, tests put scripted ones in their place.
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

// The real services for one run. Made after the application object and gone
// before it, since the printer and the dialogs need Qt while they live.
class SystemServices {
public:
    SystemServices();
    ~SystemServices();
    SystemServices(const SystemServices &) = delete;
    SystemServices &operator=(const SystemServices &) = delete;

    const Services &services() const { return m_services; }

private:
    struct Owned;
    std::unique_ptr<Owned> m_owned;
    Services m_services;
};

} // namespace vellumo
