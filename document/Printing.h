#pragma once

namespace vellumo {

class CommonDialog;
class Printer;
class RichTextBox;

// File, Print: the area's plain text and the printer dialog's copy count go
// out as one print line, one document per command. Returns whether it
// printed: a cancelled dialog prints nothing. A failure throws, and the area
// is never touched.
bool printAreaText(CommonDialog &dialog, RichTextBox &area, Printer &printer);

} // namespace vellumo
