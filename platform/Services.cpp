#include "platform/Services.h"

#include "platform/CommonDialog.h"
#include "platform/MessageBox.h"

namespace vellumo {

Services &Services::system()
{
    static QtMessageBox messageBox;
    static QtProgramExit programExit;
    static QtDialogPresenter dialogs;
    static Services services{messageBox, programExit, dialogs};
    return services;
}

} // namespace vellumo
