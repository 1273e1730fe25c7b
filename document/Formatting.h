#pragma once

namespace vellumo {

class CommonDialog;
class RichTextBox;

// Colour and font of the selection, chosen in the common dialog. A cancelled
// dialog changes nothing: the user cancelled to keep what was there.
void colorSelection(CommonDialog &dialog, RichTextBox &area);
void fontSelection(CommonDialog &dialog, RichTextBox &area);

} // namespace vellumo
