#include "FileKinds.h"

#include "FaultFixtures.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumo::test {

namespace {

bool made(FileKind kind, const QString &path)
{
    switch (kind) {
    case FileKind::Missing:
    case FileKind::Device:
    case FileKind::InMissingFolder:
        return true;
    case FileKind::Folder:
        return QDir().mkdir(path);
    case FileKind::LinkToFolder:
        return QDir().mkdir(path + ".folder") && makeLink(path + ".folder", path);
    case FileKind::Fifo:
        return ::mkfifo(native(path).constData(), 0666) == 0;
    case FileKind::Socket:
        // An unbound socket's inode, which nothing listens on.
        return ::mknod(native(path).constData(), S_IFSOCK | 0666, 0) == 0;
    case FileKind::DanglingLink:
        return makeLink(path + ".missing", path);
    case FileKind::LinkLoop:
        return makeLink(path + ".loop", path) && makeLink(path, path + ".loop");
    case FileKind::UnderAFile:
        return writeFile(path, "old");
    case FileKind::Oversized:
    case FileKind::Huge: {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) &&
               file.resize(kind == FileKind::Huge ? qint64(1) << 40 : qint64(1) << 31);
    }
    }
    return false;
}

} // namespace

bool makeLink(const QString &target, const QString &link)
{
    return ::symlink(native(target).constData(), native(link).constData()) == 0;
}

QString makeFile(FileKind kind, const QString &folder, const QString &name)
{
    const QString path = folder + u'/' + name;
    if (!made(kind, path))
        return QString();
    switch (kind) {
    case FileKind::Device:
        return QStringLiteral("/dev/zero");
    case FileKind::UnderAFile:
    case FileKind::InMissingFolder:
        return path + QStringLiteral("/new.txt");
    default:
        return path;
    }
}

} // namespace vellumo::test
