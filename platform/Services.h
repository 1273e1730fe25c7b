#pragma once

namespace vellumo {

class DialogPresenter;
class MessageBoxService;
class ProgramExit;

// The platform as the commands reach it. The running program uses the real
// services; tests hand in their own to script a user's answers.
struct Services {
    MessageBoxService &messageBox;
    ProgramExit &programExit;
    DialogPresenter &dialogs;

    static Services &system();
};

} // namespace vellumo
