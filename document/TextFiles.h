#pragma once

#include <QByteArray>
#include <optional>

namespace vellumo {

class CommonDialog;
class FileLayer;
class MessageBoxService;
class ProgressService;
class RichTextBox;

// What a load or a save leaves for the window to keep: the file number it
// took, and the text read (a load: the file's bytes, each one character, at
// half the memory of the decoded text) or whether it wrote (a save). No text,
// or saved false, means the user chose no file (or declined to save lossy text).
struct LoadResult {
    int fileNumber = 0;
    std::optional<QByteArray> text;
};
struct SaveResult {
    int fileNumber = 0;
    bool saved = false;
};

// A load replaces the area's text with the file's; a save writes the area's
// text and CR LF. Both show their progress over the area's window. A failure
// throws, and so does Cancel (vellumo::Cancelled); the area keeps its text,
// and a save that does not finish leaves the old file as it was.
LoadResult loadTextFile(CommonDialog &dialog, RichTextBox &area, FileLayer &files,
                        ProgressService &progress);
SaveResult saveTextFile(CommonDialog &dialog, RichTextBox &area, FileLayer &files,
                        MessageBoxService &messages, ProgressService &progress);

} // namespace vellumo
