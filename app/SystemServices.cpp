#include "app/SystemServices.h"

#include "platform/dialogs/CommonDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/ProgressDialog.h"
#include "platform/files/FileLayer.h"
#include "platform/printing/Printer.h"
#include "platform/system/FileSearch.h"
#include "platform/system/ProgramStart.h"
#include "platform/system/Registry.h"

namespace vellumo {

struct SystemServices::Owned {
    QtMessageBox messageBox;
    QtProgramExit programExit;
    QtDialogPresenter dialogs;
    FileLayer files;
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
    m_services.registry = &m_owned->registry;
    m_services.fileSearch = &m_owned->fileSearch;
    m_services.programStart = &m_owned->programStart;
    m_services.printer = &m_owned->printer;
    m_services.progress = &m_owned->progress;
}

SystemServices::~SystemServices() = default;

} // namespace vellumo
