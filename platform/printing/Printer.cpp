#include "platform/printing/Printer.h"

#include "platform/Failure.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>
#include <algorithm>
#include <cups/cups.h>

namespace vellumo {

QString printForm(qint32 number)
{
    // The sign position is a blank for zero and positive numbers.
    const QString digits = QString::number(number);
    return number < 0 ? digits + u' ' : u' ' + digits + u' ';
}

QString printLineText(const QList<PrintItem> &items)
{
    QString line;
    for (const PrintItem &item : items) {
        if (const QString *text = std::get_if<QString>(&item))
            line += *text;
        else
            line += printForm(std::get<qint32>(item));
    }
    return line;
}

namespace {

// Page margins at least this wide, whatever the printer's own: text printed
// up to a printer's technical limit is hard to read and to bind.
constexpr qreal kMinMarginMm = 15;
constexpr int kTabStopSpaces = 8;

QString noPrinterMessage()
{
    return QStringLiteral("There is no printer to print on. Set up a printer, or choose printing "
                          "to a PDF file in the printer dialog.");
}

QString printerLabel(const QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return QStringLiteral("The PDF file \"%1\"")
            .arg(QDir::toNativeSeparators(printer.outputFileName()));
    return QStringLiteral("The printer \"%1\"").arg(printer.printerName());
}

// What can be known before anything is laid out or sent.
void ensureReady(QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        // Qt falls back to an unnamed PDF file when it finds no printer at all.
        if (printer.outputFileName().isEmpty())
            throw Failure(noPrinterMessage());
        return;
    }
    if (printer.printerName().isEmpty())
        throw Failure(noPrinterMessage());
    if (QPrinterInfo::printerInfo(printer.printerName()).isNull())
        throw Failure(QStringLiteral("The printer \"%1\" is not installed any more. Choose "
                                     "another one in the printer dialog.")
                          .arg(printer.printerName()));
}

// Qt hands a finished document to CUPS without looking at the answer, so a
// queue that refuses the job would pass for printed. libcups keeps the answer
// to the thread's last request; asking the queue for its jobs first makes what
// is left after printing the answer to Qt's submission, not an older one.
void askQueueBeforePrinting(const QString &queue)
{
    cups_job_t *jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 1,
                                   CUPS_WHICHJOBS_ACTIVE);
    cupsFreeJobs(count, jobs);
}

// Why the last request failed, or nothing when it succeeded.
QString cupsRefusal()
{
    const ipp_status_t status = cupsLastError();
    if (status < IPP_STATUS_ERROR_BAD_REQUEST)
        return {};
    const char *why = cupsLastErrorString();
    return why && *why ? QString::fromLocal8Bit(why)
                       : QStringLiteral("error %1").arg(int(status), 4, 16, QLatin1Char('0'));
}

// The usable part of the page in the painter's coordinates.
QRectF textArea(const QPrinter &printer)
{
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const qreal margin = kMinMarginMm / 25.4 * printer.resolution();
    const QRectF area = page.intersected(paper.adjusted(margin, margin, -margin, -margin));
    const QPointF origin = printer.fullPage() ? paper.topLeft() : page.topLeft();
    return area.translated(-origin);
}

QFont paperFont()
{
    QFont font = QGuiApplication::font();
    // A size in screen pixels would shrink to nothing at printer resolution.
    if (font.pointSizeF() <= 0)
        font.setPointSizeF(font.pixelSize() * 72.0 / 96.0);
    return font;
}

// A PDF file that cannot be written fails with the system's reason, which
// Qt's PDF writer does not tell.
void ensureWritable(const QPrinter &printer)
{
    if (printer.outputFormat() != QPrinter::PdfFormat)
        return;
    QFile file(printer.outputFileName());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw Failure(QStringLiteral("Cannot write the PDF file \"%1\": %2")
                          .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
}

// The pages the printer dialog asked for, from 0, in the order asked for.
QList<int> pagesToPrint(const QPrinter &printer, int pageCount)
{
    int first = 1;
    int last = pageCount;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = printer.fromPage();
        last = qMin(pageCount, printer.toPage() > 0 ? printer.toPage() : pageCount);
        if (first > last)
            throw Failure(QStringLiteral("Pages %1 to %2 were chosen in the printer dialog, but "
                                         "the text ends on page %3.")
                              .arg(printer.fromPage())
                              .arg(printer.toPage())
                              .arg(pageCount));
    }
    QList<int> pages;
    for (int page = first; page <= last; ++page)
        pages.append(page - 1);
    if (printer.pageOrder() == QPrinter::LastPageFirst)
        std::reverse(pages.begin(), pages.end());
    return pages;
}

// The layout lays out each part of the text as it goes in, a third of a second a megabyte:
// parts of 64 KB let the window paint in between, and Cancel come in time. Every form of line
// break the text may hold ends a line on paper.
void fill(QTextDocument &document, const QStringList &texts, const Steps &steps)
{
    constexpr qsizetype kPart = qsizetype(1) << 16;
    steps(0); // after what the print took before it got here
    qsizetype total = 0;
    for (const QString &text : texts)
        total += text.size();
    QTextCursor cursor(&document);
    qsizetype done = 0;
    qsizetype told = 0;
    bool afterCr = false; // a CR went in last, whose LF may come next
    for (const QString &text : texts) {
        for (qsizetype at = 0; at < text.size();) {
            const qsizetype end = std::min(at + kPart, text.size());
            QString part = text.mid(at, end - at);
            if (afterCr && part.startsWith(u'\n'))
                part.remove(0, 1); // a CR LF is one break
            afterCr = part.endsWith(u'\r');
            part.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            part.replace(u'\r', u'\n');
            cursor.insertText(part);
            done += end - at;
            at = end;
            if (done - told >= kPart || done == total)
                steps(double(told = done) / double(total));
        }
    }
}

void render(QPrinter &printer, const QStringList &texts, Progress &progress)
{
    const QRectF area = textArea(printer);
    if (area.width() < 1 || area.height() < 1)
        throw Failure(QStringLiteral("%1 has no room for text inside its margins.")
                          .arg(printerLabel(printer)));

    // A document of its own: nothing of the editor's colours, fonts,
    // selection or theme can reach the paper.
    QTextDocument document;
    document.setUndoRedoEnabled(false);
    document.documentLayout()->setPaintDevice(&printer);
    const QFont font = paperFont();
    document.setDefaultFont(font);
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // The layout scales tab stops from screen to printer resolution itself.
    option.setTabStopDistance(QFontMetricsF(font).horizontalAdvance(u' ') * kTabStopSpaces);
    document.setDefaultTextOption(option);
    document.setDocumentMargin(0);
    // With a page size the layout moves lines that would straddle a page
    // break to the next page.
    document.setPageSize(area.size());
    fill(document, texts, progress.stage(0, 0.5));
    const QList<int> pages = pagesToPrint(printer, document.pageCount());

    ensureWritable(printer);
    const bool native = printer.outputFormat() == QPrinter::NativeFormat;
    if (native)
        askQueueBeforePrinting(printer.printerName());

    // Qt hands a document begun to the print system when it ends, aborted or not: past this
    // point Cancel would only pretend.
    progress.lockIn(pages.size() == 1
                        ? QStringLiteral("Printing 1 page\u2026")
                        : QStringLiteral("Printing %1 pages\u2026").arg(pages.size()));
    QPainter painter;
    if (!painter.begin(&printer))
        throw Failure(
            QStringLiteral("%1 could not start the document.").arg(printerLabel(printer)));
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black);
    bool firstPage = true;
    qsizetype printed = 0;
    for (const int page : pages) {
        progress.step(0.5 + 0.5 * double(printed++) / double(pages.size()));
        if (!firstPage && !printer.newPage()) {
            printer.abort(); // half a document is no document
            painter.end();
            throw Failure(QStringLiteral("%1 could not start page %2.")
                              .arg(printerLabel(printer))
                              .arg(page + 1));
        }
        firstPage = false;
        const QRectF onPage(0, page * area.height(), area.width(), area.height());
        painter.save();
        painter.translate(area.left(), area.top() - onPage.top());
        painter.setClipRect(onPage);
        // A line that only touches the page's edge belongs to the next or the
        // previous page; the layout would draw it here too, clipped to
        // nothing but still in the document's text.
        context.clip = onPage.adjusted(0, 1, 0, -1);
        document.documentLayout()->draw(&painter, context);
        painter.restore();
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw Failure(
            QStringLiteral("%1 could not finish the document.").arg(printerLabel(printer)));
    if (native) {
        const QString refusal = cupsRefusal();
        if (!refusal.isEmpty())
            throw Failure(
                QStringLiteral("%1 refused the document: %2").arg(printerLabel(printer), refusal));
    }
}

} // namespace

QtPrinter::QtPrinter() = default;

QtPrinter::~QtPrinter() = default;

QPrinter &QtPrinter::device()
{
    if (!m_device) {
        m_device = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_device->setDocName(QGuiApplication::applicationDisplayName());
    }
    return *m_device;
}

void QtPrinter::printLine(const QList<PrintItem> &items)
{
    ensureReady(device());
    // The items as they are, not joined: a big text is not copied.
    for (const PrintItem &item : items) {
        const QString *text = std::get_if<QString>(&item);
        m_document.append(text ? *text : printForm(std::get<qint32>(item)));
    }
    m_document.append(QStringLiteral("\n"));
    m_open = true;
}

void QtPrinter::endDoc(Progress &progress)
{
    if (!m_open)
        return;
    // Whatever happens next, this document is done: a failed one must not
    // come back at the front of the next.
    QStringList texts = std::exchange(m_document, {});
    m_open = false;
    texts.removeLast(); // the last line end closes the last line; it starts none
    QPrinter &printer = device();
    ensureReady(printer);
    render(printer, texts, progress);
}

bool QtPrinter::showDialog(const PrinterDialog &dialog, QWidget *owner, int &copies)
{
    if (!dialog(owner, device()))
        return false;
    copies = device().copyCount();
    return true;
}

} // namespace vellumo
