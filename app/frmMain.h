#pragma once

#include "app/SystemServices.h"
#include "platform/LetGo.h"
#include "platform/dialogs/CommonDialog.h"

#include <QByteArray>
#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QPushButton;

namespace vellumo {

class RichTextBox;
class frmAbout;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(const Services &services, QWidget *parent = nullptr);
    ~frmMain() override;

    RichTextBox *RichTextBox1() const { return m_text; }
    CommonDialog &CommonDialog1() { return m_dialog; }
    QWidget *clientArea() const { return m_client; }
    // The About dialog object: null until the first Info, then the same one for the run.
    frmAbout *about() const { return m_about.get(); }

    // The shared command procedures: a button and its menu item run the same one.
    // These two return whether a file was actually loaded or saved.
    bool Loadfile();
    bool SaveFile();
    void OpenColor();
    void OpenFont();
    void PrintText();
    void ConfirmExit();
    void ShowAbout();

    // The window's state after its commands, for the tests and the benchmark to check: the file
    // number the last load or save took, the text the last load read (the file's bytes, each
    // one character) and the answer to the last exit question.
    int fileNumber() const { return m_fileNumber; }
    QByteArray loadedText() const { return m_loadedText; }
    short quitAnswer() const { return m_quitAnswer; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void route(QPushButton *button, std::function<void()> body);
    void route(QAction *item, std::function<void()> body);
    // Every failure inside a command ends here, in one message that says what
    // failed and why; the program and the text go on.
    void run(const QString &command, const std::function<void()> &body);

    Services m_services;
    CommonDialog m_dialog;
    QWidget *m_client = nullptr;
    RichTextBox *m_text = nullptr;
    int m_fileNumber = 0;
    QByteArray m_loadedText;
    short m_quitAnswer = 0;
    bool m_ending = false;
    bool m_running = false; // a command is under way
    std::unique_ptr<frmAbout> m_about;
    LetGo m_letGo; // the text loaded before
};

} // namespace vellumo
