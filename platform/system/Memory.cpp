#include "platform/system/Memory.h"

#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>

namespace vellumo {

namespace {

// The first number after `key` in a /proc file, times unit; -1 when there is none.
qint64 procNumber(const char *file, const QByteArray &key, qint64 unit)
{
    QFile f(QString::fromLatin1(file));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = f.readAll(); // /proc files have no size to read up to
    const qsizetype at = text.indexOf(key);
    if (at < 0)
        return -1;
    bool ok = false;
    const qint64 number =
        text.mid(at + key.size()).trimmed().split(' ').value(0).trimmed().toLongLong(&ok);
    return ok ? number * unit : -1;
}

} // namespace

qint64 memoryAvailable()
{
    qint64 available = procNumber("/proc/meminfo", "MemAvailable:", 1024);
    struct rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        // The limit counts every mapping, used or not: what VmSize shows.
        const qint64 used = procNumber("/proc/self/statm", "", ::sysconf(_SC_PAGESIZE));
        if (used >= 0) {
            const qint64 left = std::max<qint64>(0, qint64(limit.rlim_cur) - used);
            available = available < 0 ? left : std::min(available, left);
        }
    }
    return available;
}

} // namespace vellumo
