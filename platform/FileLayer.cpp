#include "platform/FileLayer.h"

#include "platform/CodePage.h"
#include "platform/Failure.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <QSaveFile>
#else
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

QString notRegularReason()
{
    return QStringLiteral("Not a regular file");
}

#ifndef Q_OS_WIN
QString reasonForType(mode_t mode)
{
    return S_ISDIR(mode) ? qt_error_string(EISDIR) : notRegularReason();
}
#endif

// The file a save really replaces, so the checks below look at it and a link stays a link.
QString resolveLinks(const QString &path)
{
    QFileInfo info(path);
    for (int hops = 0; info.isSymLink(); ++hops) {
        if (hops == kMaxLinkHops)
#ifdef Q_OS_WIN
            failSave(path, QStringLiteral("Too many levels of symbolic links"));
#else
            failSave(path, qt_error_string(ELOOP));
#endif
        info.setFile(info.symLinkTarget());
    }
    return info.filePath();
}

#ifndef Q_OS_WIN
mode_t currentUmask()
{
    // Read rather than set: setting it, even for a moment, would change it for every thread.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:"))
                return mode_t(std::strtoul(line.constData() + 6, nullptr, 8) & 0777);
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// A new version of a file, written beside it and put in its place in one step, so that the
// target holds the whole old text or the whole new one, never part of either. Only the owner
// may open it until it takes the target's place and mode. Where the file system allows, it has
// no name until then, so that a killed program leaves nothing behind; elsewhere its name is the
// target's followed by a dot and six random characters.
class ReplacementFile {
public:
    ReplacementFile() = default;
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;
    ~ReplacementFile() { discard(); }

    // Each returns 0 or the errno that stopped it.
    int create(const QString &target, mode_t finalMode);
    int write(const char *data, qint64 size);
    int commit();
    void discard();
    int handle() const { return m_fd; }

private:
    QByteArray siblingName(const QByteArray &suffix) const;

    QByteArray m_target;
    QByteArray m_folder;
    QByteArray m_name; // while the file has a name of its own
    mode_t m_finalMode = 0;
    int m_fd = -1;
};

QByteArray ReplacementFile::siblingName(const QByteArray &suffix) const
{
    // Within the longest name a folder takes, cutting no UTF-8 sequence, so that a target whose
    // name is already that long can still be replaced.
    const qsizetype slash = m_target.lastIndexOf('/');
    QByteArray base = m_target.mid(slash + 1);
    const qsizetype room = NAME_MAX - 1 - suffix.size();
    if (base.size() > room) {
        qsizetype cut = room;
        while (cut > 0 && (uchar(base.at(cut)) & 0xC0) == 0x80)
            --cut;
        base.truncate(cut);
    }
    return m_folder + '/' + base + '.' + suffix;
}

int ReplacementFile::create(const QString &target, mode_t finalMode)
{
    m_target = QFile::encodeName(target);
    m_folder = QFile::encodeName(QFileInfo(target).absolutePath());
    m_finalMode = finalMode;
#ifdef O_TMPFILE
    // Naming it later goes through /proc.
    if (::access("/proc/self/fd", X_OK) == 0) {
        m_fd = ::open(m_folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (m_fd >= 0)
            return 0;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
    }
#endif
    QByteArray name = siblingName("XXXXXX");
    m_fd = ::mkostemp(name.data(), O_CLOEXEC); // owner-only, whatever the umask
    if (m_fd < 0)
        return errno;
    m_name = name;
    return 0;
}

int ReplacementFile::write(const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        data += n;
        size -= n;
    }
    return 0;
}

int ReplacementFile::commit()
{
    if (::fchmod(m_fd, m_finalMode) != 0)
        return errno;
    // An error the disk reports only now (a full disk under delayed allocation, quota, network
    // file systems) must fail the save rather than let a short file replace the old one.
    if (::fsync(m_fd) != 0)
        return errno;
    if (m_name.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, m_target.constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            discard();
            return 0;
        }
        if (errno != EEXIST)
            return errno;
        // The target exists: name the new text beside it, then swap it in.
        static const char letters[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int attempt = 0; m_name.isEmpty(); ++attempt) {
            QByteArray suffix(6, Qt::Uninitialized);
            for (char &c : suffix)
                c = letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
            const QByteArray name = siblingName(suffix);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(),
                         AT_SYMLINK_FOLLOW) == 0)
                m_name = name;
            else if (errno != EEXIST || attempt == 100)
                return errno;
        }
    }
    if (::rename(m_name.constData(), m_target.constData()) != 0)
        return errno;
    m_name.clear();
    discard();

    // Makes the new name durable, so that a power cut after a save reported done does not
    // bring the old file back. The text is in place already: a folder that refuses is no
    // failure.
    const int folder = ::open(m_folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return 0;
}

void ReplacementFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_name.isEmpty()) {
        ::unlink(m_name.constData());
        m_name.clear();
    }
}
#endif

} // namespace

struct DiskFileLayer::Channel {
    QString path;
    bool forOutput = false;
#ifdef Q_OS_WIN
    std::unique_ptr<QFile> in;
#else
    int fd = -1;
#endif
#ifdef Q_OS_WIN
    std::unique_ptr<QSaveFile> out;
#else
    std::unique_ptr<ReplacementFile> out;
#endif
    // Encoded text waits here so that every write to the disk is large and checked.
    std::unique_ptr<char[]> pending;
    qsizetype pendingSize = 0;

    Channel() = default;
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;
    ~Channel()
    {
#ifndef Q_OS_WIN
        if (fd >= 0)
            ::close(fd);
#endif
    }
};

DiskFileLayer::DiskFileLayer() = default;

// An unfinished save is discarded with its temporary file.
DiskFileLayer::~DiskFileLayer() = default;

int DiskFileLayer::freeFile()
{
    int number = 1;
    while (m_channels.count(number) != 0)
        ++number;
    return number;
}

void DiskFileLayer::claim(int fileNumber) const
{
    if (fileNumber < 1)
        throw Failure(QStringLiteral("%1 is not a valid file number.").arg(fileNumber));
    if (m_channels.count(fileNumber) != 0)
        throw Failure(QStringLiteral("File number %1 is already open.").arg(fileNumber));
}

DiskFileLayer::Channel &DiskFileLayer::channel(int fileNumber)
{
    const auto it = m_channels.find(fileNumber);
    if (it == m_channels.end())
        throw Failure(QStringLiteral("File number %1 is not open.").arg(fileNumber));
    return *it->second;
}

void DiskFileLayer::openForInput(int fileNumber, const QString &path)
{
    claim(fileNumber);
    auto ch = std::make_unique<Channel>();
    ch->path = path;

#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        failOpen(path, notRegularReason());
    ch->in = std::make_unique<QFile>(path);
    if (!ch->in->open(QIODevice::ReadOnly))
        failOpen(path, ch->in->errorString());
#else
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
#endif

    m_channels[fileNumber] = std::move(ch);
}

qint64 DiskFileLayer::length(int fileNumber)
{
    Channel &ch = channel(fileNumber);
    if (ch.forOutput)
        throw Failure(QStringLiteral("File number %1 is not open for reading.").arg(fileNumber));
#ifdef Q_OS_WIN
    return ch.in->size();
#else
    struct stat st;
    if (::fstat(ch.fd, &st) != 0)
        failRead(ch.path, qt_error_string(errno));
    return st.st_size;
#endif
}

QString DiskFileLayer::input(int fileNumber, qint64 count)
{
    Channel &ch = channel(fileNumber);
    if (ch.forOutput)
        throw Failure(QStringLiteral("File number %1 is not open for reading.").arg(fileNumber));
    if (count <= 0)
        return QString();

        // Checked up front so a file that shrank is not met with a huge allocation.
#ifdef Q_OS_WIN
    const qint64 position = ch.in->pos();
#else
    const qint64 position = ::lseek(ch.fd, 0, SEEK_CUR);
    if (position < 0)
        failRead(ch.path, qt_error_string(errno));
#endif
    if (count > length(fileNumber) - position)
        failChanged(ch.path);

    QString text(count, Qt::Uninitialized);
    QChar *out = text.data();
    const auto buffer = std::make_unique<char[]>(std::min<qint64>(count, kReadChunk));
    qint64 done = 0;
    while (done < count) {
        const qint64 wanted = std::min<qint64>(count - done, kReadChunk);
#ifdef Q_OS_WIN
        const qint64 got = ch.in->read(buffer.get(), wanted);
        if (got < 0)
            failRead(ch.path, ch.in->errorString());
#else
        const ssize_t got = ::read(ch.fd, buffer.get(), size_t(wanted));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failRead(ch.path, qt_error_string(errno));
        }
#endif
        if (got == 0)
            failChanged(ch.path);
        decodeCp1252Into(QByteArrayView(buffer.get(), got), out + done);
        done += got;
    }

#ifndef Q_OS_WIN
    // A file that another program rewrites meanwhile can read as a mix of old, new and zero
    // bytes, and nothing tells. Read it once more: only what reads the same twice is the file's
    // text.
    const auto check = std::make_unique<QChar[]>(size_t(std::min<qint64>(count, kReadChunk)));
    for (qint64 at = 0; at < count;) {
        const qint64 wanted = std::min<qint64>(count - at, kReadChunk);
        const ssize_t got = ::pread(ch.fd, buffer.get(), size_t(wanted), position + at);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            failRead(ch.path, qt_error_string(errno));
        }
        if (got == 0)
            failChanged(ch.path);
        decodeCp1252Into(QByteArrayView(buffer.get(), got), check.get());
        if (std::memcmp(check.get(), out + at, size_t(got) * sizeof(QChar)) != 0)
            failChanged(ch.path);
        at += got;
    }
#endif
    return text;
}

void DiskFileLayer::openForOutput(int fileNumber, const QString &path)
{
    claim(fileNumber);
    const QString target = resolveLinks(path);

    // A save would happily replace a read-only file, a pipe or a device with a new regular
    // file, and report a missing folder in terms of its temporary file. Check first, in terms
    // the user knows.
#ifdef Q_OS_WIN
    const QFileInfo info(target);
    const bool existed = info.exists();
    if (existed && !info.isFile())
        failSave(path, info.isDir() ? QStringLiteral("Is a directory") : notRegularReason());
    if (existed && !info.isWritable())
        failSave(path, QStringLiteral("Permission denied"));
#else
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
#endif

    auto ch = std::make_unique<Channel>();
    ch->path = path;
    ch->forOutput = true;
#ifdef Q_OS_WIN
    ch->out = std::make_unique<QSaveFile>(target);
    ch->out->setDirectWriteFallback(false);
    // Unbuffered, so every write reaches the disk at once and its count can be trusted.
    if (!ch->out->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        failSave(path, ch->out->errorString());
#else
    // The file keeps its mode; a new one gets what the umask leaves of read and write for all.
    const mode_t mode = existed ? (st.st_mode & 07777) : (0666 & ~currentUmask());
    ch->out = std::make_unique<ReplacementFile>();
    if (const int error = ch->out->create(target, mode))
        failSave(path, qt_error_string(error));
    // The new file belongs to whoever saves it; keep the old owner when allowed (root editing
    // a user's file). Failing is harmless otherwise.
    if (existed && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
        (void)!::fchown(ch->out->handle(), st.st_uid, st.st_gid);
#endif

    ch->pending = std::make_unique<char[]>(kWriteChunk);
    m_channels[fileNumber] = std::move(ch);
}

void DiskFileLayer::printLine(int fileNumber, QStringView text)
{
    Channel &ch = channel(fileNumber);
    if (!ch.forOutput)
        throw Failure(QStringLiteral("File number %1 is not open for writing.").arg(fileNumber));

    while (!text.isEmpty()) {
        qsizetype take = std::min(kWriteChunk - ch.pendingSize, text.size());
        // A surrogate pair split between chunks would become "??" instead of "?".
        if (take < text.size() && text[take - 1].isHighSurrogate() && text[take].isLowSurrogate())
            --take;
        if (take > 0) {
            ch.pendingSize += encodeCp1252Into(text.first(take), ch.pending.get() + ch.pendingSize);
            text = text.sliced(take);
        }
        if (take == 0 || ch.pendingSize == kWriteChunk)
            flush(fileNumber, ch);
    }
    if (ch.pendingSize + 2 > kWriteChunk)
        flush(fileNumber, ch);
    ch.pending[ch.pendingSize++] = '\r';
    ch.pending[ch.pendingSize++] = '\n';
}

void DiskFileLayer::flush(int fileNumber, Channel &ch)
{
    if (ch.pendingSize == 0)
        return;
#ifdef Q_OS_WIN
    const qint64 written = ch.out->write(ch.pending.get(), ch.pendingSize);
    if (written != ch.pendingSize)
        abandonSave(fileNumber, ch.out->errorString());
#else
    if (const int error = ch.out->write(ch.pending.get(), ch.pendingSize))
        abandonSave(fileNumber, qt_error_string(error));
#endif
    ch.pendingSize = 0;
}

void DiskFileLayer::abandonSave(int fileNumber, const QString &reason)
{
    const auto it = m_channels.find(fileNumber);
    const QString path = it->second->path;
#ifdef Q_OS_WIN
    it->second->out->cancelWriting();
#endif
    m_channels.erase(it); // discards the temporary file
    failSave(path, reason);
}

void DiskFileLayer::close(int fileNumber)
{
    const auto it = m_channels.find(fileNumber);
    if (it == m_channels.end())
        return;
    Channel &ch = *it->second;
    if (!ch.forOutput) {
        m_channels.erase(it);
        return;
    }

    flush(fileNumber, ch);
#ifdef Q_OS_WIN
    const bool committed = ch.out->commit();
    const QString reason = ch.out->errorString();
    const QString path = ch.path;
    m_channels.erase(it);
    if (!committed)
        failSave(path, reason);
#else
    if (const int error = ch.out->commit())
        abandonSave(fileNumber, qt_error_string(error));
    m_channels.erase(it);
#endif
}

} // namespace vellumo
