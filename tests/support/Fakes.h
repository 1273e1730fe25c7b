#pragma once

#include "app/SystemServices.h"
#include "platform/Failure.h"
#include "platform/Progress.h"
#include "platform/dialogs/CommonDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/files/FileLayer.h"
#include "platform/printing/Printer.h"
#include "platform/system/ProgramExit.h"
#include "support/SysInfoFakes.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
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
        bool busy; // shown under the busy cursor
    };
    QList<Call> calls;
    QList<int> answers;

    int show(QWidget *owner, const QString &prompt, int style, const QString &title) override
    {
        calls.append({prompt, style, title, owner, QGuiApplication::overrideCursor() != nullptr});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return (style & 0x7) == MsgStyle::YesNo ? kAnswerYes : kAnswerOk;
    }
    // Each box as "title|prompt", or only its title.
    QStringList shown(bool withPrompts = true) const
    {
        QStringList out;
        for (const Call &call : calls)
            out << (withPrompts ? call.title + u'|' + call.prompt : call.title);
        return out;
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

// Stands in for the desktop's handlers of every scheme: records each address handed to the
// desktop and opens none of them. The newest one alive takes the addresses.
class RecordingShell : public QObject {
    Q_OBJECT
public:
    QStringList opened;
    static inline const QStringList schemes{"https", "http", "file", "javascript", "ftp", ""};
    RecordingShell()
    {
        alive().append(this);
        route(this);
    }
    ~RecordingShell() override
    {
        alive().removeOne(this);
        route(alive().isEmpty() ? nullptr : alive().last());
    }
    static void route(RecordingShell *to)
    {
        for (const QString &scheme : schemes) {
            if (to)
                QDesktopServices::setUrlHandler(scheme, to, "open");
            else
                QDesktopServices::unsetUrlHandler(scheme);
        }
    }
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url.toString()); }

private:
    static QList<RecordingShell *> &alive()
    {
        static QList<RecordingShell *> shells;
        return shells;
    }
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

    bool showDialog(const PrinterDialog &, QWidget *owner, int &copies) override
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
    // A document, like a real one, takes a step before it is handed over.
    void endDoc(Progress &progress) override
    {
        if (openLines.isEmpty())
            return;
        const QStringList lines = std::exchange(openLines, {});
        progress.step(0.5);
        progress.lockIn(QStringLiteral("handed over"));
        documents.append(lines);
    }
};

// Records every piece of long work and its steps. The step numbered cancelAt (counted from 1
// over all the work) throws as the user's Cancel would, unless the work is locked in by then;
// onStep runs at every step, as the events that a step lets through would.
class ScriptedProgress : public ProgressService {
public:
    struct Work {
        QWidget *owner = nullptr;
        QString label;
        QList<double> steps;
        int lockedInAfter = -1;  // steps taken when the work could no longer be cancelled
        QString lockedInLabel{}; // what the progress said from then on
        bool busy = true;        // the busy cursor showed at its start and every step
    };
    QList<Work> started;
    int cancelAt = 0;
    int stepsTaken = 0;
    std::function<void()> onStep;

    std::unique_ptr<Progress> start(QWidget *owner, const QString &label) override
    {
        started.append({owner, label, {}});
        started.last().busy = QGuiApplication::overrideCursor();
        return std::make_unique<Scripted>(*this, started.size() - 1);
    }

private:
    struct Scripted : Progress {
        ScriptedProgress &script;
        qsizetype work;
        Scripted(ScriptedProgress &s, qsizetype w) : script(s), work(w) {}
        void step(double done) override
        {
            script.started[work].steps.append(done);
            script.started[work].busy &= QGuiApplication::overrideCursor() != nullptr;
            if (script.onStep)
                script.onStep();
            if (++script.stepsTaken == script.cancelAt && script.started[work].lockedInAfter < 0)
                throw Cancelled();
        }
        void lockIn(const QString &label) override
        {
            script.started[work].lockedInAfter = script.stepsTaken;
            script.started[work].lockedInLabel = label;
        }
    };
};

struct FakePlatform {
    ScriptedMessageBox messageBox;
    RecordingExit exit;
    ScriptedDialogs dialogs;
    FileLayer files;
    RecordingShell shell;
    RecordingPrinter printer;
    ScriptedProgress progress;
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
        s.printer = &printer;
        s.progress = &progress;
        s.registry = &registry;
        s.fileSearch = &fileSearch;
        s.programStart = &programStart;
        return s;
    }
};

} // namespace vellumo::test
