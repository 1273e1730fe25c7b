#pragma once

#include "platform/CommonDialog.h"
#include "platform/MessageBox.h"
#include "platform/Services.h"

#include <QList>
#include <QPrinter>
#include <functional>

namespace vellumo::test {

// Records every box and answers from a script (OK, or Yes when the script runs dry).
class ScriptedMessageBox : public MessageBoxService {
public:
    struct Call {
        QString prompt;
        int style;
        QString title;
    };
    QList<Call> calls;
    QList<int> answers;

    int show(const QString &prompt, int style, const QString &title) override
    {
        calls.append({prompt, style, title});
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

    bool openFile(const FileRequest &r, QString &chosen) override
    {
        fileRequests.append(r);
        return onOpen && onOpen(r, chosen);
    }
    bool saveFile(const FileRequest &r, QString &chosen) override
    {
        fileRequests.append(r);
        return onSave && onSave(r, chosen);
    }
    bool color(unsigned &bgr) override { return onColor && onColor(bgr); }
    bool font(int flags, FontChoice &choice) override
    {
        fontFlags.append(flags);
        return onFont && onFont(flags, choice);
    }
    bool printer(QPrinter &p) override { return onPrinter && onPrinter(p); }

    // Choose this file in the next open or save dialog, and every one after.
    void choose(const QString &path)
    {
        onOpen = onSave = [path](const FileRequest &, QString &chosen) {
            chosen = path;
            return true;
        };
    }
};

struct FakePlatform {
    ScriptedMessageBox messageBox;
    RecordingExit exit;
    ScriptedDialogs dialogs;
    Services services{messageBox, exit, dialogs};
};

} // namespace vellumo::test
