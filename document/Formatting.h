#pragma once

namespace vellumo {

class CommonDialog;
class RichTextBox;

// Colour and font of the selection, chosen in the common dialog. A cancelled
// dialog changes nothing: the user cancelled to keep what was there.
void openColor(CommonDialog &dialog, RichTextBox &area);
void openFont(CommonDialog &dialog, RichTextBox &area);

} // namespace vellumo
