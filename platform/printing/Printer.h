#pragma once

#include "platform/Progress.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <variant>

class QPrinter;
class QWidget;

namespace vellumo {

// Shows a printer dialog over owner on the given printer object; false when cancelled. The
// printer only asks for it, so it knows nothing of who draws the dialog.
using PrinterDialog = std::function<bool(QWidget *owner, QPrinter &printer)>;

// One item of a print line: text goes to paper as it is, a number in its
// print form.
using PrintItem = std::variant<QString, qint32>;

// A number as a print line shows it: a sign position (a space, or '-' for a
// negative number), the plain decimal digits, then one space.
QString printForm(qint32 number);

// The items of a print line one after the other, with nothing between them.
QString printLineText(const QList<PrintItem> &items);

// The application-wide printer. Lines go into the open document; ending the
// document hands it over to be printed, and the next line starts a new one.
// Every step that cannot be done throws vellumo::Failure, naming the printer
// and the reason; a failed document is dropped, never half kept.
class Printer {
public:
    virtual ~Printer() = default;

    // The printer dialog, shown by `dialog` over owner on this printer, so its
    // choices stay for the next document. Returns false, leaving copies as it
    // was, when the user cancelled; otherwise copies holds the count chosen.
    virtual bool showDialog(const PrinterDialog &dialog, QWidget *owner, int &copies) = 0;
    // Writes the items, then a line end.
    virtual void printLine(const QList<PrintItem> &items) = 0;
    // Nothing happens when no line was printed since the last end. A big document reports
    // its progress; until it is locked in for the print system, Cancel drops it.
    virtual void endDoc(Progress &progress) = 0;
};

// Prints through Qt's print system: the document is laid out as plain text
// in the application's default font, black on white, wrapped to the page and
// going on over as many pages as it needs, with nothing else on the pages.
class QtPrinter : public Printer {
public:
    QtPrinter();
    ~QtPrinter() override;
    QtPrinter(const QtPrinter &) = delete;
    QtPrinter &operator=(const QtPrinter &) = delete;

    bool showDialog(const PrinterDialog &dialog, QWidget *owner, int &copies) override;
    void printLine(const QList<PrintItem> &items) override;
    void endDoc(Progress &progress) override;

    // The same printer object on every call, made on first use, for the whole
    // life of this printer.
    QPrinter &device();

private:
    std::unique_ptr<QPrinter> m_device;
    QStringList m_document; // its items' texts and line ends
    bool m_open = false;
};

} // namespace vellumo
