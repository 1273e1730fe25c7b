#include "document/Printing.h"

#include "platform/BusyCursor.h"
#include "platform/CommonDialog.h"
#include "platform/Printer.h"
#include "platform/RichTextBox.h"

namespace vellumo {

bool printAreaText(CommonDialog &dialog, RichTextBox &area, Printer &printer)
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
    printer.printLine({text, copies});
    printer.endDoc();
    return true;
}

} // namespace vellumo
