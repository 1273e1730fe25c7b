#include "platform/system/FileSearch.h"

#include "platform/Failure.h"

#include <QDir>
#include <QFileInfo>

namespace vellumo {

QString systemPath(const QString &path)
{
    if (QDir::separator() == QLatin1Char('/')) {
        QString converted = path;
        return converted.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    return path;
}

QString DiskFileSearch::find(const QString &path, int attributes)
{
    // A zero would end the path early and search another one.
    if (path.isEmpty() || path.contains(QChar(0)))
        throw Failure(QStringLiteral("Cannot search for \"%1\": not a file path").arg(path));
    const QFileInfo info(systemPath(path));
    if (!info.exists())
        return QString();
    if (info.isDir() && !(attributes & FileAttr::Directory))
        return QString();
    if (!info.isDir() && !info.isFile())
        return QString();
    if (info.isHidden() && !(attributes & FileAttr::Hidden))
        return QString();
    return info.fileName();
}

} // namespace vellumo
