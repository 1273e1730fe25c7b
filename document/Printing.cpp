#include "document/Printing.h"

#include "platform/Progress.h"
#include "platform/dialogs/BusyCursor.h"
#include "platform/dialogs/CommonDialog.h"
#include "platform/printing/Printer.h"
#include "platform/textarea/RichTextBox.h"

#include <QTextDocument>
#include <algorithm>
#include <memory>

namespace vellumo {

bool printAreaText(CommonDialog &dialog, RichTextBox &area, Printer &printer,
                   ProgressService &progress)
{
    // Read before the dialog, which is modal: the text cannot change meanwhile. Read in parts,
    // so that a big one lets the window paint.
    QString text;
    {
        BusyCursor busy;
        const std::unique_ptr<Progress> reading =
            progress.start(area.window(), QStringLiteral("Printing\u2026"));
        const double total = std::max(1, area.document()->characterCount());
        text.reserve(area.document()->characterCount());
        area.forEachPart([&](QStringView part) {
            text += part;
            reading->step(std::min(1.0, double(text.size()) / total));
            return true;
        });
    }
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
