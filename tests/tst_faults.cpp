// Real faults while saving and loading: a disk that fills up at every stage of a save, a program
// killed while it saves, a file that changes while it is read. None may cost the user a byte.

#include "app/Identity.h"
#include "app/frmMain.h"
#include "platform/files/CodePage.h"
#include "platform/files/FileLayer.h"
#include "platform/textarea/RichTextBox.h"
#include "support/Fakes.h"
#include "support/FaultFixtures.h"
#include "support/MainWindowFixture.h"
#include "support/Modal.h"
#include "support/SkipOrFail.h"
#include "support/Unprivileged.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace vellumo;
using namespace vellumo::test;

namespace {

constexpr qint64 kKiB = 1024;
constexpr qint64 kMiB = 1024 * kKiB;

QByteArray sha1(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

// Lines of printable Windows-1252 text, each ended by LF, distinct for each seed, so that the
// area gives the text back unchanged and any two versions differ throughout.
QByteArray lines(qint64 size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i) {
        const qint64 column = i % 73;
        bytes[i] = column == 72 ? '\n' : char(0x21 + (i * 7 + seed * 31 + i / 73) % 0xDE);
    }
    return bytes;
}

// The message boxes and the area as the child saw them, one line each.
QString report(const FakePlatform &platform, const frmMain &window, const QString &areaBefore)
{
    QStringList out = platform.messageBox.shown();
    out << (window.RichTextBox1()->text() == areaBefore ? QStringLiteral("area kept")
                                                        : QStringLiteral("area changed"));
    return out.join(u'\n');
}

// Where a save meets a full disk. Limit: a file size limit of `amount` bytes, as a full disk
// cuts writes; Disk: an ext4 image with `amount` bytes free; Sync: space that runs out only when
// the text is written back, at the sync; Rename: a full disk with a full folder, so that the new
// name cannot be made.
enum class Medium { Limit, Disk, Sync, Rename };
// What another program does to a file while it is loaded.
enum class Change { Grows, Shrinks, Replaced, Rewritten };

// Set in a child whose save is to die as it puts the new text in place.
bool t_killAtRename = false;

} // namespace

// The C library's rename, as the save calls it.
extern "C" int rename(const char *from, const char *to)
{
    if (t_killAtRename)
        ::raise(SIGKILL);
    return int(::syscall(SYS_rename, from, to));
}

Q_DECLARE_METATYPE(Medium)
Q_DECLARE_METATYPE(Change)

class FaultsTest : public MainWindowFixture {
    Q_OBJECT

    void menu(frmMain &w, const char *item) { w.findChild<QAction *>(item)->trigger(); }

private Q_SLOTS:
    void init() { QVERIFY(open()); }
    void cleanup() { close(); }

    // ---- the disk fills up

    void diskFullAtEveryStageKeepsTheOldFile_data()
    {
        QTest::addColumn<Medium>("medium");
        QTest::addColumn<qint64>("amount");
        QTest::addColumn<qint64>("textSize");
        QTest::addColumn<QString>("reason"); // empty: the save succeeds

        const qint64 text = 3 * kMiB + 512 * kKiB; // three whole write chunks and part of one
        const qint64 saved = text + 2;
        const QString tooLarge = QStringLiteral("File too large");
        const QString noSpace = QStringLiteral("No space left on device");
        QTest::newRow("limit: nothing fits") << Medium::Limit << qint64(0) << text << tooLarge;
        QTest::newRow("limit: first chunk") << Medium::Limit << 512 * kKiB << text << tooLarge;
        QTest::newRow("limit: a middle chunk") << Medium::Limit << 3 * kMiB / 2 << text << tooLarge;
        QTest::newRow("limit: last byte of the last chunk")
            << Medium::Limit << saved - 1 << text << tooLarge;
        QTest::newRow("limit: exactly enough saves") << Medium::Limit << saved << text << QString();
        QTest::newRow("disk: first chunk") << Medium::Disk << 256 * kKiB << text << noSpace;
        QTest::newRow("disk: a middle chunk") << Medium::Disk << 3 * kMiB / 2 << text << noSpace;
        QTest::newRow("disk: last chunk") << Medium::Disk << text - 128 * kKiB << text << noSpace;
        QTest::newRow("disk: at the sync") << Medium::Sync << qint64(0) << 4 * kMiB
                                           << "No space left on device|Input/output error";
        QTest::newRow("disk: at the rename") << Medium::Rename << qint64(0) << qint64(8) << noSpace;
    }
    void diskFullAtEveryStageKeepsTheOldFile()
    {
        QFETCH(Medium, medium);
        QFETCH(qint64, amount);
        QFETCH(qint64, textSize);
        QFETCH(QString, reason);

        ScratchMounts mounts;
        QString folder = path();
        if (medium == Medium::Disk) {
            folder = path("disk");
            const QString why =
                mounts.ext4(path("disk.img"), 16 * kMiB, {"-m", "0", "-b", "4096"}, folder);
            if (!why.isEmpty())
                SKIP_OR_FAIL(QStringLiteral("no file system image to fill: ") + why);
        } else if (medium == Medium::Sync) {
            // The image is sparse and larger than the small file system that holds it: its
            // own free space is never the limit, and writing back what was saved is.
            const QString why = mounts.tmpfs(3 * kMiB, path("outer"));
            if (!why.isEmpty())
                SKIP_OR_FAIL(QStringLiteral("no small file system to hold an image: ") + why);
            folder = path("inner");
            const QString inner =
                mounts.ext4(path("outer/inner.img"), 32 * kMiB, {"-m", "0"}, folder);
            if (!inner.isEmpty())
                SKIP_OR_FAIL(QStringLiteral("no file system image: ") + inner);
        } else if (medium == Medium::Rename) {
            // Small files live inside their inode: with no block free, only a new name fails.
            folder = path("disk");
            const QString why =
                mounts.ext4(path("disk.img"), 2 * kMiB, {"-m", "0", "-O", "inline_data"}, folder);
            if (!why.isEmpty())
                SKIP_OR_FAIL(QStringLiteral("no file system image to fill: ") + why);
        }

        // A small file in a folder of its own for the full folder, else a larger one.
        const QString target =
            folder + QLatin1String(medium == Medium::Rename ? "/notes/notes.txt" : "/notes.txt");
        QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
        QVERIFY(writeFile(target,
                          medium == Medium::Rename ? QByteArray("old\r\n") : lines(100 * kKiB, 1)));
        // On disk before the fault, not only in memory.
        const int sync = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(sync >= 0 && ::syncfs(sync) == 0);
        ::close(sync);
        const QByteArray before = readFile(target);
        if (medium == Medium::Disk) {
            QVERIFY(fillFileSystem(folder + QStringLiteral("/filler")));
            QVERIFY(freeSpace(folder + QStringLiteral("/filler"), amount));
            QVERIFY2(qAbs(availableBytes(folder) - amount) < 64 * kKiB,
                     qPrintable(QString::number(availableBytes(folder))));
        } else if (medium == Medium::Rename) {
            const QByteArray filler = native(folder + QStringLiteral("/filler"));
            QVERIFY(fillFileSystem(QFile::decodeName(filler)));
            // Names of 16 bytes, as long as the one a save gives its new text
            // ("notes.txt.XXXXXX"), until none fits. Links, so that inodes are left for the new
            // text itself.
            for (int i = 0;; ++i) {
                const QByteArray name = native(
                    folder + QStringLiteral("/notes/%1.txt.abcd").arg(i, 7, 10, QChar(u'0')));
                if (::link(filler.constData(), name.constData()) != 0) {
                    QCOMPARE(errno, ENOSPC);
                    break;
                }
            }
        }
        const auto folderBefore = folderSnapshot(QFileInfo(target).absolutePath());

        const QString text = decodeCp1252(lines(textSize, 2));
        window->RichTextBox1()->setText(text);
        const ChildResult result = runInChild([&] {
            if (medium == Medium::Limit && !limitFileSize(amount))
                return QStringLiteral("cannot limit the file size");
            platform->dialogs.choose(target);
            menu(*window, "Save");
            return report(*platform, *window, text);
        });
        QVERIFY2(result.finished(), qPrintable(result.describe()));
        const QStringList seen = result.report.split(u'\n');

        if (reason.isEmpty()) {
            QCOMPARE(seen, (QStringList{"Save Successful|Text has been Saved", "area kept"}));
            QVERIFY(readFile(target) == encodeCp1252(text) + "\r\n");
            return;
        }
        QCOMPARE(seen.size(), 2);
        const QRegularExpression message(
            QStringLiteral("^Save failed\\|Cannot save %1: (%2)\\.$")
                .arg(QRegularExpression::escape(u'"' + target + u'"'), reason));
        QVERIFY2(message.match(seen[0]).hasMatch(), qPrintable(seen[0]));
        QCOMPARE(seen[1], QStringLiteral("area kept"));
        QVERIFY(readFile(target) == before);
        QCOMPARE(folderSnapshot(QFileInfo(target).absolutePath()), folderBefore);
    }

    // ---- killed while saving

    void killedWhileSavingLeavesTheOldText()
    {
        const QString target = path(QStringLiteral("notes.txt"));
        const QByteArray texts[2] = {lines(4 * kMiB, 3), lines(4 * kMiB + 333, 4)};
        const QByteArray files[2] = {texts[0] + "\r\n", texts[1] + "\r\n"};
        // One window for each text, so that every save replaces the file's text with the other.
        frmMain other(platform->services);
        frmMain *windows[2] = {window.get(), &other};
        for (int i = 0; i < 2; ++i)
            windows[i]->RichTextBox1()->setText(decodeCp1252(texts[i]));
        QVERIFY(writeFile(target, files[0]));
        platform->dialogs.choose(target);

        // A save in a child that kills itself at step `killAt` of its work (from 1) or, one past
        // its last step, as it is about to put the new text in place (0: never); says how many
        // steps it took.
        auto save = [&](frmMain *w, int killAt, int lastStep) {
            return runInChild([&] {
                int steps = 0;
                platform->progress.onStep = [&] {
                    if (++steps == killAt)
                        ::raise(SIGKILL);
                };
                t_killAtRename = killAt == lastStep + 1;
                menu(*w, "Save");
                return QString::number(steps) + u'|' + platform->messageBox.shown(false).join(u'|');
            });
        };
        const ChildResult whole = save(windows[1], 0, 0);
        QVERIFY2(whole.finished(), qPrintable(whole.describe()));
        const int steps = whole.report.section(u'|', 0, 0).toInt();
        QCOMPARE(whole.report.section(u'|', 1), QStringLiteral("Save Successful"));
        QVERIFY(readFile(target) == files[1]);

        const QRegularExpression leftOver(QStringLiteral("^notes\\.txt\\.[A-Za-z0-9]{6}$"));
        for (int killAt = 1; killAt <= steps + 1; ++killAt) {
            const int holds = readFile(target) == files[0] ? 0 : 1;
            const ChildResult killed = save(windows[1 - holds], killAt, steps);
            QVERIFY2(killed.status == ChildResult::Status::Crashed, qPrintable(killed.describe()));
            const QByteArray now = readFile(target);
            QVERIFY2(now == files[holds],
                     qPrintable(QStringLiteral("killed at step %1 of %2, it held %3 bytes, sha1 %4")
                                    .arg(killAt)
                                    .arg(steps)
                                    .arg(now.size())
                                    .arg(QString::fromLatin1(sha1(now)))));
            for (const QString &name : QDir(path()).entryList(QDir::Files | QDir::Hidden)) {
                if (name != QStringLiteral("notes.txt"))
                    QVERIFY2(leftOver.match(name).hasMatch(), qPrintable(name));
            }
        }

        // What a killed save can leave beside the file does not disturb the next one.
        const QStringList decoys = {"notes.txt.XXXXXX", "notes.txt.abc123", "notes.txt.tmp"};
        for (const QString &decoy : decoys)
            QVERIFY(writeFile(path(decoy), "stale " + decoy.toUtf8()));
        const auto leftBefore = folderSnapshot(path());
        const int holds = readFile(target) == files[0] ? 0 : 1;
        platform->messageBox.calls.clear();
        menu(*windows[1 - holds], "Save");
        QCOMPARE(platform->messageBox.calls.size(), 1);
        QCOMPARE(platform->messageBox.calls[0].title, QStringLiteral("Save Successful"));
        QVERIFY(readFile(target) == files[1 - holds]);
        auto leftAfter = folderSnapshot(path());
        leftAfter.remove(QStringLiteral("notes.txt"));
        auto expected = leftBefore;
        expected.remove(QStringLiteral("notes.txt"));
        QCOMPARE(leftAfter, expected);
    }

    // ---- temporary files

    void temporaryFileIsOwnerOnlyUntilItIsInPlace_data()
    {
        QTest::addColumn<int>("mode"); // -1: a new file
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("finalMode");

        QTest::newRow("new file, umask 022") << -1 << 022 << 0644;
        QTest::newRow("new file, umask 002") << -1 << 002 << 0664;
        QTest::newRow("new file, umask 077") << -1 << 077 << 0600;
        QTest::newRow("file readable by all") << 0644 << 022 << 0644;
        QTest::newRow("file shared with the group") << 0660 << 077 << 0660;
        QTest::newRow("file for all to write") << 0666 << 022 << 0666;
    }
    void temporaryFileIsOwnerOnlyUntilItIsInPlace()
    {
        QFETCH(int, mode);
        QFETCH(int, umask);
        QFETCH(int, finalMode);

        const QString target = path(QStringLiteral("shared.txt"));
        if (mode >= 0) {
            QVERIFY(writeFile(target, "old"));
            QVERIFY(::chmod(native(target).constData(), mode_t(mode)) == 0);
        }
        const auto restoreMask =
            qScopeGuard([savedMask = ::umask(mode_t(umask))] { ::umask(savedMask); });
        FileLayer layer;
        layer.openForOutput(1, target);
        layer.writeLine(1, QString(3 * kMiB, u'x')); // written through, in part

        // The open files in the target's folder other than the target: the save's own.
        QStringList temporary;
        QDirIterator fds(QStringLiteral("/proc/self/fd"),
                         QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        while (fds.hasNext()) {
            const QString fd = fds.next();
            const QString file = QFile::symLinkTarget(fd);
            if (QFileInfo(file).absolutePath() != path() || file == target)
                continue;
            struct stat st;
            QVERIFY(::stat(native(fd).constData(), &st) == 0);
            temporary << QStringLiteral("%1 mode %2")
                             .arg(QFileInfo(file).fileName())
                             .arg(st.st_mode & 07777, 0, 8);
        }
        QCOMPARE(temporary.size(), 1);
        QVERIFY2(temporary[0].endsWith(QStringLiteral(" mode 600")), qPrintable(temporary[0]));
        if (mode >= 0)
            QCOMPARE(readFile(target), QByteArray("old"));

        layer.close(1);
        struct stat st;
        QVERIFY(::stat(native(target).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), finalMode);
        QCOMPARE(st.st_size, 3 * kMiB + 2);
        QCOMPARE(QDir(path()).entryList(QDir::Files | QDir::Hidden), QStringList{"shared.txt"});
    }

    // A name as long as a folder takes leaves no room for a temporary name made from it.
    void filesWithTheLongestNamesCanBeSavedAgain_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("255 ASCII bytes") << QString(251, u'n') + ".txt";
        QTest::newRow("255 bytes, two-byte letters at the cut")
            << u'n' + QString(124, QChar(0xE9)) + ".txt" + QString(2, u'x');
        QTest::newRow("248 bytes") << QString(244, u'n') + ".txt";
    }
    void filesWithTheLongestNamesCanBeSavedAgain()
    {
        QFETCH(QString, name);
        QVERIFY(native(name).size() >= 248 && native(name).size() <= 255);
        const QString target = path(name);
        FileLayer layer;
        for (const char *text : {"first", "second", "third"}) {
            const int n = layer.freeFile();
            layer.openForOutput(n, target);
            layer.writeLine(n, QString::fromLatin1(text));
            layer.close(n);
            QCOMPARE(readFile(target), QByteArray(text) + "\r\n");
        }
        QCOMPARE(QDir(path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        // Killed as it puts the new text in place, a save leaves a name begun as the file's.
        const ChildResult killed = runInChild([&] {
            t_killAtRename = true;
            layer.openForOutput(1, target);
            layer.close(1);
            return QString();
        });
        QVERIFY2(killed.status == ChildResult::Status::Crashed, qPrintable(killed.describe()));
        QStringList left = QDir(path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(left.removeOne(name));
        QCOMPARE(left.size(), 1);
        QVERIFY2(left[0].startsWith(name.left(100)), qPrintable(left[0]));
    }

    // ---- the file changes while it is read

    void fileChangingWhileLoaded_data()
    {
        QTest::addColumn<Change>("change");
        QTest::newRow("grows") << Change::Grows;
        QTest::newRow("shrinks and grows back") << Change::Shrinks;
        QTest::newRow("is replaced") << Change::Replaced;
        // The same size with other bytes: only the file's stamps or what is read again can tell.
        QTest::newRow("is rewritten in place") << Change::Rewritten;
    }
    void fileChangingWhileLoaded()
    {
        QFETCH(Change, change);
        const QString target = path(QStringLiteral("live.txt"));
        const QByteArray full = lines(3 * kMiB, 5);
        const QByteArray versions[3] = {lines(kMiB, 6), lines(700 * kKiB, 7),
                                        lines(1300 * kKiB, 8)};
        const QByteArray sameSize[2] = {lines(kMiB, 9), lines(kMiB, 10)};
        const bool inPlace = change == Change::Rewritten;
        const QByteArray first = change == Change::Replaced ? versions[0]
                                 : inPlace                  ? sameSize[0]
                                                            : full.left(kMiB);
        QVERIFY(writeFile(target, first));

        // Another program at work on the file, as fast as it can, while the user loads it.
        std::atomic<bool> stop{false};
        std::atomic<int> changes{0};
        std::thread writer([&] {
            const QByteArray name = native(target);
            QRandomGenerator random(42);
            if (change == Change::Grows) {
                const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
                for (qint64 at = kMiB; at < full.size() && !stop; at += 8 * kKiB) {
                    if (::write(fd, full.constData() + at, 8 * kKiB) != 8 * kKiB)
                        break;
                    ++changes;
                    ::usleep(2000);
                }
                ::close(fd);
            } else if (change == Change::Shrinks) {
                const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
                while (!stop) {
                    const qint64 cut = random.bounded(kMiB);
                    if (::ftruncate(fd, cut) != 0 ||
                        ::pwrite(fd, first.constData() + cut, size_t(kMiB - cut), cut) !=
                            ssize_t(kMiB - cut))
                        break;
                    ++changes;
                }
                ::close(fd);
            } else if (change == Change::Rewritten) {
                const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
                for (int k = 1; !stop; ++k) {
                    if (::pwrite(fd, sameSize[k % 2].constData(), size_t(kMiB), 0) != kMiB)
                        break;
                    ++changes;
                }
                ::close(fd);
            } else {
                const QByteArray next = name + ".next";
                for (int k = 1; !stop; ++k) {
                    const QByteArray &version = versions[k % 3];
                    const int fd = ::open(next.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                    const bool written = ::write(fd, version.constData(), size_t(version.size())) ==
                                         ssize_t(version.size());
                    ::close(fd);
                    if (!written || ::rename(next.constData(), name.constData()) != 0)
                        break;
                    ++changes;
                }
            }
        });

        // The loads start once it is at work.
        const bool atWork = QTest::qWaitFor([&] { return changes > 0; });
        const QString changed =
            QStringLiteral("Cannot read \"%1\": the file changed while it was read.").arg(target);
        int loaded = 0;
        int refused = 0;
        QStringList wrong;
        platform->dialogs.choose(target);
        for (int i = 0; i < 12 && wrong.isEmpty(); ++i) {
            const QString areaBefore = window->RichTextBox1()->text();
            platform->messageBox.calls.clear();
            menu(*window, "Load");
            const QString text = window->RichTextBox1()->text();
            if (platform->messageBox.calls.size() != 1) {
                wrong << QStringLiteral("load %1 showed %2 boxes")
                             .arg(i)
                             .arg(platform->messageBox.calls.size());
                break;
            }
            const auto box = platform->messageBox.calls[0];
            if (box.title == QStringLiteral("Load failed")) {
                ++refused;
                if ((change != Change::Shrinks && !inPlace) || box.prompt != changed)
                    wrong << QStringLiteral("load %1 failed: %2").arg(i).arg(box.prompt);
                if (text != areaBefore)
                    wrong << QStringLiteral("load %1 failed and changed the area").arg(i);
                continue;
            }
            ++loaded;
            const QByteArray bytes = encodeCp1252(text);
            const bool asRead =
                change == Change::Replaced
                    ? (bytes == versions[0] || bytes == versions[1] || bytes == versions[2])
                : inPlace ? (bytes == sameSize[0] || bytes == sameSize[1])
                          : (bytes.size() >= (change == Change::Grows ? kMiB : 0) &&
                             full.startsWith(bytes));
            if (!asRead)
                wrong << QStringLiteral("load %1 gave %2 characters that the file never held")
                             .arg(i)
                             .arg(text.size());
        }
        stop = true;
        writer.join();
        qInfo("%d loads, %d refused as changed, while the file changed %d times", loaded, refused,
              int(changes));
        QVERIFY2(atWork, "the other program did not get to work");
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
    }
};

MAIN_WINDOW_TEST_MAIN(FaultsTest)

#include "tst_faults.moc"
