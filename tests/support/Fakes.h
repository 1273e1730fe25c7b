#pragma once

#include "platform/CommonDialog.h"
#include "platform/Failure.h"
#include "platform/FileLayer.h"
#include "platform/MessageBox.h"
#include "platform/Printer.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "support/SysInfoFakes.h"

#include <QList>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>

namespace vellumo::test {

// Records every box and answers from a script (OK, or Yes when the script runs dry).
class ScriptedMessageBox : public MessageBoxService {
public:
    struct Call {
        QString prompt;
        int style;
        QString title;
        QWidget *owner;
    };
    QList<Call> calls;
    QList<int> answers;

    int show(QWidget *owner, const QString &prompt, int style, const QString &title) override
    {
        calls.append({prompt, style, title, owner});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return (style & 0x7) == MsgStyle::YesNo ? kAnswerYes : kAnswerOk;
    }
};

class RecordingExit : public ProgramExit {
public:
    QList<int> codes;
    void exit(int code) override { codes.append(code); }
};

// Each dialog answers with what the test put in its slot; an unset slot cancels.
class ScriptedDialogs : public DialogPresenter {
public:
    std::function<bool(const FileRequest &, QString &)> onOpen, onSave;
    std::function<bool(unsigned &)> onColor;
    std::function<bool(int, FontChoice &)> onFont;
    std::function<bool(QPrinter &)> onPrinter;
    QList<FileRequest> fileRequests;
    QList<int> fontFlags;
    QList<QWidget *> owners; // of every dialog, in order

    bool openFile(QWidget *owner, const FileRequest &r, QString &chosen) override
    {
        return file(onOpen, owner, r, chosen);
    }
    bool saveFile(QWidget *owner, const FileRequest &r, QString &chosen) override
    {
        return file(onSave, owner, r, chosen);
    }
    bool color(QWidget *owner, unsigned &bgr) override
    {
        owners.append(owner);
        return onColor && onColor(bgr);
    }
    bool font(QWidget *owner, int flags, FontChoice &choice) override
    {
        owners.append(owner);
        fontFlags.append(flags);
        return onFont && onFont(flags, choice);
    }
    // Reached only through a real printer: the recording one answers itself.
    bool printer(QWidget *owner, QPrinter &p) override
    {
        owners.append(owner);
        return onPrinter && onPrinter(p);
    }

    // Choose this file in the next open or save dialog, and every one after.
    void choose(const QString &path)
    {
        onOpen = onSave = [path](const FileRequest &, QString &chosen) {
            chosen = path;
            return true;
        };
    }

private:
    bool file(const std::function<bool(const FileRequest &, QString &)> &answer, QWidget *owner,
              const FileRequest &r, QString &chosen)
    {
        owners.append(owner);
        fileRequests.append(r);
        return answer && answer(r, chosen);
    }
};

// Records every address handed to the desktop and opens none of them.
class RecordingShell : public ShellService {
public:
    QStringList opened;
    void openWebAddress(const QString &address) override { opened.append(address); }
};

// Keeps what would be printed instead of printing: the lines of the open
// document and every ended one. Its dialog answers with onDialog (unset:
// cancel). Setting `refusal` makes the next line fail as a refusing printer
// would.
class RecordingPrinter : public Printer {
public:
    QStringList openLines;
    QList<QStringList> documents;
    QString refusal;
    std::function<bool(int &copies)> onDialog;
    QList<QWidget *> dialogOwners;

    bool showDialog(DialogPresenter &, QWidget *owner, int &copies) override
    {
        dialogOwners.append(owner);
        return onDialog && onDialog(copies);
    }
    void printLine(const QList<PrintItem> &items) override
    {
        if (!refusal.isEmpty())
            throw Failure(refusal);
        openLines.append(printLineText(items));
    }
    void endDoc() override
    {
        if (!openLines.isEmpty())
            documents.append(std::exchange(openLines, {}));
    }
};

struct FakePlatform {
    ScriptedMessageBox messageBox;
    RecordingExit exit;
    ScriptedDialogs dialogs;
    DiskFileLayer files;
    RecordingShell shell;
    RecordingPrinter printer;
    ScriptedRegistry registry;
    ScriptedFileSearch fileSearch;
    ScriptedProgramStart programStart;
    Services services = scripted();

private:
    Services scripted()
    {
        Services s;
        s.messageBox = &messageBox;
        s.programExit = &exit;
        s.dialogs = &dialogs;
        s.files = &files;
        s.shell = &shell;
        s.printer = &printer;
        s.registry = &registry;
        s.fileSearch = &fileSearch;
        s.programStart = &programStart;
        return s;
    }
};

} // namespace vellumo::test
