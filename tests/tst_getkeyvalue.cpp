#include "about/GetKeyValue.h"
#include "platform/system/Registry.h"
#include "support/SysInfoFakes.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <stdexcept>

using namespace vellumo;
using namespace vellumo::test;

namespace {

const std::string kKey = "SOFTWARE\\Vellumo\\Test";
constexpr char kToolPath[] = "/opt/info tool/info";

QString hex(RegHandle h)
{
    return QString::number(h, 16);
}

QString openLine(const std::string &path)
{
    return QStringLiteral("open %1 %2 0 20019")
        .arg(hex(rootHandle(kHkeyLocalMachine)), QString::fromStdString(path));
}

// Reads through `registry` and reports the outcome as one comparable text.
QString lookup(RegistryLayer &registry, const std::string &path, const std::string &name,
               std::int32_t root = kHkeyLocalMachine)
{
    std::string text;
    const bool read = GetKeyValue(registry, root, path, name, text);
    return QStringLiteral("%1 %2").arg(read).arg(QString::fromStdString(text));
}

} // namespace

class GetKeyValueTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void convertsStoredValue_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("onEntry");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray path = "C:\\Program Files\\Tools\\info.exe";
        QTest::newRow("text with its zero")
            << kRegSz << path + '\0' << QByteArray() << true << path;
        QTest::newRow("text without zero") << kRegSz << path << QByteArray() << true << path;
        QTest::newRow("empty text")
            << kRegSz << QByteArray(1, '\0') << QByteArray("x") << true << QByteArray();
        QTest::newRow("only the last zero goes")
            << kRegSz << QByteArray("ab\0c\0\0", 6) << QByteArray() << true
            << QByteArray("ab\0c\0", 5);
        QTest::newRow("1024 bytes with zero") << kRegSz << QByteArray(1023, 'a') + '\0'
                                              << QByteArray() << true << QByteArray(1023, 'a');
        QTest::newRow("1024 bytes without zero")
            << kRegSz << QByteArray(1024, 'b') << QByteArray() << true << QByteArray(1024, 'b');
        QTest::newRow("1025 bytes is missing")
            << kRegSz << QByteArray(1024, 'c') + '\0' << QByteArray("old") << false << QByteArray();
        QTest::newRow("high bytes kept") << kRegSz << QByteArray("\xC4\xFF\x80", 3) << QByteArray()
                                         << true << QByteArray("\xC4\xFF\x80", 3);

        // A number is stored least significant byte first.
        QTest::newRow("dword A1 B2 C3 D4") << kRegDword << QByteArray("\xA1\xB2\xC3\xD4", 4)
                                           << QByteArray() << true << QByteArray("&hD4C3B2A1");
        QTest::newRow("dword 0F 0E 0B 0A") << kRegDword << QByteArray("\x0F\x0E\x0B\x0A", 4)
                                           << QByteArray() << true << QByteArray("&hA0B0E0F");
        QTest::newRow("dword 0x100") << kRegDword << QByteArray("\x00\x01\x00\x00", 4)
                                     << QByteArray() << true << QByteArray("&h100");
        QTest::newRow("dword 0") << kRegDword << QByteArray(4, '\0') << QByteArray() << true
                                 << QByteArray("&h0");
        QTest::newRow("dword replaces entry") << kRegDword << QByteArray("\xFF\x00\x00\x00", 4)
                                              << QByteArray("&h12") << true << QByteArray("&hFF");

        QTest::newRow("expandable text keeps entry")
            << kRegExpandSz << QByteArray("%SystemRoot%\\x.exe", 19) << QByteArray("kept") << true
            << QByteArray("kept");
    }
    void convertsStoredValue()
    {
        QFETCH(uint, type);
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, onEntry);
        QFETCH(bool, read);
        QFETCH(QByteArray, expected);

        ScriptedRegistry registry;
        registry.setValue(kKey, "Value", type, stored.toStdString());
        std::string text = onEntry.toStdString();
        QCOMPARE(GetKeyValue(registry, kHkeyLocalMachine, kKey, "Value", text), read);
        QCOMPARE(QByteArray::fromStdString(text), expected);
    }

    // Open for reading only, query into a zeroed 1024-byte buffer, close what was opened: a key
    // that may only be read is read.
    void callsTheRegistryInOrder()
    {
        ScriptedRegistry registry;
        registry.setText(kKey, "PATH", "x");
        registry.addKey(kKey).allowedAccess = kKeyRead;
        const RegHandle handle = registry.addKey(kKey).handle;
        QCOMPARE(lookup(registry, kKey, "PATH"), QStringLiteral("1 x"));
        QCOMPARE(registry.log, QStringList({openLine(kKey),
                                            QStringLiteral("query %1 PATH 1024 zeroed").arg(handle),
                                            QStringLiteral("close %1").arg(handle)}));
    }

    void missingKeyOrValueReadsEmpty_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("root");
        QTest::newRow("missing key") << "SOFTWARE\\Nowhere"
                                     << "PATH" << kHkeyLocalMachine;
        QTest::newRow("missing value")
            << QString::fromStdString(kKey) << "Other" << kHkeyLocalMachine;
        QTest::newRow("other root") << QString::fromStdString(kKey) << "PATH" << int(0x80000001u);
        QTest::newRow("refuses read rights")
            << QString::fromStdString(kKey) << "Locked" << kHkeyLocalMachine;
    }
    void missingKeyOrValueReadsEmpty()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(int, root);
        ScriptedRegistry registry;
        registry.setText(kKey, "PATH", "there");
        registry.setText("Locked", "Locked", "there");
        registry.addKey("Locked").allowedAccess = 0;
        std::string text = "left over";
        QVERIFY(!GetKeyValue(registry, root, path.toStdString(), name.toStdString(), text));
        QCOMPARE(text, std::string());
        QVERIFY(registry.log.last().startsWith(QLatin1String("close ")));
    }

    // The close takes whatever the failed open left in the handle, as the platform expects.
    void closesHandleLeftByFailedOpen()
    {
        ScriptedRegistry registry;
        registry.failedOpenHandle = 0x77;
        QCOMPARE(lookup(registry, kKey, "PATH"), QStringLiteral("0 "));
        QCOMPARE(registry.log, QStringList({openLine(kKey), QStringLiteral("close 119")}));
    }

    void valueWithNoDataFails_data()
    {
        QTest::addColumn<uint>("type");
        QTest::newRow("text") << kRegSz;
        QTest::newRow("dword") << kRegDword;
        QTest::newRow("expandable text") << kRegExpandSz;
    }
    void valueWithNoDataFails()
    {
        QFETCH(uint, type);
        ScriptedRegistry registry;
        registry.setValue(kKey, "Empty", type, std::string());
        std::string text = "as on entry";
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 GetKeyValue(registry, kHkeyLocalMachine, kKey, "Empty", text));
        QCOMPARE(text, std::string("as on entry"));
        // The key is still closed.
        QCOMPARE(registry.log.size(), 3);
        QVERIFY(registry.log.last().startsWith(QLatin1String("close ")));
    }

    // A layer that claims more bytes than the buffer holds must not make the reader overrun it.
    void sizeBeyondBufferFails()
    {
        ScriptedRegistry registry;
        registry.setText(kKey, "PATH", "short");
        registry.reportedSize = 4096;
        std::string text;
        QVERIFY_THROWS_EXCEPTION(std::length_error,
                                 GetKeyValue(registry, kHkeyLocalMachine, kKey, "PATH", text));
        QCOMPARE(text, std::string());
    }

    void standInAnswersOnlyTheToolPath_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");

        const QString msinfo = QString::fromLatin1(kMsinfoKey);
        const QStringList some{"hardinfo", "cpu-x"};
        QTest::newRow("first installed of the list") << some << msinfo << "PATH"
                                                     << "1 /usr/bin/hardinfo";
        QTest::newRow("list order, not install order")
            << QStringList{"cpu-x", "kinfocenter"} << msinfo << "PATH"
            << "1 /usr/bin/kinfocenter";
        QTest::newRow("names regardless of case")
            << some << "software\\MICROSOFT\\shared TOOLS\\msInfo"
            << "Path"
            << "1 /usr/bin/hardinfo";
        QTest::newRow("none installed") << QStringList() << msinfo << "PATH"
                                        << "0 ";
        QTest::newRow("other value") << some << msinfo << "MSINFO"
                                     << "0 ";
        QTest::newRow("folder entry") << some << QString::fromLatin1(kSharedToolsKey) << "MSINFO"
                                      << "0 ";
        QTest::newRow("parent key") << some << "SOFTWARE\\Microsoft\\Shared Tools"
                                    << "PATH"
                                    << "0 ";
    }
    void standInAnswersOnlyTheToolPath()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(QString, expected);

        StandInRegistry registry(
            {"kinfocenter", "hardinfo", "cpu-x"}, [installed](const std::string &tool) {
                return installed.contains(QString::fromStdString(tool)) ? "/usr/bin/" + tool
                                                                        : std::string();
            });
        QCOMPARE(lookup(registry, path.toStdString(), name.toStdString()), expected);
        QCOMPARE(lookup(registry, path.toStdString(), name.toStdString(), 0x80000001), "0 ");
    }

    // Stored as text is, zero included; a buffer too small for it is "more data", with nothing
    // written; and every open finds the tool afresh.
    void standInStoresTextWithItsZero_data()
    {
        QTest::addColumn<uint>("room");
        QTest::addColumn<int>("status");
        QTest::newRow("roomy buffer") << 64u << kRegSuccess;
        QTest::newRow("buffer of exactly its size") << uint(sizeof kToolPath) << kRegSuccess;
        QTest::newRow("a byte short") << uint(sizeof kToolPath - 1) << kRegMoreData;
    }
    void standInStoresTextWithItsZero()
    {
        QFETCH(uint, room);
        QFETCH(int, status);
        std::string installed = kToolPath;
        StandInRegistry registry({"info"}, [&installed](const std::string &) { return installed; });

        RegHandle key = 0;
        QCOMPARE(registry.openKey(rootHandle(kHkeyLocalMachine), kMsinfoKey, 0, kKeyRead, key),
                 kRegSuccess);
        std::string buffer(64, '-');
        std::uint32_t type = 0;
        std::uint32_t size = room;
        QCOMPARE(registry.queryValue(key, kMsinfoPathValue, type,
                                     reinterpret_cast<unsigned char *>(buffer.data()), size),
                 status);
        QCOMPARE(type, kRegSz);
        QCOMPARE(size, std::uint32_t(sizeof kToolPath));
        QCOMPARE(buffer, status == kRegSuccess
                             ? std::string(kToolPath, sizeof kToolPath).append(64 - size, '-')
                             : std::string(64, '-'));
        QCOMPARE(registry.closeKey(key), kRegSuccess);
        QCOMPARE(registry.closeKey(key), kRegInvalidHandle);
        QCOMPARE(registry.queryValue(key, kMsinfoPathValue, type, nullptr, size),
                 kRegInvalidHandle);

        installed = "/" + std::string(1100, 'x');
        QCOMPARE(lookup(registry, kMsinfoKey, kMsinfoPathValue), QStringLiteral("0 "));
        installed.clear();
        QCOMPARE(lookup(registry, kMsinfoKey, kMsinfoPathValue), QStringLiteral("0 "));
        installed = "/again";
        QCOMPARE(lookup(registry, kMsinfoKey, kMsinfoPathValue), QStringLiteral("1 /again"));
    }

    // The real stand-in looks along the search path for the desktop's tools, in this order.
    void standInFindsToolsOnSearchPath()
    {
        QTemporaryDir bin;
        const auto restore = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
        qputenv("PATH", QFile::encodeName(bin.path()));
        StandInRegistry registry;
        QCOMPARE(lookup(registry, kMsinfoKey, kMsinfoPathValue), QStringLiteral("0 "));
        // Installed from the last to the first: each one comes before those already there.
        for (const char *tool : {"cpu-x", "hardinfo", "hardinfo2", "kinfocenter"}) {
            QVERIFY(writeScript(bin.filePath(tool), ""));
            QCOMPARE(lookup(registry, kMsinfoKey, kMsinfoPathValue), "1 " + bin.filePath(tool));
        }
    }
};

QTEST_GUILESS_MAIN(GetKeyValueTest)
#include "tst_getkeyvalue.moc"
