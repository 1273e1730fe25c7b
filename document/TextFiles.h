#pragma once

#include <QString>

namespace vellumo {

class CommonDialog;
class FileLayer;
class MessageBoxService;
class RichTextBox;

// What the load and save commands work on: the main window's controls, the
// file layer, and the window-level state they leave behind.
struct TextFileContext {
    CommonDialog &dialog;
    RichTextBox &area;
    FileLayer &files;
    MessageBoxService &messages;
    int &fileNumber;
    QString &loadedText;
};

// Each returns true when a file was actually loaded or saved, false when the
// user chose none (or declined to save lossy text). A failure throws.
bool loadTextFile(TextFileContext &context);
bool saveTextFile(TextFileContext &context);

} // namespace vellumo
