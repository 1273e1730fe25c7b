#include "FaultFixtures.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vellumo::test {

namespace {

// Runs a system tool; returns empty text on success, else its complaint.
QString runTool(const QString &name, const QStringList &arguments)
{
    QString program = QStandardPaths::findExecutable(name);
    if (program.isEmpty()) // root's tools, for a search path without them
        program = QStandardPaths::findExecutable(
            name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (program.isEmpty())
        return name + QStringLiteral(" is not installed");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        const QString output = QString::fromLocal8Bit(process.readAll()).trimmed();
        return QStringLiteral("%1 %2 failed: %3")
            .arg(name, arguments.join(u' '), output.isEmpty() ? process.errorString() : output);
    }
    return QString();
}

} // namespace

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable: ") + file.errorString().toUtf8() + '>';
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QByteArray allBytes()
{
    QByteArray bytes(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        bytes[b] = char(b);
    return bytes;
}

QByteArray writeNumberedLines(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArray block;
    for (int i = 0; i < 16384; ++i)
        block += QByteArray::number(i).leftJustified(62, '.') + "\r\n";
    for (qint64 done = 0; done < size; done += block.size()) {
        const QByteArray piece = block.left(size - done);
        if (file.write(piece) != piece.size())
            return {};
        hash.addData(piece);
    }
    hash.addData("\r\n");
    return hash.result().toHex();
}

QByteArray sha1Of(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return "<unreadable>";
    return hash.result().toHex();
}

ScratchFolder::~ScratchFolder()
{
    if (!m_dir.isValid())
        return;
    // Not through links: what they lead to is not the test's to change.
    QDirIterator it(m_dir.path(),
                    QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ::chmod(native(it.next()).constData(), 0777);
}

bool ScratchFolder::openToAll()
{
    return m_dir.isValid() && ::chmod(native(m_dir.path()).constData(), 0777) == 0;
}

QMap<QString, QString> folderSnapshot(const QString &folder)
{
    QMap<QString, QString> entries;
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                     QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString path = folder + u'/' + name;
        struct stat st;
        if (::lstat(native(path).constData(), &st) != 0) {
            entries[name] = QStringLiteral("vanished");
            continue;
        }
        QString entry = QStringLiteral("mode %1 owner %2:%3 ")
                            .arg(st.st_mode, 0, 8)
                            .arg(st.st_uid)
                            .arg(st.st_gid);
        if (S_ISREG(st.st_mode) && st.st_blocks * 512 < st.st_size) {
            // Reading the holes of a sparse file of a tebibyte would take hours; any write
            // fills blocks and moves its times.
            entry += QStringLiteral("sparse %1 %2 %3.%4")
                         .arg(st.st_size)
                         .arg(st.st_blocks)
                         .arg(st.st_mtim.tv_sec)
                         .arg(st.st_mtim.tv_nsec);
        } else if (S_ISREG(st.st_mode)) {
            entry += QString::fromLatin1(sha1Of(path));
        } else if (S_ISLNK(st.st_mode)) {
            entry += QStringLiteral("-> ") + QFile::symLinkTarget(path);
        }
        entries[name] = entry;
    }
    return entries;
}

ScratchMounts::~ScratchMounts()
{
    while (!m_mounted.isEmpty()) {
        const QString at = m_mounted.takeLast();
        // A file system that a fault turned read-only or busy still has to go.
        if (!runTool(QStringLiteral("umount"), {at}).isEmpty())
            runTool(QStringLiteral("umount"), {QStringLiteral("-l"), at});
    }
    for (const auto &daemon : m_daemons)
        daemon->waitForFinished(10000); // a FUSE daemon ends with its mount
}

QString ScratchMounts::ext4(const QString &image, qint64 bytes, const QStringList &mkfsOptions,
                            const QString &mountPoint)
{
    if (::geteuid() != 0)
        return QStringLiteral("mounting a file system image needs root");
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(bytes))
        return QStringLiteral("cannot make the image: ") + file.errorString();
    file.close();
    QString why = runTool(QStringLiteral("mkfs.ext4"),
                          QStringList{QStringLiteral("-q"), QStringLiteral("-F")} + mkfsOptions +
                              QStringList{image});
    if (!why.isEmpty())
        return why;
    if (!QDir().mkpath(mountPoint))
        return QStringLiteral("cannot make the mount point ") + mountPoint;
    why = runTool(QStringLiteral("mount"),
                  {QStringLiteral("-o"), QStringLiteral("loop"), image, mountPoint});
    if (why.isEmpty())
        m_mounted << mountPoint;
    return why;
}

QString ScratchMounts::tmpfs(qint64 bytes, const QString &mountPoint)
{
    if (::geteuid() != 0)
        return QStringLiteral("mounting a file system needs root");
    if (!QDir().mkpath(mountPoint))
        return QStringLiteral("cannot make the mount point ") + mountPoint;
    const QString why =
        runTool(QStringLiteral("mount"),
                {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                 QStringLiteral("size=%1").arg(bytes), QStringLiteral("tmpfs"), mountPoint});
    if (why.isEmpty())
        m_mounted << mountPoint;
    return why;
}

QString ScratchMounts::fuse(const QString &folder, const QString &mountPoint)
{
    if (::geteuid() != 0)
        return QStringLiteral("mounting through FUSE needs root");
    const QString bindfs = QStandardPaths::findExecutable(QStringLiteral("bindfs"));
    if (bindfs.isEmpty())
        return QStringLiteral("bindfs is not installed");
    if (!QDir().mkpath(folder) || !QDir().mkpath(mountPoint))
        return QStringLiteral("cannot make the folders to mount");
    // In the foreground, as a child that ends with this process however it ends, taking its
    // mount with it.
    auto &daemon = *m_daemons.emplace_back(std::make_unique<QProcess>());
    daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon.setProcessChannelMode(QProcess::MergedChannels);
    daemon.start(bindfs, {QStringLiteral("-f"), folder, mountPoint});
    // Mounted once the mount point lies on a device of its own.
    struct stat source, mounted;
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired() && !daemon.waitForFinished(20);) {
        if (::stat(native(folder).constData(), &source) == 0 &&
            ::stat(native(mountPoint).constData(), &mounted) == 0 &&
            source.st_dev != mounted.st_dev) {
            m_mounted << mountPoint;
            // Else a save there takes the ordinary way, and what uses it tests that again.
            const int fd =
                ::open(native(mountPoint).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
            if (fd < 0)
                return QString();
            ::close(fd);
            return QStringLiteral("the mount takes unnamed temporary files");
        }
    }
    return QStringLiteral("bindfs did not mount: ") + QString::fromLocal8Bit(daemon.readAll());
}

bool fillFileSystem(const QString &path)
{
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const auto zeros = std::make_unique<char[]>(1 << 16);
    std::fill_n(zeros.get(), 1 << 16, '\0');
    // Smaller and smaller writes take the last blocks too.
    for (size_t piece = 1 << 16; piece > 0; piece /= 2) {
        while (::write(fd, zeros.get(), piece) == ssize_t(piece)) {
        }
    }
    const bool full = errno == ENOSPC;
    ::fsync(fd);
    ::syncfs(fd);
    ::close(fd);
    return full;
}

bool freeSpace(const QString &path, qint64 bytes)
{
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    const bool freed =
        ::fstat(fd, &st) == 0 && st.st_size >= bytes && ::ftruncate(fd, st.st_size - bytes) == 0;
    // Freed blocks count only once the journal has committed.
    ::syncfs(fd);
    ::close(fd);
    return freed;
}

qint64 availableBytes(const QString &folder)
{
    struct statvfs fs;
    if (::statvfs(native(folder).constData(), &fs) != 0)
        return -1;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

} // namespace vellumo::test
