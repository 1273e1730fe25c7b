#include "document/TextFiles.h"

#include "platform/Failure.h"
#include "platform/Progress.h"
#include "platform/dialogs/BusyCursor.h"
#include "platform/dialogs/CommonDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/files/CodePage.h"
#include "platform/files/FileLayer.h"
#include "platform/system/Memory.h"
#include "platform/textarea/RichTextBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextDocument>
#include <algorithm>
#include <limits>
#include <memory>

namespace vellumo {

namespace {

// Closes an input file on every way out of the load, and drops a save that does not finish.
struct FileGuard {
    FileLayer &files;
    int number;
    ~FileGuard() { files.abandon(number); }
};

QString describeCharacter(QStringView text, qsizetype at)
{
    const char32_t code = QChar::isHighSurrogate(text[at].unicode()) && at + 1 < text.size()
                              ? QChar::surrogateToUcs4(text[at], text[at + 1])
                              : text[at].unicode();
    const QString shown = QChar::isPrint(code)
                              ? QStringLiteral("\u201C%1\u201D ").arg(QString::fromUcs4(&code, 1))
                              : QString();
    return shown + QStringLiteral("(U+%1)").arg(uint(code), 4, 16, QChar(u'0')).toUpper();
}

// What a load holds per byte of the file, as the benchmark measures it: the bytes read, kept as
// the loaded text, and the area's document at two bytes a character with its blocks.
constexpr double kLoadBytesPerFileByte = 3.2;
// And the length the area notes of every line: its room is taken before the load, for the most
// lines it notes in a file of that size.
constexpr qint64 kBytesPerLine = sizeof(decltype(LineLengths::lengths)::value_type);
// The area's positions are 32-bit, and its document ends with one more character.
constexpr qint64 kMaxAreaChars = std::numeric_limits<int>::max() - 1;

QString megabytes(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg((bytes + (1 << 20) - 1) >> 20);
}

// Refuses, before anything is read, a file whose text the area or the memory cannot hold.
void refuseWhatCannotFit(const QString &name, qint64 size)
{
    const QString file = QDir::toNativeSeparators(name);
    const qint64 needed = qint64(double(size) * kLoadBytesPerFileByte) +
                          (size / kBytesPerNotedLine + 1) * kBytesPerLine;
    const qint64 available = memoryAvailable();
    if (available >= 0 && needed > available)
        throw Failure(QStringLiteral("Cannot load \"%1\": loading its %2 may need up to %3 of "
                                     "memory, and only %4 is available.")
                          .arg(file, megabytes(size), megabytes(needed), megabytes(available)));
    if (size > kMaxAreaChars)
        throw Failure(QStringLiteral("Cannot load \"%1\": the file holds %2 characters, and the "
                                     "text area takes at most %3.")
                          .arg(file)
                          .arg(size)
                          .arg(kMaxAreaChars));
}

} // namespace

LoadResult loadTextFile(CommonDialog &dialog, RichTextBox &area, FileLayer &files,
                        ProgressService &progress)
{
    LoadResult result;
    result.fileNumber = files.freeFile();
    dialog.showOpen();
    const QString name = dialog.fileName();
    if (name.isEmpty())
        return result;

    BusyCursor busy;
    const std::unique_ptr<Progress> steps = progress.start(
        area.window(), QStringLiteral("Loading \"%1\"\u2026").arg(QDir::toNativeSeparators(name)));
    files.openForInput(result.fileNumber, name);
    const FileGuard guard{files, result.fileNumber};
    const qint64 size = files.length(result.fileNumber);
    refuseWhatCannotFit(name, size);
    // The area takes in the lines as they are read, on another thread.
    QByteArray bytes(size, Qt::Uninitialized);
    area.setText({bytes, &cp1252Decoding()}, steps->stage(0, 1),
                 [&](const std::function<void(qint64)> &arrived) {
                     files.input(result.fileNumber, bytes, arrived);
                 });
    result.text = std::move(bytes);
    return result;
}

SaveResult saveTextFile(CommonDialog &dialog, RichTextBox &area, FileLayer &files,
                        MessageBoxService &messages, ProgressService &progress)
{
    dialog.showSave();
    SaveResult result;
    result.fileNumber = files.freeFile();
    const QString name = dialog.fileName();
    if (name.isEmpty())
        return result;

    // The text is read from the area part by part, twice, rather than copied whole: a big text
    // would be held two or three times over. The question is modal, so the text cannot change
    // in between.
    const QString label = QStringLiteral("Saving \"%1\"\u2026").arg(QDir::toNativeSeparators(name));
    const qsizetype total = std::max<qsizetype>(1, area.document()->characterCount());
    QString lossy; // the first character a Windows-1252 file cannot hold
    {
        BusyCursor busy; // not over the question below
        const std::unique_ptr<Progress> steps = progress.start(area.window(), label);
        qsizetype done = 0;
        area.forEachPart([&](QStringView part) {
            const qsizetype at = firstUnencodableCp1252(part);
            if (at >= 0)
                lossy = describeCharacter(part, at);
            done += part.size();
            steps->step(0.2 * double(done) / double(total));
            return at < 0;
        });
    }
    if (!lossy.isEmpty()) {
        const int answer = messages.show(
            area.window(),
            QStringLiteral("The text holds characters that a Windows-1252 file cannot hold, the "
                           "first being %1.\n\nSave \"%2\" anyway, with each of them replaced "
                           "by \"?\"?")
                .arg(lossy, QDir::toNativeSeparators(name)),
            MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2,
            QStringLiteral("Save"));
        if (answer != kAnswerYes)
            return result;
    }

    BusyCursor busy;
    const std::unique_ptr<Progress> steps = progress.start(area.window(), label);
    files.openForOutput(result.fileNumber, name);
    FileGuard guard{files, result.fileNumber};
    qsizetype done = 0;
    area.forEachPart([&](QStringView part) {
        files.write(result.fileNumber, part);
        done += part.size();
        steps->step(0.2 + 0.8 * double(done) / double(total));
        return true;
    });
    files.writeLine(result.fileNumber, {});
    // From here the new text takes the old one's place: no Cancel, and the window paints while
    // the disk catches up. Paints, not steps: how long the disk takes changes no step of the work.
    steps->lockIn(label);
    files.close(result.fileNumber,
                [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    result.saved = true;
    return result;
}

} // namespace vellumo
