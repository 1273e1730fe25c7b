#pragma once

#include "platform/Progress.h"

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <map>
#include <memory>

namespace vellumo {

// Larger files are refused before loading: their text would need twice that in memory.
constexpr qint64 kMaxTextFileBytes = qint64(512) * 1024 * 1024;

// Numbered files, read and written as Windows-1252 text. Every operation that cannot be done
// throws vellumo::Failure with a message naming the file and the system's reason.
class FileLayer {
public:
    virtual ~FileLayer() = default;

    // The lowest file number, from 1, not open.
    virtual int freeFile() = 0;

    // Only regular files can be read; folders, pipes and devices are refused without blocking.
    virtual void openForInput(int fileNumber, const QString &path) = 0;
    virtual qint64 length(int fileNumber) = 0;
    // The next count bytes, one character each. Rather than give a mix of old and new, fails
    // when another program changes them while they are read. A big read reports its progress
    // to steps, which may end it by throwing.
    virtual QString input(int fileNumber, qint64 count, const Steps &steps) = 0;
    QString input(int fileNumber, qint64 count) { return input(fileNumber, count, {}); }

    // Nothing reaches path until close() succeeds; a failed save leaves the old file as it was.
    virtual void openForOutput(int fileNumber, const QString &path) = 0;
    // Writes text, unencodable characters as '?', then CR LF. A failure discards the save and
    // frees the file number.
    virtual void writeLine(int fileNumber, QStringView text) = 0;
    // The same without the line end, for a text written in parts: a surrogate pair split
    // between two parts is still one character.
    virtual void write(int fileNumber, QStringView text) = 0;

    // Commits a save. Closing a number that is not open does nothing.
    virtual void close(int fileNumber) = 0;
    // Closes without committing: a save left unfinished leaves the old file as it was.
    virtual void abandon(int fileNumber) = 0;
};

class DiskFileLayer final : public FileLayer {
public:
    DiskFileLayer();
    ~DiskFileLayer() override;
    DiskFileLayer(const DiskFileLayer &) = delete;
    DiskFileLayer &operator=(const DiskFileLayer &) = delete;

    int freeFile() override;
    void openForInput(int fileNumber, const QString &path) override;
    qint64 length(int fileNumber) override;
    using FileLayer::input;
    QString input(int fileNumber, qint64 count, const Steps &steps) override;
    void openForOutput(int fileNumber, const QString &path) override;
    void writeLine(int fileNumber, QStringView text) override;
    void write(int fileNumber, QStringView text) override;
    void close(int fileNumber) override;
    void abandon(int fileNumber) override;

private:
    struct Channel;

    Channel &channel(int fileNumber);
    Channel &outputChannel(int fileNumber);
    void append(int fileNumber, Channel &ch, QStringView text, bool more);
    void encodeInto(int fileNumber, Channel &ch, QStringView text);
    void claim(int fileNumber) const;
    void flush(int fileNumber, Channel &ch);
    void finish(int fileNumber, bool commit);
    [[noreturn]] void abandonSave(int fileNumber, const QString &reason);

    std::map<int, std::unique_ptr<Channel>> m_channels;
};

} // namespace vellumo
