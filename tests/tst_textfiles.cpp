#include "app/Identity.h"
#include "app/frmMain.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/textarea/RichTextBox.h"
#include "support/Fakes.h"
#include "support/FaultFixtures.h"
#include "support/FileKinds.h"
#include "support/MainWindowFixture.h"
#include "support/Modal.h"
#include "support/TextFormats.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>

using namespace vellumo;
using namespace vellumo::test;

namespace {

// Every byte value once, with the line breaks all alike (one CR LF).
QByteArray everyByte()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            bytes.append(char(b));
    bytes.insert(100, "\r\n");
    return bytes;
}

enum class Command { Load, Save, Print };

// The megabytes the process holds, once it is at most `atMost` or half a minute has gone, the
// event loop waiting for events meanwhile, as the program's does when idle.
qint64 residentOnceIdle(qint64 atMost)
{
    const auto resident = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
        const qsizetype at = text.indexOf("VmRSS:");
        return at < 0 ? -1 : text.mid(at + 6).trimmed().split(' ').value(0).toLongLong() >> 10;
    };
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (resident() <= atMost)
            loop.quit();
    });
    check.start(50);
    QTimer::singleShot(atMost > 0 ? 30000 : 200, &loop, &QEventLoop::quit);
    loop.exec();
    return resident();
}

} // namespace

Q_DECLARE_METATYPE(Command)

class TextFilesTest : public MainWindowFixture {
    Q_OBJECT

    RichTextBox *area() { return window->RichTextBox1(); }
    void click(const char *button)
    {
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    }
    void menu(const char *item) { menuItem(item)->trigger(); }
    // Loads through the Load button, choosing `file` in the dialog.
    void load(const QString &file)
    {
        platform->dialogs.choose(file);
        click("cmdLoad");
    }
    void save(const QString &file)
    {
        platform->dialogs.choose(file);
        click("cmdSave");
    }
    QStringList boxTitles() const { return platform->messageBox.shown(false); }

private Q_SLOTS:
    void init() { QVERIFY(open()); }
    void cleanup() { close(); }

    // ---- bytes in, bytes out

    void loadedFilesSaveBackByteForByteWithCrLfAdded_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("every byte value") << everyByte();
        QTest::newRow("CR LF lines") << QByteArray("one\r\ntwo\r\n\r\nthree\r\n");
        QTest::newRow("LF lines") << QByteArray("one\ntwo\n\nthree\n");
        QTest::newRow("CR lines") << QByteArray("one\rtwo\r\rthree");
        QTest::newRow("no-break spaces") << QByteArray("a\xA0\xA0 b\r\n\xA0");
    }
    void loadedFilesSaveBackByteForByteWithCrLfAdded()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(writeFile(path("in.txt"), bytes));
        load(path("in.txt"));
        QCOMPARE(window->loadedText().size(), bytes.size());
        save(path("out.txt"));
        QCOMPARE(readFile(path("out.txt")), bytes + "\r\n");
        QVERIFY(platform->messageBox.calls.isEmpty());
    }

    void cp1252LettersShowAsTheirCharacters()
    {
        QVERIFY(writeFile(path("w.txt"), "\x80 \x99 \x8C \xE9 \x81"));
        load(path("w.txt"));
        QCOMPARE(area()->text(), QStringLiteral("\u20AC \u2122 \u0152 \u00E9 \u0081"));
    }

    void formattingIsNeverSavedAndLoadingDropsIt()
    {
        QVERIFY(writeFile(path("f.txt"), "plain words"));
        load(path("f.txt"));
        area()->selectAll();
        area()->setSelColor(0x0000FF);
        area()->setSelBold(true);
        save(path("f.txt"));
        QCOMPARE(readFile(path("f.txt")), QByteArray("plain words\r\n"));
        load(path("f.txt"));
        QTextCursor c(area()->document());
        c.setPosition(3);
        QVERIFY(!c.charFormat().hasProperty(QTextFormat::ForegroundBrush));
        QVERIFY(!c.charFormat().hasProperty(QTextFormat::FontWeight));
    }

    void stateRemembersTheFileNumberAndLoadedText()
    {
        QVERIFY(writeFile(path("s.txt"), "kept\r\n"));
        load(path("s.txt"));
        QCOMPARE(window->fileNumber(), 1);
        QCOMPARE(window->loadedText(), QByteArray("kept\r\n"));
        area()->setText(QStringLiteral("edited"));
        QCOMPARE(window->loadedText(), QByteArray("kept\r\n"));
    }

    void aQuarterGigabyteFileLoadsWholeAndSavesBack()
    {
#ifdef VELLUMO_SANITIZED
        QSKIP("a 256 MB text needs several times the memory and minutes under the sanitizers");
#endif
        // 256 MB of lines and a last one without a line end.
        const qint64 before = residentOnceIdle(0);
        const qint64 lines = qint64(4) << 20;
        const QByteArray savedBack = writeNumberedLines(path("huge.txt"), lines * 64 + 9);
        QVERIFY(!savedBack.isEmpty());
        load(path("huge.txt"));
        QVERIFY(platform->messageBox.calls.isEmpty());
        QCOMPARE(qint64(window->loadedText().size()), lines * 64 + 9);
        // Every CR LF is one character in the area, and the document counts one more.
        QCOMPARE(qint64(area()->document()->characterCount()), lines * 63 + 9 + 1);
        QVERIFY(area()->document()->lastBlock().text().endsWith(QStringLiteral("0........")));
        // Its progress went forward, over the main window, in many small steps.
        QCOMPARE(platform->progress.started.size(), 1);
        const auto &work = platform->progress.started.first();
        QCOMPARE(work.owner, window.get());
        QVERIFY2(work.label.contains(path("huge.txt")), qPrintable(work.label));
        QVERIFY2(work.steps.size() > 100, qPrintable(QString::number(work.steps.size())));
        QVERIFY(std::is_sorted(work.steps.begin(), work.steps.end()));
        QVERIFY(work.steps.first() >= 0 && work.steps.last() <= 1 && work.steps.last() > 0.99);
        save(path("huge.txt"));
        QVERIFY(platform->messageBox.calls.isEmpty());
        QCOMPARE(sha1Of(path("huge.txt")), savedBack);

        // The memory of a text replaced is given back once the window idles: a load over it
        // holds no more than the first load did, and Reset no more than the loaded bytes (with
        // 64 MB for the allocator's and Qt's own keeping).
        const qint64 once = residentOnceIdle(0);
        load(path("huge.txt"));
        QVERIFY2(residentOnceIdle(once + 64) <= once + 64, "the text loaded before stays");
        menu("Reset");
        const qint64 kept = before + window->loadedText().size() / (1 << 20) + 64;
        QVERIFY2(residentOnceIdle(kept) <= kept, "the text emptied stays");
    }

    // ---- Cancel: the work is undone, and nothing is said

    void cancelledCommandsLeaveEverythingAsItWas_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<int>("cancelAt");
        // A load's steps come as the area fills, while the worker still reads; a save takes one
        // to look for characters a file cannot hold and one to write; a print one to read the
        // area and one before its document is handed over.
        QTest::newRow("load, reading") << Command::Load << 1;
        QTest::newRow("load, filling the area") << Command::Load << 2;
        QTest::newRow("load, several runs in") << Command::Load << 6;
        QTest::newRow("save, checking the text") << Command::Save << 1;
        QTest::newRow("save, writing") << Command::Save << 2;
        QTest::newRow("print, reading the area") << Command::Print << 1;
        QTest::newRow("print, before handing over") << Command::Print << 2;
    }
    void cancelledCommandsLeaveEverythingAsItWas()
    {
        QFETCH(Command, command);
        QFETCH(int, cancelAt);
        const char *item = command == Command::Load   ? "Load"
                           : command == Command::Save ? "Save"
                                                      : "Print";
        QVERIFY(writeFile(path("old.txt"), "old file"));
        QVERIFY(writeFile(path("new.txt"), QByteArray("new text\n").repeated(1 << 20)));
        platform->dialogs.choose(path(command == Command::Load ? "new.txt" : "old.txt"));
        platform->printer.onDialog = [](int &copies) {
            copies = 1;
            return true;
        };
        area()->setText(QStringLiteral("precious"));
        selectRange(*area(), 0, 4);
        area()->setSelColor(0x0000FF);
        const CharFormats formats = charFormats(*area());
        platform->progress.cancelAt = cancelAt;

        menu(item);
        QVERIFY(platform->messageBox.calls.isEmpty()); // no confirmation, no failure
        QCOMPARE(platform->progress.stepsTaken, cancelAt);
        QCOMPARE(platform->progress.started.last().owner, window.get());
        QCOMPARE(area()->text(), QStringLiteral("precious"));
        QCOMPARE(charFormats(*area()), formats);
        QVERIFY(window->loadedText().isEmpty());
        QCOMPARE(readFile(path("old.txt")), QByteArray("old file"));
        QCOMPARE(QDir(path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"new.txt", "old.txt"})); // no temporary file
        QVERIFY(platform->printer.documents.isEmpty());

        // Nothing was left open or half done: the same command goes through now.
        platform->progress.cancelAt = 0;
        menu(item);
        QCOMPARE(platform->messageBox.calls.size(), command == Command::Print ? 0 : 1);
        QCOMPARE(window->fileNumber(), command == Command::Print ? 0 : 1);
        switch (command) {
        case Command::Load:
            QCOMPARE(area()->text(), QStringLiteral("new text\n").repeated(1 << 20));
            break;
        case Command::Save:
            QCOMPARE(readFile(path("old.txt")), QByteArray("precious\r\n"));
            break;
        case Command::Print:
            QCOMPARE(platform->printer.documents.size(), 1);
            break;
        }
    }

    // The work lets events through to paint the window; what else the user does meanwhile
    // (a button, a menu, the close control) waits, and nothing of it starts.
    void noOtherCommandStartsWhileOneRuns()
    {
        QVERIFY(writeFile(path("a.txt"), "loaded"));
        platform->dialogs.choose(path("a.txt"));
        bool stillShown = true;
        platform->progress.onStep = [&] {
            platform->progress.onStep = nullptr;
            click("cmdSave");
            menu("Print");
            menu("Exit");
            stillShown = !window->close() && window->isVisible();
        };
        menu("Load");
        QVERIFY(stillShown);
        QCOMPARE(platform->dialogs.owners.size(), 1); // the open dialog only
        QVERIFY(platform->printer.dialogOwners.isEmpty());
        QCOMPARE(boxTitles(), QStringList{"Load Successful"}); // and no "Quit?"
        QCOMPARE(area()->text(), QStringLiteral("loaded"));
        QVERIFY(platform->exit.codes.isEmpty());
    }

    // ---- confirmations

    void menuConfirmsOnlyWhatHappened()
    {
        QVERIFY(writeFile(path("c.txt"), "text"));
        platform->dialogs.choose(path("c.txt"));
        menu("Load");
        menu("Save");
        QCOMPARE(boxTitles(), (QStringList{"Load Successful", "Save Successful"}));
        QCOMPARE(platform->messageBox.calls[0].prompt, QStringLiteral("Text has been loaded"));
        QCOMPARE(platform->messageBox.calls[1].prompt, QStringLiteral("Text has been Saved"));
        QCOMPARE(platform->messageBox.calls[0].style, 0);
        QCOMPARE(platform->messageBox.calls[1].style, 0);

        platform->messageBox.calls.clear();
        platform->dialogs.onOpen = nullptr; // cancel
        platform->dialogs.onSave = nullptr;
        area()->setText(QStringLiteral("unchanged"));
        menu("Load");
        menu("Save");
        QVERIFY(platform->messageBox.calls.isEmpty());
        QCOMPARE(area()->text(), QStringLiteral("unchanged"));
        QCOMPARE(readFile(path("c.txt")), QByteArray("text\r\n"));
    }

    // ---- failures: one message that names the file and the reason; nothing lost

    void unloadableFilesAreRefusedAndTheAreaKept_data()
    {
        QTest::addColumn<FileKind>("kind");
        QTest::addColumn<QString>("reason");
        // Folders, pipes and devices: in tst_badinput.
        QTest::newRow("missing") << FileKind::Missing << "No such file or directory";
        QTest::newRow("too large") << FileKind::Oversized
                                   << "the file holds 2147483648 characters, and the text area "
                                      "takes at most 2147483646.";
    }
    void unloadableFilesAreRefusedAndTheAreaKept()
    {
        QFETCH(FileKind, kind);
        QFETCH(QString, reason);
        const QString target = makeFile(kind, path(), QStringLiteral("target.txt"));
        QVERIFY(!target.isEmpty());
        area()->setText(QStringLiteral("precious"));
        platform->dialogs.choose(target);
        menu("Load");
        QCOMPARE(platform->messageBox.calls.size(), 1);
        const auto call = platform->messageBox.calls.first();
        QCOMPARE(call.title, QStringLiteral("Load failed"));
        QCOMPARE(call.style, MsgStyle::OkOnly | MsgStyle::Critical);
        QVERIFY2(call.prompt.contains(target), qPrintable(call.prompt));
        QVERIFY2(call.prompt.contains(reason), qPrintable(call.prompt));
        QCOMPARE(area()->text(), QStringLiteral("precious"));
        // The failed file is not left open: the next load gets number 1 again.
        QVERIFY(writeFile(path("ok.txt"), "fine"));
        load(path("ok.txt"));
        QCOMPARE(window->fileNumber(), 1);
        QCOMPARE(area()->text(), QStringLiteral("fine"));
    }

    // ---- characters a Windows-1252 file cannot hold

    void lossyTextAsksFirstAndNoWritesNothing()
    {
        QVERIFY(writeFile(path("q.txt"), "old"));
        area()->setText(QStringLiteral("ok \u03A9 and \U0001F600"));
        platform->messageBox.answers = {kAnswerNo};
        platform->dialogs.choose(path("q.txt"));
        menu("Save");
        QCOMPARE(platform->messageBox.calls.size(), 1); // the question, no confirmation
        const auto question = platform->messageBox.calls.first();
        QCOMPARE(question.style,
                 MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2);
        QCOMPARE(question.prompt,
                 QStringLiteral("The text holds characters that a Windows-1252 file cannot hold, "
                                "the first being \u201C\u03A9\u201D (U+03A9).\n\nSave \"%1\" "
                                "anyway, with each of them replaced by \"?\"?")
                     .arg(path("q.txt")));
        QCOMPARE(readFile(path("q.txt")), QByteArray("old"));

        platform->messageBox.calls.clear();
        platform->messageBox.answers = {kAnswerYes};
        menu("Save");
        QCOMPARE(boxTitles(), (QStringList{"Save", "Save Successful"}));
        QCOMPARE(readFile(path("q.txt")), QByteArray("ok ? and ?\r\n"));

        // Half a pair at the very end, as a cut paste leaves it, is named by its own code.
        area()->setText(QStringLiteral("ok ") + QChar(0xD83D));
        platform->messageBox.answers = {kAnswerNo};
        menu("Save");
        QVERIFY2(platform->messageBox.calls.last().prompt.contains(QStringLiteral("U+D83D")),
                 qPrintable(platform->messageBox.calls.last().prompt));
    }

    // The real question, answered with Enter, takes its default, No: nothing is written.
    void enterOnTheLossyQuestionSavesNothing()
    {
        QtMessageBox real;
        Services services = platform->services;
        services.messageBox = &real;
        QVERIFY(open(services));
        QVERIFY(writeFile(path("q.txt"), "old"));
        area()->setText(QStringLiteral("\u03A9"));
        auto answered = whenModal([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Return); });
        save(path("q.txt"));
        QVERIFY(*answered);
        QCOMPARE(readFile(path("q.txt")), QByteArray("old"));
    }

    // ---- the real file dialog, answered by typing a name

    void realDialogLoadsTheTypedName()
    {
        QVERIFY(writeFile(path("real.txt"), "from disk"));
        QtDialogPresenter real;
        Services services = platform->services;
        services.dialogs = &real;
        frmMain w(services);
        w.show();
        bool typed = false;
        bool closedByReturn = false;
        auto ran = whenModal([&](QWidget *modal) {
            QPointer<QWidget> box = modal;
            auto *fd = qobject_cast<QFileDialog *>(modal);
            // The field that has the focus when the dialog opens takes the name.
            auto *edit = fd ? qobject_cast<QLineEdit *>(fd->focusWidget()) : nullptr;
            if (edit) {
                fd->setDirectory(path());
                QTest::keyClicks(edit, "real.txt");
                QTest::keyClick(edit, Qt::Key_Return);
                typed = true;
                closedByReturn = !(box && box->isVisible());
            }
            if (box && box->isVisible())
                box->close();
        });
        w.findChild<QAction *>("Load")->trigger();
        QVERIFY(*ran);
        QVERIFY2(typed, "the modal window was no file dialog with a name field in focus");
        QVERIFY2(closedByReturn, "Return did not accept the typed name");
        QCOMPARE(w.RichTextBox1()->text(), QStringLiteral("from disk"));
        QCOMPARE(boxTitles(), QStringList{"Load Successful"});
    }
};

MAIN_WINDOW_TEST_MAIN(TextFilesTest)

#include "tst_textfiles.moc"
