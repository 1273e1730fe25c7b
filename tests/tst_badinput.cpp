// Whatever file, name or registry value the program meets: each row of the matrix loads
// a file and saves the text back to it as a user (never root) would, and states what the user
// sees; nothing else may change. Hostile values never reach a shell.

#include "about/SysInfo.h"
#include "about/frmAbout.h"
#include "app/Identity.h"
#include "app/frmMain.h"
#include "platform/files/CodePage.h"
#include "platform/files/FileLayer.h"
#include "platform/system/FileSearch.h"
#include "platform/system/ProgramStart.h"
#include "platform/textarea/RichTextBox.h"
#include "support/Fakes.h"
#include "support/FaultFixtures.h"
#include "support/FileKinds.h"
#include "support/MainWindowFixture.h"
#include "support/Modal.h"
#include "support/SkipOrFail.h"
#include "support/Unprivileged.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <cerrno>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vellumo;
using namespace vellumo::test;

namespace {

constexpr qint64 kMiB = 1024 * 1024;
const QString kPrecious = QStringLiteral("precious words");
// The room a row at the memory's limit has. 9/32 of it in line breaks needs more: the text
// twice over as UTF-16, and a length for each line noted.
constexpr qint64 kMemoryRowBytes = 64 * kMiB;

// How a row makes its file, beyond the bytes it holds.
enum class Made { Bytes, Unreadable, ReadOnly, InReadOnlyFolder, BeyondMemory, Special };

} // namespace

Q_DECLARE_METATYPE(Made)

class BadInputTest : public MainWindowFixture {
    Q_OBJECT

    // System Info over the scripted registry, finding and starting real programs.
    void runSysInfoOnDisk()
    {
        Services services = platform->services;
        DiskFileSearch search;
        DetachedProgramStart start;
        services.fileSearch = &search;
        services.programStart = &start;
        runSysInfo(services);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(open());
        // The rows run as a user who may create files in here.
        QVERIFY(folder().openToAll());
    }
    void cleanup() { close(); }

    // ---- the matrix

    void loadThenSaveBack_data()
    {
        // made, special: how the test makes `name` (a file of `bytes`, or a special kind).
        // name: the path below the test's folder; ~N stands for a name that makes the whole
        //   path N characters long.
        // loadSees, saveSees: "done", or the reason the failure message gives.
        // saved: the file after the save, when it is done.
        QTest::addColumn<Made>("made");
        QTest::addColumn<FileKind>("special");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("loadSees");
        QTest::addColumn<QString>("saveSees");
        QTest::addColumn<QByteArray>("saved");

        const QString done = QStringLiteral("done");
        const QString in = QStringLiteral("in.txt");
        const QByteArray precious = kPrecious.toLatin1() + "\r\n";
        auto loads = [&](const char *row, const QByteArray &bytes, const QByteArray &saved) {
            QTest::newRow(row) << Made::Bytes << FileKind::Missing << bytes << in << done << done
                               << saved;
        };
        auto special = [&](const char *row, FileKind kind, const QString &loadSees,
                           const QString &saveSees, const QByteArray &saved = {}) {
            QTest::newRow(row) << Made::Special << kind << QByteArray() << in << loadSees
                               << saveSees << saved;
        };
        auto hello = [&](const char *row, Made made, const QString &name, const QString &loadSees,
                         const QString &saveSees) {
            QTest::newRow(row) << made << FileKind::Missing << QByteArray("hello") << name
                               << loadSees << saveSees
                               << (saveSees == done ? QByteArray("hello\r\n") : QByteArray());
        };
        loads("empty file", "", "\r\n");
        for (int b = 0; b < 256; ++b) {
            const QByteArray one(1, char(b));
            QTest::addRow("one byte 0x%02X", b)
                << Made::Bytes << FileKind::Missing << one << in << done << done << one + "\r\n";
        }
        loads("NUL bytes", QByteArray("\0a\0\0b\0", 6), QByteArray("\0a\0\0b\0\r\n", 8));
        loads("no final line break", "first\r\nlast", "first\r\nlast\r\n");
        // Line breaks come back in the form the file used first.
        loads("mixed line breaks, CR LF first", "a\r\nb\nc\rd", "a\r\nb\r\nc\r\nd\r\n");
        loads("mixed line breaks, LF first", "a\nb\r\nc\rd\n", "a\nb\nc\nd\n\r\n");
        loads("lone CR at the end", "text\r", "text\r\r\n");
        // The area is filled a mebibyte of whole lines at a time.
        const QByteArray part((1 << 20) - 1, 'x');
        loads("CR LF across the end of a part", part + "\r\ny", part + "\r\ny\r\n");
        loads("CR at the end of a part", part + "\ryz", part + "\ryz\r\n");
        loads("line longer than a part", part + "xx\ny", part + "xx\ny\r\n");
        loads("CR ending a line longer than a part", part + "xx\r", part + "xx\r\r\n");
        // What the area cannot hold is refused; saving then writes what the area holds.
        special("file larger than the area holds", FileKind::Oversized,
                "the text area takes at most 2147483646", done, precious);
        special("file larger than the machine has available", FileKind::Huge, "is available", done,
                precious);
        // Here the process may take less than the text needs, and start no thread: the program
        // says so, keeps the old text and goes on, and a small file (the one just saved) loads
        // under the same limits.
        QTest::newRow("file larger than memory allows")
            << Made::BeyondMemory << FileKind::Missing << QByteArray() << in << "is available"
            << done << precious;
        special("directory", FileKind::Folder, "Is a directory", "Is a directory");
        special("FIFO", FileKind::Fifo, "Not a regular file", "Not a regular file");
        special("/dev/zero", FileKind::Device, "Not a regular file", "Not a regular file");
        // The link stays; the file it names is made.
        special("dangling symbolic link", FileKind::DanglingLink, "No such file or directory", done,
                precious);
        special("symbolic link loop", FileKind::LinkLoop, "Too many levels of symbolic links",
                "Too many levels of symbolic links");
        hello("blanks, non-ASCII and a leading dash", Made::Bytes,
              QString::fromUtf8("-my n\xC3\xB6tes \xE2\x82\xAC.txt"), done, done);
        hello("path of 260 characters", Made::Bytes, "~260", done, done);
        // The file dialogs take names of up to 260 characters.
        const QString tooLong = QStringLiteral("is longer than 260 characters");
        hello("path of 261 characters", Made::Bytes, "~261", tooLong, tooLong);
        // Fewer characters than that, but as many bytes as a name may have, and one more.
        hello("name of 128 characters, 255 bytes", Made::Bytes, QString(127, QChar(0xE9)) + u'x',
              done, done);
        hello("name of 128 characters, 256 bytes", Made::Special, QString(128, QChar(0xE9)),
              "File name too long", "File name too long");
        const QString denied = QStringLiteral("Permission denied");
        hello("unreadable file", Made::Unreadable, in, denied, denied);
        hello("file in a read-only folder", Made::InReadOnlyFolder, "ro/in.txt", done, denied);
        hello("read-only file", Made::ReadOnly, in, done, denied);
    }
    void loadThenSaveBack()
    {
        QFETCH(Made, made);
        QFETCH(FileKind, special);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(QString, loadSees);
        QFETCH(QString, saveSees);
        QFETCH(QByteArray, saved);

        QString target = path(name);
        if (name.startsWith(u'~')) {
            const int length = name.mid(1).toInt();
            const int room = length - int(path().size()) - 1;
            if (room < 5 || room > 255)
                SKIP_OR_FAIL(
                    QStringLiteral("the temporary folder's path is too long for this row"));
            target = path(QString(room - 4, u'p') + ".txt");
            QCOMPARE(target.size(), length);
        }
        const QString folder = QFileInfo(target).absolutePath();
        switch (made) {
        case Made::Special:
            target = makeFile(special, folder, QFileInfo(target).fileName());
            QVERIFY(!target.isEmpty());
            break;
        case Made::InReadOnlyFolder:
            QVERIFY(QDir().mkdir(folder));
            [[fallthrough]];
        case Made::Bytes:
        case Made::Unreadable:
        case Made::ReadOnly:
            QVERIFY(writeFile(target, bytes));
            break;
        case Made::BeyondMemory:
#ifdef VELLUMO_SANITIZED
            QSKIP("the sanitizers' shadow memory takes more address space than any limit leaves");
#endif
            QVERIFY(writeFile(target, QByteArray(kMemoryRowBytes * 9 / 32, '\n')));
            break;
        }
        if (made != Made::Special || special == FileKind::Oversized || special == FileKind::Huge)
            QVERIFY(giveToUnprivileged(target));
        if (made == Made::Unreadable || made == Made::ReadOnly)
            QVERIFY(::chmod(native(target).constData(), made == Made::ReadOnly ? 0444 : 0) == 0);
        if (made == Made::InReadOnlyFolder)
            QVERIFY(::chmod(native(folder).constData(), 0555) == 0);
        // The file a save writes.
        const QString real =
            special == FileKind::DanglingLink ? QFile::symLinkTarget(target) : target;
        // Where the file lies in the test's folder, one snapshot serves for both: hashing a large
        // file twice over cost seconds.
        const bool topFolder = folder == path();
        auto topBefore = folderSnapshot(path());
        auto folderBefore = topFolder ? topBefore : folderSnapshot(folder);

        window->RichTextBox1()->setText(kPrecious);
        const ChildResult result = runAsNobody(
            [&] {
                QStringList seen;
                // Room for what runs already and for less than the text needs, and no thread.
                if (made == Made::BeyondMemory && !limitAddressSpace(kMemoryRowBytes))
                    return QStringLiteral("cannot limit the address space");
                const rlimit noThread{0, 0};
                if (made == Made::BeyondMemory && ::setrlimit(RLIMIT_NPROC, &noThread) != 0)
                    return QStringLiteral("cannot limit the threads");
                platform->dialogs.choose(target);
                menuItem("Load")->trigger();
                menuItem("Save")->trigger();
                seen << platform->messageBox.shown();
                const QString text = window->RichTextBox1()->text();
                seen << (text == kPrecious ? QStringLiteral("area kept")
                                           : QStringLiteral("area %1").arg(text.size()));
                if (made == Made::BeyondMemory) {
                    platform->messageBox.calls.clear();
                    menuItem("Load")->trigger();
                    seen << platform->messageBox.shown();
                    const QString again = window->RichTextBox1()->text();
                    seen << (again == kPrecious + QStringLiteral("\r\n")
                                 ? QStringLiteral("area reloaded")
                                 : QStringLiteral("area %1").arg(again.size()));
                }
                return seen.join(u'\n');
            },
            30000);
        QVERIFY2(result.finished(), qPrintable(result.describe()));
        const QStringList seen = result.report.split(u'\n');
        QCOMPARE(seen.size(), made == Made::BeyondMemory ? 5 : 3);

        // A failure names the file and says why.
        auto failed = [&target](const QString &box, const QString &command, const QString &why) {
            return box.startsWith(command + QStringLiteral(" failed|")) &&
                   box.contains(u'"' + target + u'"') && box.endsWith(why + u'.');
        };
        if (loadSees == "done") {
            QCOMPARE(seen[0], QStringLiteral("Load Successful|Text has been loaded"));
        } else if (made == Made::BeyondMemory) {
            QVERIFY2(failed(seen[0], "Load", loadSees), qPrintable(seen[0]));
            QCOMPARE(seen[2], QStringLiteral("area kept"));
            QCOMPARE(seen[3], QStringLiteral("Load Successful|Text has been loaded"));
            QCOMPARE(seen[4], QStringLiteral("area reloaded"));
        } else {
            QVERIFY2(failed(seen[0], "Load", loadSees), qPrintable(seen[0]));
            QCOMPARE(seen[2], QStringLiteral("area kept"));
        }
        if (saveSees == "done") {
            QCOMPARE(seen[1], QStringLiteral("Save Successful|Text has been Saved"));
            QVERIFY2(readFile(real) == saved, readFile(real).toHex().constData());
        } else {
            QVERIFY2(failed(seen[1], "Save", saveSees), qPrintable(seen[1]));
        }

        // Nothing but the saved file changed; no temporary file stayed.
        auto topAfter = folderSnapshot(path());
        auto folderAfter = topFolder ? topAfter : folderSnapshot(folder);
        if (saveSees == "done") {
            for (auto *snapshot : {&topBefore, &topAfter, &folderBefore, &folderAfter})
                snapshot->remove(QFileInfo(real).fileName());
        }
        QCOMPARE(topAfter, topBefore);
        QCOMPARE(folderAfter, folderBefore);
        if (special == FileKind::Device) {
            struct stat st;
            QVERIFY(::stat("/dev/zero", &st) == 0 && S_ISCHR(st.st_mode));
        }
        if (special == FileKind::DanglingLink)
            QCOMPARE(QFile::symLinkTarget(target), real);
    }

    // ---- what reaches the system

    // A shell given any of these would make the marker file. The tool path from the registry
    // is one program path, so each names a program that is not there, and nothing starts.
    void registryValuesNeverReachAShell_data()
    {
        QTest::addColumn<QString>("value"); // %M stands for the marker's path
        QTest::newRow("semicolon") << "/bin/true; touch %M";
        QTest::newRow("and") << "/bin/true && touch %M";
        QTest::newRow("pipe") << "/bin/true | touch %M";
        QTest::newRow("command substitution") << "$(touch %M)";
        QTest::newRow("backquotes") << "`touch %M`";
        QTest::newRow("quotes") << "\"/bin/true\" \"$(touch %M)\"";
        QTest::newRow("leading dash") << "-c 'touch %M'";
        QTest::newRow("line break") << "/bin/true\ntouch %M";
    }
    void registryValuesNeverReachAShell()
    {
        QFETCH(QString, value);
        const QString marker = path(QStringLiteral("marker"));
        value.replace(QStringLiteral("%M"), marker);
        platform->registry.setText(kMsinfoKey, kMsinfoPathValue, value.toStdString());

        // What the start began, detached or not, is this process's to wait for.
        QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0);
        runSysInfoOnDisk();
        QCOMPARE(platform->messageBox.calls.size(), 1);
        QCOMPARE(platform->messageBox.calls[0].prompt, QString::fromLatin1(kSysInfoUnavailable));
        while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
        }
        QVERIFY(!QFile::exists(marker));
    }

    // A program whose path holds every one of those characters starts as itself.
    void toolPathsWithShellCharactersStartAsThemselves_data()
    {
        QTest::addColumn<bool>("asFolder"); // the second lookup: a folder with MSINFO32.EXE
        QTest::newRow("tool path") << false;
        QTest::newRow("tool folder") << true;
    }
    void toolPathsWithShellCharactersStartAsThemselves()
    {
        QFETCH(bool, asFolder);
        const QString marker = path(QStringLiteral("marker"));
        const QString started = path(QStringLiteral("started"));
        const QString folder =
            path(QStringLiteral("tools; touch %1 $(touch %1) `touch %1` 'q' \"dq\" && |-x")
                     .arg(QFileInfo(marker).fileName()));
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + (asFolder ? QStringLiteral("/MSINFO32.EXE")
                                                   : QStringLiteral("/tool -c 'touch x'"));
        QVERIFY(writeArgumentCounter(program, started));
        if (asFolder)
            platform->registry.setText(kSharedToolsKey, kSharedToolsMsinfoValue,
                                       folder.toStdString());
        else
            platform->registry.setText(kMsinfoKey, kMsinfoPathValue, program.toStdString());

        // The shell runs in the tool's folder: a relative "touch" would land there too.
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(path()));
        runSysInfoOnDisk();
        QDir::setCurrent(cwd);
        QVERIFY(platform->messageBox.calls.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 30000);
        QCOMPARE(readFile(started), QByteArray("0\n")); // no arguments either
        QVERIFY(!QFile::exists(marker));
        QVERIFY(!QFile::exists(path("x")));
    }
};

MAIN_WINDOW_TEST_MAIN(BadInputTest)

#include "tst_badinput.moc"
