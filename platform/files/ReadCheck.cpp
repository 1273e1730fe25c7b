#include "platform/files/ReadCheck.h"

#include <QByteArrayView>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace vellumo {

namespace {

constexpr qint64 kChunk = 4 * 1024 * 1024;
// Read again when the stamps did not move: the first and last block and blocks spread evenly
// between.
constexpr qint64 kSamples = 32;
constexpr qint64 kSampleBytes = 4096;

bool sameStamps(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Whether the file holds bytes.mid(at, length) at position + at.
int compareWithFile(int fd, qint64 position, QByteArrayView bytes, qint64 at, qint64 length,
                    const Steps &steps)
{
    const qint64 chunk = std::min(length, kChunk);
    const auto check = std::make_unique<char[]>(size_t(chunk));
    for (const qint64 end = at + length; at < end;) {
        const ssize_t got =
            ::pread(fd, check.get(), size_t(std::min(end - at, chunk)), position + at);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return -1;
        if (std::memcmp(check.get(), bytes.data() + at, size_t(got)) != 0)
            return -1;
        at += got;
        if (steps)
            steps(double(at) / double(bytes.size()));
    }
    return 0;
}

} // namespace

int checkReadBack(int fd, qint64 position, QByteArrayView bytes, const struct stat &before,
                  const Steps &steps)
{
    // A write moves the stamps, and then only what reads the same twice is the file's text.
    // Unmoved stamps still miss a rewrite within one tick of a coarse clock, which a few blocks
    // read again catch at little cost; writes through a mapping, which move no stamps either,
    // they catch only in part.
    struct stat after;
    if (::fstat(fd, &after) != 0)
        return errno;
    const qint64 count = bytes.size();
    if (!sameStamps(before, after) || count <= kSamples * kSampleBytes)
        return compareWithFile(fd, position, bytes, 0, count, steps);
    const qint64 stride = (count - kSampleBytes) / (kSamples - 1);
    for (qint64 i = 0; i < kSamples; ++i) {
        // The last sample ends where the text ends.
        const qint64 at = i == kSamples - 1 ? count - kSampleBytes : i * stride;
        if (const int result = compareWithFile(fd, position, bytes, at, kSampleBytes, {}))
            return result;
    }
    return 0;
}

} // namespace vellumo
