#include "document/Formatting.h"

#include "platform/dialogs/CommonDialog.h"
#include "platform/textarea/RichTextBox.h"

namespace vellumo {

namespace {
// Screen and printer fonts, no effects: only face, size, bold and italic apply.
constexpr int kFontDialogFlags = 3;
} // namespace

void colorSelection(CommonDialog &dialog, RichTextBox &area)
{
    if (!dialog.showColor())
        return;
    area.setSelColor(dialog.color());
}

void fontSelection(CommonDialog &dialog, RichTextBox &area)
{
    dialog.setFlags(kFontDialogFlags);
    if (!dialog.showFont())
        return;
    area.setSelFontName(dialog.fontName());
    area.setSelFontSize(dialog.fontSize());
    area.setSelItalic(dialog.fontItalic());
    area.setSelBold(dialog.fontBold());
}

} // namespace vellumo
