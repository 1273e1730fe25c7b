#include "platform/files/FileLayer.h"

#include "platform/Failure.h"
#include "platform/files/CodePage.h"
#include "platform/files/ReadCheck.h"
#include "platform/files/ReplacementFile.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vellumo {

namespace {

constexpr qsizetype kReadChunk = 4 * 1024 * 1024;
constexpr qsizetype kWriteChunk = 1024 * 1024;
constexpr int kMaxLinkHops = 40;

QString quoted(const QString &path)
{
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

// Qt's messages sometimes end in a full stop; ours add their own.
QString asReason(QString reason)
{
    while (reason.endsWith(u'.'))
        reason.chop(1);
    return reason.isEmpty() ? QStringLiteral("Unknown error") : reason;
}

[[noreturn]] void failOpen(const QString &path, const QString &reason)
{
    throw Failure(
        QStringLiteral("Cannot open %1 for reading: %2.").arg(quoted(path), asReason(reason)));
}

[[noreturn]] void failRead(const QString &path, const QString &reason)
{
    throw Failure(QStringLiteral("Cannot read %1: %2.").arg(quoted(path), asReason(reason)));
}

[[noreturn]] void failChanged(const QString &path)
{
    throw Failure(
        QStringLiteral("Cannot read %1: the file changed while it was read.").arg(quoted(path)));
}

[[noreturn]] void failSave(const QString &path, const QString &reason)
{
    throw Failure(QStringLiteral("Cannot save %1: %2.").arg(quoted(path), asReason(reason)));
}

QString reasonForType(mode_t mode)
{
    return S_ISDIR(mode) ? qt_error_string(EISDIR) : QStringLiteral("Not a regular file");
}

// The file a save really replaces, so the checks below look at it and a link stays a link.
QString resolveLinks(const QString &path)
{
    QFileInfo info(path);
    for (int hops = 0; info.isSymLink(); ++hops) {
        if (hops == kMaxLinkHops)
            failSave(path, qt_error_string(ELOOP));
        info.setFile(info.symLinkTarget());
    }
    return info.filePath();
}

} // namespace

struct FileLayer::Channel {
    QString path;
    bool forOutput = false;
    int fd = -1;
    std::unique_ptr<ReplacementFile> out;
    // Encoded text waits here so that every write to the disk is large and checked.
    std::unique_ptr<char[]> pending;
    qsizetype pendingSize = 0;
    // A high surrogate that ended one write and may pair with the next.
    QChar heldHigh;

    Channel() = default;
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;
    ~Channel()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

FileLayer::FileLayer() = default;

// An unfinished save is discarded with its temporary file.
FileLayer::~FileLayer() = default;

int FileLayer::freeFile()
{
    int number = 1;
    while (m_channels.count(number) != 0)
        ++number;
    return number;
}

void FileLayer::claim(int fileNumber) const
{
    if (fileNumber < 1)
        throw Failure(QStringLiteral("%1 is not a valid file number.").arg(fileNumber));
    if (m_channels.count(fileNumber) != 0)
        throw Failure(QStringLiteral("File number %1 is already open.").arg(fileNumber));
}

FileLayer::Channel &FileLayer::channel(int fileNumber)
{
    const auto it = m_channels.find(fileNumber);
    if (it == m_channels.end())
        throw Failure(QStringLiteral("File number %1 is not open.").arg(fileNumber));
    return *it->second;
}

void FileLayer::openForInput(int fileNumber, const QString &path)
{
    claim(fileNumber);
    auto ch = std::make_unique<Channel>();
    ch->path = path;

    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    // Opening a device or a pipe can block or have side effects, so look before opening...
    if (::stat(name.constData(), &st) != 0)
        failOpen(path, qt_error_string(errno));
    if (!S_ISREG(st.st_mode))
        failOpen(path, reasonForType(st.st_mode));
    do {
        ch->fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (ch->fd < 0 && errno == EINTR);
    if (ch->fd < 0)
        failOpen(path, qt_error_string(errno));
    // ...and look again at what was opened, in case the path was replaced in between.
    if (::fstat(ch->fd, &st) != 0)
        failOpen(path, qt_error_string(errno));
    if (!S_ISREG(st.st_mode))
        failOpen(path, reasonForType(st.st_mode));
    const int flags = ::fcntl(ch->fd, F_GETFL);
    if (flags < 0 || ::fcntl(ch->fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
        failOpen(path, qt_error_string(errno));

    m_channels[fileNumber] = std::move(ch);
}

qint64 FileLayer::length(int fileNumber)
{
    Channel &ch = channel(fileNumber);
    if (ch.forOutput)
        throw Failure(QStringLiteral("File number %1 is not open for reading.").arg(fileNumber));
    struct stat st;
    if (::fstat(ch.fd, &st) != 0)
        failRead(ch.path, qt_error_string(errno));
    return st.st_size;
}

struct FileLayer::Reading {
    const Channel *channel;
    qint64 position;
    struct stat before;
};

FileLayer::Reading FileLayer::startInput(int fileNumber, qint64 count)
{
    Channel &ch = channel(fileNumber);
    if (ch.forOutput)
        throw Failure(QStringLiteral("File number %1 is not open for reading.").arg(fileNumber));
    Reading reading{&ch, 0, {}};
    if (count <= 0)
        return reading;
    reading.position = ::lseek(ch.fd, 0, SEEK_CUR);
    if (reading.position < 0)
        failRead(ch.path, qt_error_string(errno));
    if (::fstat(ch.fd, &reading.before) != 0)
        failRead(ch.path, qt_error_string(errno));
    // Checked up front so a file that shrank is not met with a huge allocation.
    if (count > reading.before.st_size - reading.position)
        failChanged(ch.path);
    return reading;
}

void FileLayer::read(const Reading &reading, char *into, qint64 count,
                     const std::function<void(qint64)> &arrived, const Steps &checked)
{
    const Channel &ch = *reading.channel;
    qint64 done = 0;
    while (done < count) {
        const qint64 wanted = std::min<qint64>(count - done, kReadChunk);
        const ssize_t got = ::read(ch.fd, into + done, size_t(wanted));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failRead(ch.path, qt_error_string(errno));
        }
        if (got == 0)
            failChanged(ch.path);
        done += got;
        arrived(done);
    }
    if (const int result = checkReadBack(ch.fd, reading.position, QByteArrayView(into, count),
                                         reading.before, checked)) {
        if (result < 0)
            failChanged(ch.path);
        failRead(ch.path, qt_error_string(result));
    }
}

QByteArray FileLayer::input(int fileNumber, qint64 count, const Steps &steps)
{
    const Reading reading = startInput(fileNumber, count);
    if (count <= 0)
        return QByteArray();
    QByteArray bytes(count, Qt::Uninitialized);
    read(
        reading, bytes.data(), count,
        [&](qint64 done) {
            if (steps)
                steps(double(done) / double(count));
        },
        steps);
    return bytes;
}

void FileLayer::input(int fileNumber, QByteArray &into, const std::function<void(qint64)> &arrived)
{
    const qint64 count = into.size();
    const Reading reading = startInput(fileNumber, count);
    if (count > 0)
        read(reading, into.data(), count, arrived, [&](double) { arrived(count); });
}

void FileLayer::openForOutput(int fileNumber, const QString &path)
{
    claim(fileNumber);
    const QString target = resolveLinks(path);

    // A save would happily replace a read-only file, a pipe or a device with a new regular
    // file, and report a missing folder in terms of its temporary file. Check first, in terms
    // the user knows.
    const QByteArray name = QFile::encodeName(target);
    struct stat st;
    const bool existed = ::stat(name.constData(), &st) == 0;
    if (!existed && errno != ENOENT)
        failSave(path, qt_error_string(errno));
    if (existed) {
        if (!S_ISREG(st.st_mode))
            failSave(path, reasonForType(st.st_mode));
        if (::access(name.constData(), W_OK) != 0)
            failSave(path, qt_error_string(errno));
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    struct stat folderSt;
    if (::stat(folder.constData(), &folderSt) != 0)
        failSave(path, qt_error_string(errno));
    if (!S_ISDIR(folderSt.st_mode))
        failSave(path, qt_error_string(ENOTDIR));
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        failSave(path, qt_error_string(errno));

    auto ch = std::make_unique<Channel>();
    ch->path = path;
    ch->forOutput = true;
    // The file keeps its mode; a new one gets what the umask leaves of read and write for all.
    const mode_t mode = existed ? (st.st_mode & 07777) : (0666 & ~currentUmask());
    ch->out = std::make_unique<ReplacementFile>();
    if (const int error = ch->out->create(target, mode))
        failSave(path, qt_error_string(error));
    // The new file belongs to whoever saves it; keep the old owner when allowed (root editing
    // a user's file). Failing is harmless otherwise.
    if (existed && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
        (void)!::fchown(ch->out->handle(), st.st_uid, st.st_gid);

    ch->pending = std::make_unique<char[]>(kWriteChunk);
    m_channels[fileNumber] = std::move(ch);
}

void FileLayer::write(int fileNumber, QStringView text)
{
    append(fileNumber, outputChannel(fileNumber), text, true);
}

void FileLayer::writeLine(int fileNumber, QStringView text)
{
    Channel &ch = outputChannel(fileNumber);
    append(fileNumber, ch, text, false);
    if (ch.pendingSize + 2 > kWriteChunk)
        flush(fileNumber, ch);
    ch.pending[ch.pendingSize++] = '\r';
    ch.pending[ch.pendingSize++] = '\n';
}

FileLayer::Channel &FileLayer::outputChannel(int fileNumber)
{
    Channel &ch = channel(fileNumber);
    if (!ch.forOutput)
        throw Failure(QStringLiteral("File number %1 is not open for writing.").arg(fileNumber));
    return ch;
}

void FileLayer::append(int fileNumber, Channel &ch, QStringView text, bool more)
{
    // A surrogate pair is one character and one '?', also when it is split between two writes
    // or two chunks.
    if (!ch.heldHigh.isNull()) {
        const QChar pair[2] = {std::exchange(ch.heldHigh, QChar()),
                               text.isEmpty() ? QChar() : text.front()};
        const bool paired = pair[1].isLowSurrogate();
        encodeInto(fileNumber, ch, QStringView(pair, paired ? 2 : 1));
        if (paired)
            text = text.sliced(1);
    }
    if (more && !text.isEmpty() && text.back().isHighSurrogate()) {
        ch.heldHigh = text.back();
        text.chop(1);
    }
    encodeInto(fileNumber, ch, text);
}

void FileLayer::encodeInto(int fileNumber, Channel &ch, QStringView text)
{
    while (!text.isEmpty()) {
        qsizetype take = std::min(kWriteChunk - ch.pendingSize, text.size());
        if (take < text.size() && text[take - 1].isHighSurrogate() && text[take].isLowSurrogate())
            --take;
        if (take > 0) {
            ch.pendingSize += encodeCp1252Into(text.first(take), ch.pending.get() + ch.pendingSize);
            text = text.sliced(take);
        }
        if (take == 0 || ch.pendingSize == kWriteChunk)
            flush(fileNumber, ch);
    }
}

void FileLayer::flush(int fileNumber, Channel &ch)
{
    if (ch.pendingSize == 0)
        return;
    if (const int error = ch.out->write(ch.pending.get(), ch.pendingSize))
        abandonSave(fileNumber, qt_error_string(error));
    ch.pendingSize = 0;
}

void FileLayer::abandonSave(int fileNumber, const QString &reason)
{
    const auto it = m_channels.find(fileNumber);
    const QString path = it->second->path;
    m_channels.erase(it); // discards the temporary file
    failSave(path, reason);
}

void FileLayer::close(int fileNumber, const std::function<void()> &waiting)
{
    finish(fileNumber, true, waiting);
}

void FileLayer::abandon(int fileNumber)
{
    finish(fileNumber, false);
}

void FileLayer::finish(int fileNumber, bool commit, const std::function<void()> &waiting)
{
    const auto it = m_channels.find(fileNumber);
    if (it == m_channels.end())
        return;
    Channel &ch = *it->second;
    if (!ch.forOutput || !commit) {
        m_channels.erase(it);
        return;
    }

    append(fileNumber, ch, {}, false); // a high surrogate held for a pair that never came
    flush(fileNumber, ch);
    const QString path = ch.path;
    // The commit holds what it commits, so that nothing done while the window paints can take
    // it away. Where no thread can be had, it runs here after all, in get(): std::async then
    // starts again from what it was given, so it is given a copy.
    const std::launch policy =
        waiting ? std::launch::async | std::launch::deferred : std::launch::deferred;
    const auto toCommit = [out = std::shared_ptr<ReplacementFile>(std::move(ch.out))] {
        return out->commit();
    };
    std::future<ReplacementFile::Committed> committed = std::async(policy, toCommit);
    // What the disk did decides what the user is told: painting that fails meanwhile (no memory
    // left, say) ends the painting, not the save.
    try {
        while (waiting &&
               committed.wait_for(std::chrono::milliseconds(10)) == std::future_status::timeout)
            waiting();
    } catch (...) {
    }
    const ReplacementFile::Committed done = committed.get();
    if (done.error != 0 && !done.inPlace)
        abandonSave(fileNumber, qt_error_string(done.error));
    m_channels.erase(fileNumber);
    if (done.error != 0)
        throw Failure(QStringLiteral("Cannot make the save of %1 durable: %2. The file holds the "
                                     "new text, but a power cut may bring the old one back.")
                          .arg(quoted(path), asReason(qt_error_string(done.error))));
}

} // namespace vellumo
