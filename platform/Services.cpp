#include "platform/Services.h"

#include "platform/CommonDialog.h"
#include "platform/FileLayer.h"
#include "platform/FileSearch.h"
#include "platform/MessageBox.h"
#include "platform/Printer.h"
#include "platform/ProgramStart.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/WindowsRegistry.h"

namespace vellumo {

Services Services::system()
{
    static QtMessageBox messageBox;
    static QtProgramExit programExit;
    static QtDialogPresenter dialogs;
    static DiskFileLayer files;
    static DesktopShell shell;
    Services services;
    services.messageBox = &messageBox;
    services.programExit = &programExit;
    services.dialogs = &dialogs;
    services.files = &files;
    services.shell = &shell;
#ifdef _WIN32
    static WindowsRegistry registry;
#else
    static StandInRegistry registry;
#endif
    static DiskFileSearch fileSearch;
    static DetachedProgramStart programStart;
    services.registry = &registry;
    services.fileSearch = &fileSearch;
    services.programStart = &programStart;
    static QtPrinter printer; // one for the run: the dialog's choices stay
    services.printer = &printer;
    return services;
}

} // namespace vellumo
