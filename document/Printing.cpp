#include "document/Printing.h"

#include "platform/BusyCursor.h"
#include "platform/CommonDialog.h"
#include "platform/Printer.h"
#include "platform/Progress.h"
#include "platform/RichTextBox.h"

#include <memory>

namespace vellumo {

bool printAreaText(CommonDialog &dialog, RichTextBox &area, Printer &printer,
                   ProgressService &progress)
{
    // Read before the dialog, which is modal: the text cannot change meanwhile.
    const QString text = [&area] {
        BusyCursor busy;
        return area.text();
    }();
    if (!dialog.showPrinter(printer))
        return false;
    const qint32 copies = dialog.copies();
    BusyCursor busy; // laying out a thousand pages takes seconds
    const std::unique_ptr<Progress> steps =
        progress.start(area.window(), QStringLiteral("Printing\u2026"));
    printer.printLine({text, copies});
    printer.endDoc(*steps);
    return true;
}

} // namespace vellumo
