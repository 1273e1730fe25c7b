#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <sys/types.h>

namespace vellumo {

// The mask a new file's mode goes through, as this process has it.
mode_t currentUmask();

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
    // What a commit came to. An error with the new text in place is the disk's failing to make
    // the new name durable: a power cut may yet bring the old file back.
    struct Committed {
        int error = 0;
        bool inPlace = false;
    };
    Committed commit();
    void discard();
    int handle() const { return m_fd; }

private:
    QByteArray siblingName(const QByteArray &suffix) const;
    int syncFolder() const;

    QByteArray m_target;
    QByteArray m_folder;
    QByteArray m_name; // while the file has a name of its own
    mode_t m_finalMode = 0;
    int m_fd = -1;
    qint64 m_written = 0;
    qint64 m_startedTo = 0; // the disk has been asked to write everything before this
};

} // namespace vellumo
