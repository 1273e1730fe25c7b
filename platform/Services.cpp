#include "platform/Services.h"

#include "platform/CommonDialog.h"
#include "platform/FileLayer.h"
#include "platform/FileSearch.h"
#include "platform/MessageBox.h"
#include "platform/Printer.h"
#include "platform/ProgramStart.h"
#include "platform/Progress.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

namespace vellumo {

struct SystemServices::Owned {
    QtMessageBox messageBox;
    QtProgramExit programExit;
    QtDialogPresenter dialogs;
    DiskFileLayer files;
    DesktopShell shell;
    StandInRegistry registry;
    DiskFileSearch fileSearch;
    DetachedProgramStart programStart;
    QtPrinter printer; // one for the run: the dialog's choices stay
    DialogProgressService progress;
};

SystemServices::SystemServices() : m_owned(std::make_unique<Owned>())
{
    m_services.messageBox = &m_owned->messageBox;
    m_services.programExit = &m_owned->programExit;
    m_services.dialogs = &m_owned->dialogs;
    m_services.files = &m_owned->files;
    m_services.shell = &m_owned->shell;
    m_services.registry = &m_owned->registry;
    m_services.fileSearch = &m_owned->fileSearch;
    m_services.programStart = &m_owned->programStart;
    m_services.printer = &m_owned->printer;
    m_services.progress = &m_owned->progress;
}

SystemServices::~SystemServices() = default;

} // namespace vellumo
