#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace vellumo::test {

// A path as the system calls take it.
QByteArray native(const QString &path);
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);
// Every byte value once, in order.
QByteArray allBytes();
// Writes `size` bytes of numbered 64-byte lines, CR LF ended, the last one cut short where the
// size says. Returns the hex SHA-1 of them followed by CR LF, as a save writes them back, or
// nothing if it could not.
QByteArray writeNumberedLines(const QString &path, qint64 size);
// Hex SHA-1 of a file's bytes, for files too large to compare in memory.
QByteArray sha1Of(const QString &path);

// A temporary folder for one test's files. Folders that the test took rights away from below it
// do not keep it from being removed.
class ScratchFolder {
public:
    ScratchFolder() = default;
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    ~ScratchFolder();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Lets every user create files in it, for jobs run as nobody. False if it could not.
    bool openToAll();

private:
    QTemporaryDir m_dir;
};

// Name -> type, mode, owner and content of everything in a folder, to show that a failed
// command changed nothing and left nothing behind.
QMap<QString, QString> folderSnapshot(const QString &folder);

// Small file systems made for one test and mounted in folders of its own, where the machine
// lets a test mount them (root, a loop device, mkfs.ext4). Unmounted, last first, when it goes.
class ScratchMounts {
public:
    ScratchMounts() = default;
    ScratchMounts(const ScratchMounts &) = delete;
    ScratchMounts &operator=(const ScratchMounts &) = delete;
    ~ScratchMounts();

    // Each returns an empty string when mounted, else why not.
    QString ext4(const QString &image, qint64 bytes, const QStringList &mkfsOptions,
                 const QString &mountPoint);
    QString tmpfs(qint64 bytes, const QString &mountPoint);
    // `folder` again through FUSE (bindfs), as network shares and phones are mounted: a file
    // system that refuses unnamed temporary files. Unmounted also when this process dies.
    QString fuse(const QString &folder, const QString &mountPoint);

private:
    QStringList m_mounted;
    std::vector<std::unique_ptr<QProcess>> m_daemons;
};

// Writes zeros to path until the file system is full and syncs. Returns false if it could not.
bool fillFileSystem(const QString &path);
// Gives back about `bytes` of the space that fillFileSystem took with path.
bool freeSpace(const QString &path, qint64 bytes);
qint64 availableBytes(const QString &folder);

} // namespace vellumo::test
