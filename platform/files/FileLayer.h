#pragma once

#include "platform/Progress.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <functional>
#include <map>
#include <memory>

namespace vellumo {

// Numbered files, read and written as Windows-1252 text. Every operation that cannot be done
// throws vellumo::Failure with a message naming the file and the system's reason.
class FileLayer {
public:
    FileLayer();
    ~FileLayer();
    FileLayer(const FileLayer &) = delete;
    FileLayer &operator=(const FileLayer &) = delete;

    // The lowest file number, from 1, not open.
    int freeFile();

    // Only regular files can be read; folders, pipes and devices are refused without blocking.
    void openForInput(int fileNumber, const QString &path);
    qint64 length(int fileNumber);
    // The next count bytes, each one character of the text (decodeCp1252). Rather than give a
    // mix of old and new, fails when another program changes them while they are read. A big
    // read reports its progress to steps, which may end it by throwing.
    QByteArray input(int fileNumber, qint64 count, const Steps &steps);
    QByteArray input(int fileNumber, qint64 count) { return input(fileNumber, count, {}); }
    // The same into `into`, as many bytes as it holds, for another thread to take them in as
    // they come: `arrived` hears how many are in after each part, and again while they are
    // checked. It may end the read by throwing.
    void input(int fileNumber, QByteArray &into, const std::function<void(qint64)> &arrived);

    // Nothing reaches path until close() succeeds; a failed save leaves the old file as it was.
    void openForOutput(int fileNumber, const QString &path);
    // Writes text, unencodable characters as '?', then CR LF. A failure discards the save and
    // frees the file number.
    void writeLine(int fileNumber, QStringView text);
    // The same without the line end, for a text written in parts: a surrogate pair split
    // between two parts is still one character.
    void write(int fileNumber, QStringView text);

    // Commits a save. Closing a number that is not open does nothing. The disk's last sync of a
    // big file can take a while; waiting, if given, is called every few milliseconds meanwhile,
    // and what it throws ends only the waiting. A disk that fails to make the new name durable
    // fails the close with the new text in place, and says so.
    void close(int fileNumber, const std::function<void()> &waiting = {});
    // Closes without committing: a save left unfinished leaves the old file as it was.
    void abandon(int fileNumber);

private:
    struct Channel;

    Channel &channel(int fileNumber);
    Channel &outputChannel(int fileNumber);
    void append(int fileNumber, Channel &ch, QStringView text, bool more);
    void encodeInto(int fileNumber, Channel &ch, QStringView text);
    void claim(int fileNumber) const;
    // Checks that count bytes can be read, and notes what the check after reading compares.
    struct Reading;
    Reading startInput(int fileNumber, qint64 count);
    void read(const Reading &reading, char *into, qint64 count,
              const std::function<void(qint64)> &arrived, const Steps &checked);
    void flush(int fileNumber, Channel &ch);
    void finish(int fileNumber, bool commit, const std::function<void()> &waiting = {});
    [[noreturn]] void abandonSave(int fileNumber, const QString &reason);

    std::map<int, std::unique_ptr<Channel>> m_channels;
};

} // namespace vellumo
