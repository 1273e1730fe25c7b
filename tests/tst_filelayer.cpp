#include "platform/Failure.h"
#include "platform/files/CodePage.h"
#include "platform/files/FileLayer.h"

#include "support/FaultFixtures.h"
#include "support/FileKinds.h"
#include "support/SkipOrFail.h"
#include "support/Unprivileged.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace vellumo;
using vellumo::test::allBytes;
using vellumo::test::ChildResult;
using vellumo::test::FileKind;
using vellumo::test::folderSnapshot;
using vellumo::test::makeFile;
using vellumo::test::makeLink;
using vellumo::test::native;
using vellumo::test::readFile;
using vellumo::test::ScratchFolder;
using vellumo::test::ScratchMounts;
using vellumo::test::writeFile;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

// A read or write of a file on a network file system can be cut short by a signal; one on a
// local disk never is. So the read, pread and write below replace the C library's for this
// program: while set, every other call on this thread fails as interrupted before anything
// moved, and the others move at most half of what they were asked for.
thread_local bool t_interrupted = false;
thread_local bool t_failNext = false;

bool interruptedNow(size_t &count)
{
    if (!t_interrupted)
        return false;
    t_failNext = !t_failNext;
    if (t_failNext) {
        errno = EINTR;
        return true;
    }
    count = count > 1 ? count / 2 : count;
    return false;
}

// Every byte value, in an order that does not repeat with any power of two.
QByteArray patterned(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + i / 251) & 0xFF);
    return bytes;
}

QString emoji()
{
    return QString::fromUtf8("\xF0\x9F\x98\x80");
}

QString quoted(const QString &path)
{
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

QString readFailure(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot open %1 for reading: %2.").arg(quoted(path), reason);
}

QString saveFailure(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot save %1: %2.").arg(quoted(path), reason);
}

// The message of the Failure the step throws, or a null string if it succeeds.
QString failureOf(const std::function<void()> &step)
{
    try {
        step();
    } catch (const Failure &failure) {
        return failure.message();
    }
    return QString();
}

void save(FileLayer &layer, const QString &path, const QStringList &lines)
{
    const int n = layer.freeFile();
    layer.openForOutput(n, path);
    for (const QString &line : lines)
        layer.writeLine(n, line);
    layer.close(n);
}

QString load(FileLayer &layer, const QString &path)
{
    const int n = layer.freeFile();
    layer.openForInput(n, path);
    const QString text = decodeCp1252(layer.input(n, layer.length(n)));
    layer.close(n);
    return text;
}

int modeOf(const QString &path)
{
    struct stat st;
    return ::stat(native(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

extern "C" ssize_t read(int fd, void *buffer, size_t count)
{
    return interruptedNow(count) ? -1 : ::syscall(SYS_read, fd, buffer, count);
}

extern "C" ssize_t pread(int fd, void *buffer, size_t count, off_t offset)
{
    return interruptedNow(count) ? -1 : ::syscall(SYS_pread64, fd, buffer, count, offset);
}

extern "C" ssize_t write(int fd, const void *buffer, size_t count)
{
    return interruptedNow(count) ? -1 : ::syscall(SYS_write, fd, buffer, count);
}

// And fsync, to count the folders a save makes durable, to fail a folder's as a failing disk
// does, and to hold a sync, as a big one on a slow disk is held, until the saving thread has
// waited for it: never on that thread itself, where the hold could only end by itself, and for a
// minute at most, for a thread that waits without a word.
std::atomic<int> g_foldersSynced = 0;
std::atomic<bool> g_holdSync = false;
std::atomic<int> g_folderSyncError = 0;
extern "C" int fsync(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
        ++g_foldersSynced;
    for (int ms = 0; g_holdSync && ::gettid() != ::getpid() && ms < 60000; ++ms)
        ::usleep(1000);
    errno = S_ISDIR(st.st_mode) ? g_folderSyncError.load() : 0;
    return errno != 0 ? -1 : int(::syscall(SYS_fsync, fd));
}

class TestFileLayer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void fileNumbers();
    void unfinishedSaveChangesNothing();

    void readsBytesAsCharacters_data();
    void readsBytesAsCharacters();
    void writesTextAsBytes_data();
    void writesTextAsBytes();
    void readsFilesLargerThan256MiB();

    void refusesToRead_data();
    void refusesToRead();
    void refusesToSave_data();
    void refusesToSave();

    void keepsModeAndOwner_data();
    void keepsModeAndOwner();
    void savesThroughSymlink_data();
    void savesThroughSymlink();

    void fileChangingWhileRead_data();
    void fileChangingWhileRead();
    void writeFaultKeepsOldFile_data();
    void writeFaultKeepsOldFile();

    void readPermissions_data();
    void readPermissions();
    void savePermissions_data();
    void savePermissions();

private:
    QString path(const QString &name) const { return m_folder + u'/' + name; }
    QString moveOntoFuse();

    std::unique_ptr<ScratchFolder> m_dir;
    std::unique_ptr<ScratchMounts> m_mounts;
    QString m_folder; // where the test's files are
};

// Rows that say `fuse` make their files on a FUSE mount of the test's folder, where a save finds
// no unnamed temporary files.
#define FETCH_FOLDER()                                                                             \
    do {                                                                                           \
        QFETCH(bool, fuse);                                                                        \
        const QString why_ = fuse ? moveOntoFuse() : QString();                                    \
        if (!why_.isEmpty())                                                                       \
            SKIP_OR_FAIL(QStringLiteral("no FUSE mount: ") + why_);                                \
    } while (false)

void TestFileLayer::init()
{
    m_dir = std::make_unique<ScratchFolder>();
    QVERIFY(m_dir->isValid());
    // Tests that drop to nobody work in here too.
    QVERIFY(m_dir->openToAll());
    m_folder = m_dir->path();
}

void TestFileLayer::cleanup()
{
    m_mounts.reset();
    m_dir.reset();
}

QString TestFileLayer::moveOntoFuse()
{
    m_mounts = std::make_unique<ScratchMounts>();
    m_folder = m_dir->filePath(QStringLiteral("fuse"));
    return m_mounts->fuse(m_dir->filePath(QStringLiteral("disk")), m_folder);
}

void TestFileLayer::fileNumbers()
{
    const QString text = path(QStringLiteral("a.txt"));
    const QString out = path(QStringLiteral("b.txt"));
    QVERIFY(writeFile(text, "abc"));

    FileLayer layer;
    QCOMPARE(layer.freeFile(), 1);
    layer.openForInput(1, text);
    QCOMPARE(layer.freeFile(), 2);
    layer.openForOutput(2, out);
    layer.openForInput(3, text);
    QCOMPARE(layer.freeFile(), 4);
    layer.close(2);
    QCOMPARE(layer.freeFile(), 2);
    QCOMPARE(readFile(out), QByteArray());

    // Misuse is refused and takes no number.
    QVERIFY(!failureOf([&] { layer.openForInput(1, text); }).isNull());
    QVERIFY(!failureOf([&] { layer.openForOutput(3, out); }).isNull());
    QVERIFY(!failureOf([&] { layer.openForInput(0, text); }).isNull());
    QVERIFY(!failureOf([&] { layer.writeLine(1, u"x"); }).isNull());
    QVERIFY(!failureOf([&] { layer.input(2, 1); }).isNull());
    QVERIFY(!failureOf([&] { layer.length(7); }).isNull());
    layer.close(7);
    QCOMPARE(layer.freeFile(), 2);

    // Numbers 1 and 3 read the same file independently.
    QCOMPARE(layer.input(1, 2), QByteArray("ab"));
    QCOMPARE(layer.input(3, 3), QByteArray("abc"));
    QCOMPARE(layer.input(1, 1), QByteArray("c"));
    layer.close(1);
    QCOMPARE(layer.freeFile(), 1);
}

void TestFileLayer::unfinishedSaveChangesNothing()
{
    const QString file = path(QStringLiteral("keep.txt"));
    QVERIFY(writeFile(file, "old"));
    const auto before = folderSnapshot(m_folder);
    {
        FileLayer layer;
        layer.openForOutput(1, file);
        layer.writeLine(1, u"new");
    }
    QCOMPARE(folderSnapshot(m_folder), before);
}

void TestFileLayer::readsBytesAsCharacters_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("firstPiece");

    QTest::newRow("every byte value") << allBytes() << qint64(100);
    QTest::newRow("CR LF, LF and CR kept") << QByteArray("a\r\nb\nc\rd\r\n\n\r") << qint64(3);
    QTest::newRow("empty") << QByteArray() << qint64(0);
    QTest::newRow("several read chunks") << patterned(9 * kMiB + 7) << 4 * kMiB + 3;
}

void TestFileLayer::readsBytesAsCharacters()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, firstPiece);
    const QString file = path(QStringLiteral("in.txt"));
    QVERIFY(writeFile(file, bytes));

    FileLayer layer;
    layer.openForInput(1, file);
    QCOMPARE(layer.length(1), qint64(bytes.size()));
    QVERIFY(layer.input(1, 0).isEmpty());
    const QString first = decodeCp1252(layer.input(1, firstPiece));
    const QString rest = decodeCp1252(layer.input(1, bytes.size() - firstPiece));
    layer.close(1);

    QCOMPARE(first.size(), firstPiece);
    QVERIFY(first + rest == decodeCp1252(bytes));
}

void TestFileLayer::writesTextAsBytes_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("interrupted");
    QTest::addColumn<bool>("fuse");
    auto row = [](const char *name, const QStringList &lines, const QByteArray &bytes,
                  bool interrupted = false, bool fuse = false) {
        QTest::newRow(name) << lines << bytes << interrupted << fuse;
    };

    row("every byte value", {decodeCp1252(allBytes())}, allBytes() + "\r\n");
    row("line ends inside a line kept", {QStringLiteral("a\nb\rc\r\nd")}, "a\nb\rc\r\nd\r\n");
    row("empty line", {QString()}, "\r\n");
    row("no line", {}, {});
    row("several lines", {QStringLiteral("one"), QString(), QStringLiteral("two")},
        "one\r\n\r\ntwo\r\n");
    row("unencodable become ?", {QStringLiteral("\u0100x"), emoji() + QStringLiteral("\u20AC")},
        "?x\r\n?\x80\r\n");
    row("a lone high surrogate at the end", {QStringLiteral("b") + QChar(0xD83D)}, "b?\r\n");

    const QByteArray big = patterned(3 * kMiB + 1);
    row("line longer than a write chunk", {decodeCp1252(big)}, big + "\r\n");
    row("a new file and then over it, on FUSE", {QStringLiteral("one"), decodeCp1252(big)},
        "one\r\n" + big + "\r\n", false, true);
    // Every call the save and the load make is cut short by a signal, before or after it moved
    // some bytes, as on a network file system.
    const QByteArray huge = patterned(9 * kMiB + 7);
    row("interrupted by signals", {decodeCp1252(huge)}, huge + "\r\n", true);

    // The line end is added after the line; these put it right at a likely chunk seam.
    for (int bits = 16; bits <= 22; ++bits) {
        const QByteArray line = patterned((1 << bits) - 1);
        row(qPrintable(QStringLiteral("line of 2^%1 - 1 bytes").arg(bits)), {decodeCp1252(line)},
            line + "\r\n");
    }

    // Pairs start at odd indexes, so any even chunk size would cut one.
    const qsizetype pairs = 1536 * 1024;
    row("surrogate pairs across chunk seams", {u'a' + emoji().repeated(pairs)},
        QByteArray("a") + QByteArray(pairs, '?') + "\r\n");

    // Lengths vary so that line ends fall on every position around a chunk seam.
    QStringList lines;
    QByteArray joined;
    for (int i = 0; i < 30000; ++i) {
        const QByteArray line = patterned(i % 211).replace('\r', 'r').replace('\n', 'n');
        lines << decodeCp1252(line);
        joined += line + "\r\n";
    }
    row("many lines of varying length", lines, joined);
}

void TestFileLayer::writesTextAsBytes()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, interrupted);
    FETCH_FOLDER();
    const QString file = path(QStringLiteral("out.txt"));

    FileLayer layer;
    QString loaded;
    t_interrupted = interrupted;
    g_foldersSynced = 0;
    const QString failure = failureOf([&] {
        save(layer, file, lines);
        loaded = load(layer, file);
    });
    t_interrupted = false;
    QCOMPARE(failure, QString());
    QCOMPARE(g_foldersSynced, 1); // the new file's name, made durable
    QVERIFY(readFile(file) == bytes);
    QVERIFY(loaded == decodeCp1252(bytes));

    // Written in parts, as a save from the text area writes, a surrogate pair split between
    // two parts included, the file is the same.
    const int n = layer.freeFile();
    layer.openForOutput(n, file);
    for (const QString &line : lines) {
        const qsizetype half = line.size() / 2;
        layer.write(n, QStringView(line).first(half));
        layer.write(n, QStringView(line).sliced(half));
        layer.writeLine(n, {});
    }
    // The window goes on painting while the disk syncs, until painting fails; then the disk
    // fails to make the new name durable. The message is the disk's, and says what it holds.
    g_holdSync = true;
    g_folderSyncError = EIO;
    const QString unsure = failureOf([&] {
        layer.close(n, [] {
            g_holdSync = false;
            throw std::bad_alloc();
        });
    });
    g_folderSyncError = 0;
    QVERIFY2(!g_holdSync.exchange(false), "the sync was not waited for beside the window");
    QCOMPARE(g_foldersSynced, 2);
    QVERIFY2(unsure.contains(u"durable: Input/output error. The file holds"), qPrintable(unsure));
    QVERIFY(readFile(file) == bytes);
    QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), QStringList{"out.txt"});
}

void TestFileLayer::readsFilesLargerThan256MiB()
{
    const QString file = path(QStringLiteral("large.bin"));
    const qint64 size = 300 * kMiB + 3;
    // A sparse file: zeros everywhere but at a few marks around chunk seams and at the end.
    const QList<QPair<qint64, char>> marks = {{0, 'A'},
                                              {4 * kMiB - 1, '\x80'},
                                              {4 * kMiB, '\xFF'},
                                              {256 * kMiB + 1, '\x99'},
                                              {size - 1, 'Z'}};
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QVERIFY(out.resize(size));
        for (const auto &mark : marks) {
            QVERIFY(out.seek(mark.first));
            QVERIFY(out.putChar(mark.second));
        }
    }

    FileLayer layer;
    layer.openForInput(1, file);
    QCOMPARE(layer.length(1), size);
    const QString text = decodeCp1252(layer.input(1, size));
    layer.close(1);

    QCOMPARE(text.size(), size);
    for (const auto &mark : marks)
        QCOMPARE(text[mark.first], decodeCp1252(QByteArray(1, mark.second))[0]);
    const auto nonZero =
        std::count_if(text.cbegin(), text.cend(), [](QChar c) { return !c.isNull(); });
    QCOMPARE(qsizetype(nonZero), marks.size());
}

void TestFileLayer::refusesToRead_data()
{
    QTest::addColumn<FileKind>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing file") << FileKind::Missing << "No such file or directory";
    QTest::newRow("folder") << FileKind::Folder << "Is a directory";
    QTest::newRow("link to a folder") << FileKind::LinkToFolder << "Is a directory";
    QTest::newRow("FIFO without writer") << FileKind::Fifo << "Not a regular file";
    QTest::newRow("character device") << FileKind::Device << "Not a regular file";
    QTest::newRow("socket") << FileKind::Socket << "Not a regular file";
    QTest::newRow("dangling link") << FileKind::DanglingLink << "No such file or directory";
    QTest::newRow("link loop") << FileKind::LinkLoop << "Too many levels of symbolic links";
}

void TestFileLayer::refusesToRead()
{
    QFETCH(FileKind, kind);
    QFETCH(QString, reason);

    const QString target = makeFile(kind, m_folder, QStringLiteral("target"));
    QVERIFY(!target.isEmpty());

    // In a child, so that an open that blocks fails the test instead of hanging it.
    const ChildResult result = test::runInChild(
        [&] {
            FileLayer layer;
            const QString failure = failureOf([&] { layer.openForInput(1, target); });
            return failure + u'\n' + QString::number(layer.freeFile());
        },
        10000);
    QVERIFY2(result.finished(), qPrintable(result.describe()));
    QCOMPARE(result.report, readFailure(target, reason) + QStringLiteral("\n1"));
}

void TestFileLayer::refusesToSave_data()
{
    QTest::addColumn<FileKind>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("folder") << FileKind::Folder << "Is a directory";
    QTest::newRow("link to a folder") << FileKind::LinkToFolder << "Is a directory";
    QTest::newRow("parent is a file") << FileKind::UnderAFile << "Not a directory";
    QTest::newRow("parent missing") << FileKind::InMissingFolder << "No such file or directory";
    QTest::newRow("FIFO") << FileKind::Fifo << "Not a regular file";
    QTest::newRow("link loop") << FileKind::LinkLoop << "Too many levels of symbolic links";
}

void TestFileLayer::refusesToSave()
{
    QFETCH(FileKind, kind);
    QFETCH(QString, reason);

    const QString target = makeFile(kind, m_folder, QStringLiteral("target"));
    QVERIFY(!target.isEmpty());
    const auto before = folderSnapshot(m_folder);

    FileLayer layer;
    QCOMPARE(failureOf([&] { save(layer, target, {QStringLiteral("new")}); }),
             saveFailure(target, reason));
    QCOMPARE(layer.freeFile(), 1);
    QCOMPARE(folderSnapshot(m_folder), before);
}

void TestFileLayer::keepsModeAndOwner_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("otherOwner"); // the file belongs to another user
    QTest::addColumn<bool>("otherGroup"); // ... or to another group
    QTest::addColumn<bool>("fuse");

    QTest::newRow("0640") << 0640 << false << false << false;
    QTest::newRow("0600") << 0600 << false << false << false;
    QTest::newRow("0755") << 0755 << false << false << false;
    QTest::newRow("0664 owned by another user") << 0664 << true << false << false;
    QTest::newRow("0664 in another group") << 0664 << false << true << false;
    QTest::newRow("0640 on FUSE") << 0640 << false << false << true;
    QTest::newRow("0664 another user's and group's, on FUSE") << 0664 << true << true << true;
}

void TestFileLayer::keepsModeAndOwner()
{
    QFETCH(int, mode);
    QFETCH(bool, otherOwner);
    QFETCH(bool, otherGroup);
    if ((otherOwner || otherGroup) && !test::runningAsRoot())
        SKIP_OR_FAIL(QStringLiteral("only root can give a file to another user"));
    FETCH_FOLDER();

    const QString file = path(QStringLiteral("kept.txt"));
    QVERIFY(writeFile(file, "old"));
    QVERIFY(::chown(native(file).constData(), otherOwner ? test::unprivilegedUid() : uid_t(-1),
                    otherGroup ? test::unprivilegedGid() : gid_t(-1)) == 0);
    QVERIFY(::chmod(native(file).constData(), mode_t(mode)) == 0);
    struct stat before;
    QVERIFY(::stat(native(file).constData(), &before) == 0);

    FileLayer layer;
    save(layer, file, {QStringLiteral("new")});

    struct stat after;
    QVERIFY(::stat(native(file).constData(), &after) == 0);
    QCOMPARE(readFile(file), QByteArray("new\r\n"));
    QCOMPARE(int(after.st_mode & 07777), mode);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
}

void TestFileLayer::savesThroughSymlink_data()
{
    // Links are written as "name -> target"; %DIR% stands for the temporary folder.
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QString>("real");
    QTest::addColumn<bool>("realExists");
    QTest::addColumn<bool>("fuse");

    const QStringList chain{"link.txt -> middle.txt", "middle.txt -> sub/real.txt"};
    QTest::newRow("absolute link")
        << QStringList{"link.txt -> %DIR%/real.txt"} << "real.txt" << true << false;
    QTest::newRow("relative link")
        << QStringList{"link.txt -> real.txt"} << "real.txt" << true << false;
    QTest::newRow("link into a subfolder")
        << QStringList{"link.txt -> sub/real.txt"} << "sub/real.txt" << true << false;
    QTest::newRow("chain of links") << chain << "sub/real.txt" << true << false;
    QTest::newRow("chain of links on FUSE") << chain << "sub/real.txt" << true << true;
    QTest::newRow("dangling link creates its file")
        << QStringList{"link.txt -> sub/real.txt"} << "sub/real.txt" << false << false;
}

void TestFileLayer::savesThroughSymlink()
{
    QFETCH(QStringList, links);
    QFETCH(QString, real);
    QFETCH(bool, realExists);
    FETCH_FOLDER();

    QVERIFY(QDir().mkdir(path("sub")));
    if (realExists) {
        QVERIFY(writeFile(path(real), "old old old"));
        QVERIFY(::chmod(native(path(real)).constData(), 0640) == 0);
    }
    QMap<QString, QString> linkTargets;
    for (const QString &entry : links) {
        const QStringList parts = entry.split(QStringLiteral(" -> "));
        const QString target = QString(parts[1]).replace("%DIR%", m_folder);
        QVERIFY(makeLink(target, path(parts[0])));
        linkTargets[parts[0]] = QFile::symLinkTarget(path(parts[0]));
    }

    FileLayer layer;
    save(layer, path("link.txt"), {QStringLiteral("new")});

    for (auto it = linkTargets.cbegin(); it != linkTargets.cend(); ++it) {
        QVERIFY2(QFileInfo(path(it.key())).isSymLink(), qPrintable(it.key()));
        QCOMPARE(QFile::symLinkTarget(path(it.key())), it.value());
    }
    QCOMPARE(readFile(path(real)), QByteArray("new\r\n"));
    if (realExists)
        QCOMPARE(modeOf(path(real)), 0640);

    // Nothing else appeared: no temporary file, no replaced link.
    QStringList expected = linkTargets.keys() + QStringList{QStringLiteral("sub"), real};
    QStringList found;
    QDirIterator it(m_folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(m_folder).relativeFilePath(it.next());
    expected.sort();
    found.sort();
    QCOMPARE(found, expected);
}

void TestFileLayer::fileChangingWhileRead_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("firstRead");
    QTest::addColumn<qint64>("newSize");
    QTest::addColumn<bool>("fails");
    // While the rest is read, the file is cut to this size (-1: left alone) and its byte at
    // 100000 rewritten, all within the second of its time.
    QTest::addColumn<qint64>("changedTo");

    QTest::newRow("emptied before reading")
        << qint64(1000) << qint64(0) << qint64(0) << true << qint64(-1);
    QTest::newRow("shrunk after a first piece")
        << qint64(1000) << qint64(300) << qint64(600) << true << qint64(-1);
    QTest::newRow("one byte short of a big read")
        << 5 * kMiB << qint64(0) << 5 * kMiB - 1 << true << qint64(-1);
    QTest::newRow("grew: only the asked bytes are read")
        << qint64(1000) << qint64(200) << qint64(5000) << false << qint64(-1);
    // Only the nanoseconds of the file's time tell, and the byte lies between the blocks that a
    // read whose stamps stayed checks again.
    QTest::newRow("a byte rewritten within the second")
        << 5 * kMiB << qint64(0) << 5 * kMiB << true << 5 * kMiB;
    QTest::newRow("cut short while read")
        << 5 * kMiB << qint64(0) << 5 * kMiB << true << 4 * kMiB + 9;
}

void TestFileLayer::fileChangingWhileRead()
{
    QFETCH(qint64, size);
    QFETCH(qint64, firstRead);
    QFETCH(qint64, newSize);
    QFETCH(bool, fails);
    QFETCH(qint64, changedTo);

    const QString file = path(QStringLiteral("changing.txt"));
    const QByteArray bytes = patterned(size);
    QVERIFY(writeFile(file, bytes));

    FileLayer layer;
    layer.openForInput(1, file);
    const qint64 length = layer.length(1);
    QCOMPARE(length, size);
    QCOMPARE(layer.input(1, firstRead).size(), firstRead);
    QVERIFY(QFile::resize(file, newSize));
    struct stat st;
    QVERIFY(::stat(native(file).constData(), &st) == 0);
    bool changed = false;
    auto change = [&](double) { // once the first part is read
        if (changedTo < 0 || std::exchange(changed, true))
            return;
        const char flipped = char(~bytes[100000]);
        const timespec times[2] = {{0, UTIME_OMIT},
                                   {st.st_mtim.tv_sec, (st.st_mtim.tv_nsec + 1) % 1000000000}};
        const int fd = ::open(native(file).constData(), O_WRONLY | O_CLOEXEC);
        changed = ::ftruncate(fd, changedTo) == 0 && ::pwrite(fd, &flipped, 1, 100000) == 1 &&
                  ::futimens(fd, times) == 0;
        ::close(fd);
    };

    QString rest;
    const QString failure =
        failureOf([&] { rest = decodeCp1252(layer.input(1, length - firstRead, change)); });
    QCOMPARE(changed, changedTo >= 0);
    layer.close(1);
    QCOMPARE(layer.freeFile(), 1);
    if (fails) {
        QCOMPARE(failure, QStringLiteral("Cannot read %1: the file changed while it was read.")
                              .arg(quoted(file)));
    } else {
        QVERIFY2(failure.isNull(), qPrintable(failure));
        QVERIFY(rest == decodeCp1252(bytes.mid(firstRead)));
    }
}

void TestFileLayer::writeFaultKeepsOldFile_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<bool>("fuse");

    QTest::newRow("nothing can be written") << qint64(0) << 100 << 1 << false;
    QTest::newRow("first chunk fails") << 64 * 1024LL << int(3 * kMiB) << 1 << false;
    QTest::newRow("fails after many short lines") << 64 * 1024LL << 80 << 40000 << false;
    QTest::newRow("fails after the first chunk") << 3 * kMiB / 2 << int(3 * kMiB) << 1 << false;
    QTest::newRow("fails after the first chunk, on FUSE")
        << 3 * kMiB / 2 << int(3 * kMiB) << 1 << true;
    QTest::newRow("only the line end does not fit")
        << 3 * kMiB + 6 << int(3 * kMiB + 5) << 1 << false;
}

void TestFileLayer::writeFaultKeepsOldFile()
{
    QFETCH(qint64, limit);
    QFETCH(int, lineLength);
    QFETCH(int, lineCount);
    FETCH_FOLDER();

    const QString file = path(QStringLiteral("precious.txt"));
    const QString retry = path(QStringLiteral("retry.txt"));
    const QByteArray old = patterned(100 * 1024);
    QVERIFY(writeFile(file, old));
    const auto before = folderSnapshot(m_folder);

    const ChildResult result = test::runInChild([&] {
        if (!test::limitFileSize(limit))
            return QStringLiteral("cannot limit the file size");

        FileLayer layer;
        const QStringList lines(lineCount, QString(lineLength, u'x'));
        const QString failure = failureOf([&] { save(layer, file, lines); });

        // The failed save must not keep its file number or block the next save.
        if (!test::liftFileSizeLimit())
            return QStringLiteral("cannot lift the file size limit");
        const int next = layer.freeFile();
        const QString retried = failureOf([&] { save(layer, retry, {QStringLiteral("ok")}); });
        return QStringList{failure, QString::number(next), retried}.join(u'\n');
    });
    QVERIFY2(result.finished(), qPrintable(result.describe()));
    const QStringList report = result.report.split(u'\n');
    QCOMPARE(report.size(), 3);
    QCOMPARE(report[0], saveFailure(file, QStringLiteral("File too large")));
    QCOMPARE(report[1], QStringLiteral("1"));
    QCOMPARE(report[2], QString());

    QVERIFY(readFile(file) == old);
    QCOMPARE(readFile(retry), QByteArray("ok\r\n"));
    auto after = folderSnapshot(m_folder);
    after.remove(QStringLiteral("retry.txt"));
    QCOMPARE(after, before);
}

void TestFileLayer::readPermissions_data()
{
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<QString>("reason");

    QTest::newRow("readable file") << 0777 << 0644 << QString();
    QTest::newRow("unreadable file") << 0777 << 0000 << "Permission denied";
    QTest::newRow("folder cannot be entered") << 0666 << 0644 << "Permission denied";
}

void TestFileLayer::readPermissions()
{
    QFETCH(int, folderMode);
    QFETCH(int, fileMode);
    QFETCH(QString, reason);

    QVERIFY(QDir().mkdir(path("folder")));
    const QString file = path(QStringLiteral("folder/secret.txt"));
    QVERIFY(writeFile(file, "secret"));
    QVERIFY(::chmod(native(file).constData(), mode_t(fileMode)) == 0);
    QVERIFY(::chmod(native(path("folder")).constData(), mode_t(folderMode)) == 0);

    const ChildResult result = test::runAsNobody([&] {
        FileLayer layer;
        QString text;
        const QString failure = failureOf([&] { text = load(layer, file); });
        return failure.isNull() ? QStringLiteral("read: ") + text : failure;
    });
    QVERIFY2(result.finished(), qPrintable(result.describe()));
    QCOMPARE(result.report,
             reason.isNull() ? QStringLiteral("read: secret") : readFailure(file, reason));
}

void TestFileLayer::savePermissions_data()
{
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("fileMode"); // -1: no file yet
    QTest::addColumn<bool>("viaLink"); // saved through a link in a read-only folder
    QTest::addColumn<QString>("reason");

    QTest::newRow("own file, writable folder") << 0777 << 0644 << false << QString();
    QTest::newRow("new file, writable folder") << 0777 << -1 << false << QString();
    QTest::newRow("read-only folder") << 0555 << 0666 << false << "Permission denied";
    QTest::newRow("new file, read-only folder") << 0555 << -1 << false << "Permission denied";
    // The folder would let QSaveFile replace it, but a read-only file is meant to stay.
    QTest::newRow("read-only file, writable folder")
        << 0777 << 0444 << false << "Permission denied";
    // Only the folder of the file the link leads to has to be writable.
    QTest::newRow("link in read-only folder") << 0777 << 0644 << true << QString();
    QTest::newRow("link to file in read-only folder")
        << 0555 << 0666 << true << "Permission denied";
}

void TestFileLayer::savePermissions()
{
    QFETCH(int, folderMode);
    QFETCH(int, fileMode);
    QFETCH(bool, viaLink);
    QFETCH(QString, reason);

    const QString folder = path(QStringLiteral("folder"));
    const QString file = path(QStringLiteral("folder/notes.txt"));
    const QString links = path(QStringLiteral("links"));
    const QString saved = viaLink ? path(QStringLiteral("links/notes.txt")) : file;
    QVERIFY(QDir().mkdir(folder));
    if (fileMode >= 0) {
        QVERIFY(writeFile(file, "old"));
        QVERIFY(test::giveToUnprivileged(file));
        QVERIFY(::chmod(native(file).constData(), mode_t(fileMode)) == 0);
    }
    if (viaLink) {
        QVERIFY(QDir().mkdir(links));
        QVERIFY(makeLink(QStringLiteral("../folder/notes.txt"), saved));
        QVERIFY(::chmod(native(links).constData(), 0555) == 0);
    }
    QVERIFY(::chmod(native(folder).constData(), mode_t(folderMode)) == 0);
    const auto before = folderSnapshot(folder);
    const auto linksBefore = folderSnapshot(links);

    const ChildResult result = test::runAsNobody([&] {
        FileLayer layer;
        const QString failure = failureOf([&] { save(layer, saved, {QStringLiteral("new")}); });
        return failure.isNull() ? QStringLiteral("saved") : failure;
    });
    QVERIFY2(result.finished(), qPrintable(result.describe()));

    QCOMPARE(folderSnapshot(links), linksBefore);
    if (reason.isNull()) {
        QCOMPARE(result.report, QStringLiteral("saved"));
        QCOMPARE(readFile(file), QByteArray("new\r\n"));
        if (fileMode >= 0)
            QCOMPARE(modeOf(file), fileMode);
    } else {
        QCOMPARE(result.report, saveFailure(saved, reason));
        QCOMPARE(folderSnapshot(folder), before);
    }
}

QTEST_GUILESS_MAIN(TestFileLayer)
#include "tst_filelayer.moc"
