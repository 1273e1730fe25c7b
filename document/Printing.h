#pragma once

namespace vellumo {

class CommonDialog;
class Printer;
class ProgressService;
class RichTextBox;

// File, Print: the area's plain text and the printer dialog's copy count go
// out as one print line, one document per command. Returns whether it
// printed: a cancelled dialog prints nothing. The printing shows its progress
// over the area's window. A failure or Cancel throws, and then no job is sent;
// the area is never touched.
bool printAreaText(CommonDialog &dialog, RichTextBox &area, Printer &printer,
                   ProgressService &progress);

} // namespace vellumo
