#include "platform/files/ReplacementFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumo {

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
    // Naming it later goes through /proc.
    if (::access("/proc/self/fd", X_OK) == 0) {
        m_fd = ::open(m_folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (m_fd >= 0)
            return 0;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
    }
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
        m_written += n;
    }
    // The disk starts on what is written while the rest is still being made, so that the one
    // sync at the end has little left to wait for and the save ends soon after its last byte.
    constexpr qint64 kWriteBehind = qint64(16) << 20;
    if (m_written - m_startedTo >= kWriteBehind) {
        ::sync_file_range(m_fd, m_startedTo, m_written - m_startedTo, SYNC_FILE_RANGE_WRITE);
        m_startedTo = m_written;
    }
    return 0;
}

ReplacementFile::Committed ReplacementFile::commit()
{
    if (::fchmod(m_fd, m_finalMode) != 0)
        return {errno};
    // An error the disk reports only now (a full disk under delayed allocation, quota, network
    // file systems) must fail the save rather than let a short file replace the old one.
    if (::fsync(m_fd) != 0)
        return {errno};
    if (m_name.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, m_target.constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            discard();
            return {syncFolder(), true};
        }
        if (errno != EEXIST)
            return {errno};
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
                return {errno};
        }
    }
    if (::rename(m_name.constData(), m_target.constData()) != 0)
        return {errno};
    m_name.clear();
    discard();
    return {syncFolder(), true};
}

// Makes the new name durable, so that a power cut after a save reported done does not bring the
// old file back, or lose a new one. A folder that cannot be synced at all (EINVAL) or that is
// read-only is no failure; a disk that fails to sync it is.
int ReplacementFile::syncFolder() const
{
    const int folder = ::open(m_folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return 0;
    const int error = ::fsync(folder) == 0 ? 0 : errno;
    ::close(folder);
    return error == EINVAL || error == EROFS ? 0 : error;
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

} // namespace vellumo
