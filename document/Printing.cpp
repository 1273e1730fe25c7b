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
    // The printer shows its dialog on its own printer object, so its choices stay; the common
    // dialog keeps the copy count, as it keeps what its other dialogs leave.
    int copies = dialog.copies();
    const PrinterDialog shown = [&dialog](QWidget *owner, QPrinter &device) {
        return dialog.presenter().printer(owner, device);
    };
    if (!printer.showDialog(shown, area.window(), copies))
        return false;
    dialog.setCopies(copies);
    BusyCursor busy; // laying out a thousand pages takes seconds
    const std::unique_ptr<Progress> steps =
        progress.start(area.window(), QStringLiteral("Printing\u2026"));
    printer.printLine({text, qint32(dialog.copies())});
    printer.endDoc(*steps);
    return true;
}

} // namespace vellumo
