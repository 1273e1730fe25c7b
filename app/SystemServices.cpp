#include "app/SystemServices.h"

#include "platform/dialogs/CommonDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/ProgressDialog.h"
#include "platform/files/FileLayer.h"
#include "platform/printing/Printer.h"
#include "platform/system/FileSearch.h"
#include "platform/system/ProgramExit.h"
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
    // In the order of Services' members: each has a type of its own, so a slip does not compile.
    Owned &o = *m_owned;
    m_services = {&o.messageBox, &o.programExit,  &o.dialogs, &o.files,   &o.registry,
                  &o.fileSearch, &o.programStart, &o.printer, &o.progress};
}

SystemServices::~SystemServices() = default;

} // namespace vellumo
