#pragma once

#include "platform/dialogs/MessageBox.h"
#include "platform/system/FileSearch.h"
#include "platform/system/ProgramStart.h"
#include "platform/system/Registry.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

namespace vellumo {

// The About dialog. The object lives for the whole run; each showing builds a
// fresh window from the layout, and closing destroys that window again, so no
// state carries over from one showing to the next.
class frmAbout : public QObject {
    Q_OBJECT
public:
    // The forum's address. Label2 shows the same text, but a click opens this
    // copy and never reads the label.
    static constexpr char kForumAddress[] = "https://orchardnet.example";

    // System Info finds its tool through the registry and the file search, starts it, or says
    // in a message box that it cannot.
    frmAbout(MessageBoxService &messageBox, RegistryLayer &registry, FileSearch &fileSearch,
             ProgramStart &programStart, QWidget *owner);
    ~frmAbout() override;

    // Shows the dialog modal over its owner, centred on it, with the focus on
    // OK; returns once the dialog has been closed.
    void Show();
    // The window while the dialog is shown, otherwise null.
    QDialog *window() const { return m_window; }

    // Finds the system information tool through the registry and starts it.
    // Whatever goes wrong ends in one message box; nothing reaches the caller.
    void StartSysInfo();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Load();
    void Unload();
    void Label2_Click();

    MessageBoxService &m_messageBox;
    RegistryLayer &m_registry;
    FileSearch &m_fileSearch;
    ProgramStart &m_programStart;
    QPointer<QWidget> m_owner;
    QPointer<QDialog> m_window;
    QPointer<QWidget> m_label2;
    bool m_label2Pressed = false;
};

} // namespace vellumo
