#include "about/SysInfo.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/system/FileSearch.h"
#include "platform/system/ProgramStart.h"
#include "platform/system/Registry.h"
#include "support/Fakes.h"
#include "support/FaultFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace vellumo;
using namespace vellumo::test;

namespace {

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

// The keys opened, in order, as the registry log names them.
QStringList openedKeys(const ScriptedRegistry &registry)
{
    QStringList keys;
    for (const QString &line : registry.log)
        if (line.startsWith(QLatin1String("open ")))
            keys << line.section(QLatin1Char(' '), 2, -3);
    return keys;
}

} // namespace

class SysInfoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsToolOrSaysUnavailable_data()
    {
        QTest::addColumn<int>("pathType"); // -1: no "PATH" value
        QTest::addColumn<QByteArray>("pathData");
        QTest::addColumn<int>("folderType"); // -1: no "MSINFO" value
        QTest::addColumn<QByteArray>("folderData");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("searches");
        QTest::addColumn<QStringList>("starts");

        const int none = -1;
        const int text = int(kRegSz);
        const QStringList noFiles;
        const QStringList nothing;
        const QStringList first{QString::fromLatin1(kMsinfoKey)};
        const QStringList both{QString::fromLatin1(kMsinfoKey), kSharedToolsKey};

        QTest::newRow("tool path")
            << text << QByteArray("C:\\Tools\\info.exe\0", 18) << none << QByteArray() << noFiles
            << first << nothing << QStringList{"C:\\Tools\\info.exe 1"};
        QTest::newRow("tool path with blanks is one path")
            << text << QByteArray("C:\\Program Files\\X\\tool.exe") << none << QByteArray()
            << noFiles << first << nothing << QStringList{"C:\\Program Files\\X\\tool.exe 1"};
        QTest::newRow("tool path to a missing file")
            << text << QByteArray("C:\\Gone\\missing.exe") << text << QByteArray("C:\\Shared")
            << QStringList{"C:\\Shared\\MSINFO32.EXE"} << first << nothing
            << QStringList{"C:\\Gone\\missing.exe 1"};
        QTest::newRow("tool path as expandable text")
            << int(kRegExpandSz) << QByteArray("%ProgramFiles%\\x.exe") << text
            << QByteArray("C:\\Shared") << noFiles << first << nothing << QStringList{" 1"};
        QTest::newRow("tool path empty") << text << QByteArray(1, '\0') << none << QByteArray()
                                         << noFiles << first << nothing << QStringList{" 1"};
        QTest::newRow("tool path with no data")
            << text << QByteArray() << text << QByteArray("C:\\Shared")
            << QStringList{"C:\\Shared\\MSINFO32.EXE"} << first << nothing << nothing;
        QTest::newRow("tool path too long, folder holds program")
            << text << QByteArray(1025, 'x') << text << QByteArray("C:\\Shared\0", 10)
            << QStringList{"C:\\Shared\\MSINFO32.EXE"} << both
            << QStringList{"C:\\Shared\\MSINFO32.EXE 0"}
            << QStringList{"C:\\Shared\\MSINFO32.EXE 1"};
        QTest::newRow("folder holds program")
            << none << QByteArray() << text << QByteArray("C:\\Shared Tools\\MSInfo")
            << QStringList{"C:\\Shared Tools\\MSInfo\\MSINFO32.EXE"} << both
            << QStringList{"C:\\Shared Tools\\MSInfo\\MSINFO32.EXE 0"}
            << QStringList{"C:\\Shared Tools\\MSInfo\\MSINFO32.EXE 1"};
        QTest::newRow("folder ending in backslash joined unchanged")
            << none << QByteArray() << text << QByteArray("C:\\Shared\\")
            << QStringList{"C:\\Shared\\\\MSINFO32.EXE"} << both
            << QStringList{"C:\\Shared\\\\MSINFO32.EXE 0"}
            << QStringList{"C:\\Shared\\\\MSINFO32.EXE 1"};
        QTest::newRow("folder lacks program")
            << none << QByteArray() << text << QByteArray("C:\\Shared") << noFiles << both
            << QStringList{"C:\\Shared\\MSINFO32.EXE 0"} << nothing;
        QTest::newRow("folder as expandable text")
            << none << QByteArray() << int(kRegExpandSz) << QByteArray("C:\\Shared") << noFiles
            << both << QStringList{"\\MSINFO32.EXE 0"} << nothing;
        QTest::newRow("folder with no data") << none << QByteArray() << text << QByteArray()
                                             << noFiles << both << nothing << nothing;
        QTest::newRow("neither location") << none << QByteArray() << none << QByteArray() << noFiles
                                          << both << nothing << nothing;
    }
    void startsToolOrSaysUnavailable()
    {
        QFETCH(int, pathType);
        QFETCH(QByteArray, pathData);
        QFETCH(int, folderType);
        QFETCH(QByteArray, folderData);
        QFETCH(QStringList, files);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, searches);
        QFETCH(QStringList, starts);

        FakePlatform p;
        if (pathType >= 0)
            p.registry.setValue(kMsinfoKey, kMsinfoPathValue, pathType, pathData.toStdString());
        if (folderType >= 0)
            p.registry.setValue(kSharedToolsKey, kSharedToolsMsinfoValue, folderType,
                                folderData.toStdString());
        for (const QString &f : files)
            p.fileSearch.files << f;
        // Everything that exists can be started; anything else fails to start.
        p.programStart.programs = p.fileSearch.files;
        p.programStart.programs << "C:\\Tools\\info.exe"
                                << "C:\\Program Files\\X\\tool.exe";

        runSysInfo(p.services);

        QCOMPARE(openedKeys(p.registry), keys);
        QCOMPARE(p.fileSearch.searches, searches);
        QCOMPARE(p.programStart.starts, starts);
        const bool started =
            !starts.isEmpty() && p.programStart.programs.contains(starts.last().chopped(2));
        QCOMPARE(p.messageBox.calls.size(), started ? 0 : 1);
        if (!started) {
            QCOMPARE(p.messageBox.calls[0].prompt, kUnavailable);
            QCOMPARE(p.messageBox.calls[0].style, MsgStyle::OkOnly);
            QCOMPARE(p.messageBox.calls[0].title, QString());
        }
    }

    void everyFailureEndsInTheMessage_data()
    {
        QTest::addColumn<bool>("registryUnbound");
        QTest::addColumn<bool>("searchFails");
        QTest::newRow("registry cannot be bound") << true << false;
        QTest::newRow("folder cannot be searched") << false << true;
    }
    void everyFailureEndsInTheMessage()
    {
        QFETCH(bool, registryUnbound);
        QFETCH(bool, searchFails);
        FakePlatform p;
        p.registry.setText(kSharedToolsKey, kSharedToolsMsinfoValue, "C:\\Shared");
        p.fileSearch.files << "C:\\Shared\\MSINFO32.EXE";
        p.programStart.programs << "C:\\Shared\\MSINFO32.EXE";
        p.registry.unbound = registryUnbound;
        p.fileSearch.fails = searchFails;

        runSysInfo(p.services);

        QCOMPARE(p.programStart.starts, QStringList());
        QCOMPARE(p.messageBox.calls.size(), 1);
        QCOMPARE(p.messageBox.calls[0].prompt, kUnavailable);
    }

    // With no About window shown, the message goes over the window that owns
    // the About object.
    void withNoWindowShownTheMessageIsOverTheOwner()
    {
        FakePlatform p;
        QWidget owner;
        runSysInfo(p.services, &owner);
        QCOMPARE(p.messageBox.calls.size(), 1);
        QCOMPARE(p.messageBox.calls[0].prompt, kUnavailable);
        QCOMPARE(p.messageBox.calls[0].owner, &owner);
    }

    // Nothing is remembered: each press searches again from the first location.
    void eachRunSearchesAfresh()
    {
        FakePlatform p;
        runSysInfo(p.services);
        runSysInfo(p.services);
        QCOMPARE(p.messageBox.calls.size(), 2);
        QCOMPARE(p.registry.log.size(), 8);
        QCOMPARE(p.registry.log.mid(4), p.registry.log.mid(0, 4));

        p.registry.setText(kMsinfoKey, kMsinfoPathValue, "C:\\Tools\\info.exe");
        p.programStart.programs << "C:\\Tools\\info.exe";
        runSysInfo(p.services);
        QCOMPARE(p.programStart.starts, QStringList{"C:\\Tools\\info.exe 1"});
        QCOMPARE(p.messageBox.calls.size(), 2);
    }

    // Where there is no registry, the stand-in's path reaches the start as it was found,
    // whatever characters it holds.
    void startsToolFoundByStandIn()
    {
        FakePlatform p;
        const QString tool = QStringLiteral("/opt/Werkzeug Übersicht/info");
        StandInRegistry standIn({"info"}, [&tool](const std::string &) {
            return QFile::encodeName(tool).toStdString();
        });
        p.services.registry = &standIn;
        p.programStart.programs << tool;
        runSysInfo(p.services);
        QCOMPARE(p.programStart.starts, QStringList{tool + " 1"});
        QVERIFY(p.messageBox.calls.isEmpty());
    }

    void fileSearchFindsNormalFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("attributes");
        QTest::addColumn<QString>("found");
        QTest::newRow("file") << "Shared/MSINFO32.EXE" << 0 << "MSINFO32.EXE";
        QTest::newRow("backslashes separate") << "Shared\\MSINFO32.EXE" << 0 << "MSINFO32.EXE";
        QTest::newRow("doubled backslash") << "Shared\\\\MSINFO32.EXE" << 0 << "MSINFO32.EXE";
        QTest::newRow("missing file") << "Shared\\NONE.EXE" << 0 << "";
        QTest::newRow("missing folder") << "Gone\\MSINFO32.EXE" << 0 << "";
        QTest::newRow("name differs in case") << "Shared\\msinfo32.exe" << 0 << "";
        QTest::newRow("folder") << "Shared\\Folder.exe" << 0 << "";
        QTest::newRow("folder when asked") << "Shared\\Folder.exe" << 16 << "Folder.exe";
        QTest::newRow("hidden file") << "Shared\\.hidden" << 0 << "";
        QTest::newRow("hidden file when asked") << "Shared\\.hidden" << 2 << ".hidden";
    }
    void fileSearchFindsNormalFiles()
    {
        QFETCH(QString, path);
        QFETCH(int, attributes);
        QFETCH(QString, found);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("Shared/Folder.exe"));
        QVERIFY(writeScript(dir.filePath("Shared/MSINFO32.EXE"), ""));
        QVERIFY(writeScript(dir.filePath("Shared/.hidden"), ""));
        DiskFileSearch search;
        QCOMPARE(search.find(dir.path() + "\\" + path, attributes), found);
    }

    void fileSearchRefusesWhatIsNoPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("empty") << QString();
        QTest::newRow("with a zero") << QStringLiteral("/bin/sh") + QChar(0) + "\\MSINFO32.EXE";
    }
    void fileSearchRefusesWhatIsNoPath()
    {
        QFETCH(QString, path);
        DiskFileSearch search;
        QVERIFY_THROWS_EXCEPTION(Failure, search.find(path, 0));
    }

    // The started program sees no arguments: the path is never split at blanks, and '\'
    // separates. A decoy at the path's first word shows a split.
    void programStartsAsOnePath_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("blanks") << "My Tools/info tool";
        QTest::newRow("backslashes") << "My Tools\\info tool";
    }
    void programStartsAsOnePath()
    {
        QFETCH(QString, relative);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("My Tools"));
        const QString marker = dir.filePath("started");
        QVERIFY(writeArgumentCounter(dir.filePath("My Tools/info tool"), marker));
        QVERIFY(
            writeScript(dir.filePath("My"), "echo split > '" + QFile::encodeName(marker) + "'\n"));

        DetachedProgramStart().start(dir.path() + "/" + relative, ShowState::Normal);

        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 30000);
        QCOMPARE(readFile(marker), QByteArray("0\n"));
    }

    void programStartFailsWithReason_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing file") << "/nonexistent/Vellumo/info.exe";
        QTest::newRow("empty path") << QString();
        QTest::newRow("folder") << "/";
        QTest::newRow("not executable") << "TEXT";
        QTest::newRow("with a zero") << QStringLiteral("/bin/true") + QChar(0) + "x";
    }
    void programStartFailsWithReason()
    {
        QFETCH(QString, path);
        QTemporaryDir dir;
        const QString text = dir.filePath("notes.txt");
        QVERIFY(writeFile(text, {}));
        if (path == "TEXT")
            path = text;
        try {
            DetachedProgramStart().start(path, ShowState::Normal);
            QFAIL("the start did not fail");
        } catch (const Failure &failure) {
            QVERIFY2(failure.message().startsWith("Cannot start \"" + path + "\": "),
                     qPrintable(failure.message()));
            QVERIFY(failure.message().size() > path.size() + 17);
        }
    }
};

QTEST_MAIN(SysInfoTest)
#include "tst_sysinfo.moc"
