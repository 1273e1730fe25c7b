#include "app/frmMain.h"
#include "platform/printing/Printer.h"
#include "platform/textarea/RichTextBox.h"
#include "support/Fakes.h"
#include "support/MainWindowFixture.h"
#include "support/Modal.h"
#include "support/Spooler.h"
#include "support/Unprivileged.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTextCursor>
#include <climits>
#include <unistd.h>

using namespace vellumo;
using namespace vellumo::test;

namespace {

const QStringList kPdfTools{"pdftotext", "pdfinfo", "pdftoppm", "pdffonts"};

#define REQUIRE_PDF_TOOLS()                                                                        \
    do {                                                                                           \
        const QString missing_ = missingTools(kPdfTools);                                          \
        if (!missing_.isEmpty())                                                                   \
            SKIP_OR_FAIL(missing_);                                                                \
    } while (false)

QString pdfText(const QString &pdf)
{
    return runProgram(QStringLiteral("pdftotext"),
                      {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")})
        .out;
}

int pdfPages(const QString &pdf)
{
    const ProgramRun info = runProgram(QStringLiteral("pdfinfo"), {pdf});
    const auto match = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"),
                                          QRegularExpression::MultilineOption)
                           .match(info.out);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// The font names in the file, without their subset prefixes.
QStringList pdfFonts(const QString &pdf)
{
    QStringList fonts;
    const QStringList lines = runProgram(QStringLiteral("pdffonts"), {pdf}).out.split(u'\n');
    for (const QString &line : lines.mid(2)) {
        const QString name = line.section(u' ', 0, 0);
        if (!name.isEmpty())
            fonts << name.section(u'+', -1);
    }
    return fonts;
}

// The text's lines as pdftotext gives them: blanks at either end of a line
// and empty lines are not seen on paper.
QStringList visibleLines(const QString &text)
{
    QStringList lines;
    const QStringList all = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n|\f")));
    for (const QString &line : all)
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines;
}

// Where a word's first appearance is on its page, in points.
QRectF wordBox(const QString &pdf, const QString &word)
{
    const QString html =
        runProgram(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")})
            .out;
    const auto match = QRegularExpression(QStringLiteral("<word xMin=\"([0-9.]+)\" "
                                                         "yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" "
                                                         "yMax=\"([0-9.]+)\">%1</word>")
                                              .arg(QRegularExpression::escape(word)))
                           .match(html);
    if (!match.hasMatch())
        return {};
    return QRectF(QPointF(match.captured(1).toDouble(), match.captured(2).toDouble()),
                  QPointF(match.captured(3).toDouble(), match.captured(4).toDouble()));
}

QImage firstPageImage(const QString &pdf, const QString &stem)
{
    runProgram(QStringLiteral("pdftoppm"),
               {QStringLiteral("-r"), QStringLiteral("50"), QStringLiteral("-png"),
                QStringLiteral("-singlefile"), pdf, stem});
    return QImage(stem + QStringLiteral(".png"));
}

// ---- the spooler

// The queue's jobs that came after `before` (the scheduler may forget old ones).
QStringList newJobs(const QString &queue, const QStringList &before)
{
    QStringList added = printJobs(queue);
    for (const QString &job : before)
        added.removeAll(job);
    return added;
}

// A CUPS-PDF queue of the test's own, removed again at the end.
struct TempQueue {
    QString name;
    bool added = false;

    explicit TempQueue(const QString &stem)
        : name(stem + QString::number(::getpid())),
          added(runProgram(QStringLiteral("lpadmin"),
                           {QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                            QStringLiteral("cups-pdf:/")})
                    .exitCode == 0)
    {
    }
    ~TempQueue()
    {
        if (added)
            runProgram(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
    }
    TempQueue(const TempQueue &) = delete;
    TempQueue &operator=(const TempQueue &) = delete;
};

// A long text of numbered lines, each of them unique on paper.
QString numberedLines(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QStringLiteral("Line %1 of the long text, numbered so that no line repeats.")
                     .arg(i, 5, 10, QLatin1Char('0'));
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

#define EXPECT_NO_BOXES()                                                                          \
    do {                                                                                           \
        expectNoBoxes();                                                                           \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

#define EXPECT_ONE_FAILURE(part)                                                                   \
    do {                                                                                           \
        expectOneFailure(part);                                                                    \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

class PrintingTest : public MainWindowFixture {
    Q_OBJECT

    std::unique_ptr<QtPrinter> realPrinter;
    QtDialogPresenter realDialogs;
    QList<QPrinter *> dialogPrinters;
    Spooler spooler; // looked for once: no test changes the default queue

    RichTextBox *area() { return window->RichTextBox1(); }
    void print() { menuItem("Print")->trigger(); }

    // The printer dialog is answered OK with this copy count, by the
    // recording printer or, for a real one, by the scripted dialog, which
    // remembers the printer object it was given.
    void acceptPrinterDialog(int copies, const QString &queue = QString())
    {
        platform->printer.onDialog = [copies](int &chosen) {
            chosen = copies;
            return true;
        };
        platform->dialogs.onPrinter = [this, copies, queue](QPrinter &printer) {
            dialogPrinters << &printer;
            printer.setCopyCount(copies);
            if (!queue.isEmpty())
                printer.setPrinterName(queue);
            return true;
        };
    }

    // A window whose File, Print goes to a real printer object, its dialog
    // scripted or, with `realDialog`, Qt's own. Returns whether it is shown.
    bool useRealPrinter(bool realDialog = false)
    {
        window.reset(); // before the printer it holds
        realPrinter = std::make_unique<QtPrinter>();
        Services services = platform->services;
        services.printer = realPrinter.get();
        if (realDialog)
            services.dialogs = &realDialogs;
        return open(services);
    }
    // ... which writes a PDF file.
    bool useRealPdfPrinter(const QString &pdf)
    {
        const bool shown = useRealPrinter();
        realPrinter->device().setOutputFormat(QPrinter::PdfFormat);
        realPrinter->device().setOutputFileName(pdf);
        return shown;
    }

    // Each check below returns from the helper only: callers use the macros,
    // which end the test as well.
    void expectNoBoxes()
    {
        for (const auto &call : platform->messageBox.calls)
            QFAIL(qPrintable(call.title + QStringLiteral(": ") + call.prompt));
    }
    void expectOneFailure(const QString &part)
    {
        QCOMPARE(platform->messageBox.calls.size(), 1);
        const auto call = platform->messageBox.calls.first();
        QCOMPARE(call.title, QStringLiteral("Print failed"));
        QVERIFY2(call.prompt.contains(part), qPrintable(call.prompt));
        QCOMPARE(call.owner, window.get());
    }

private Q_SLOTS:
    void initTestCase() { spooler = findSpooler(kPdfTools); }
    void init()
    {
        QVERIFY(open());
        dialogPrinters.clear();
    }
    void cleanup()
    {
        close();
        realPrinter.reset();
        QApplication::setPalette(QPalette());
        QLocale::setDefault(QLocale::system());
    }

    // ---- the print line

    void printFormHasASignPositionAndATrailingSpace_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("form");
        QTest::newRow("large, not grouped") << 123456789 << " 123456789 ";
        QTest::newRow("largest") << INT_MAX << " 2147483647 ";
        QTest::newRow("smallest") << INT_MIN << "-2147483648 ";
    }
    void printFormHasASignPositionAndATrailingSpace()
    {
        QFETCH(int, number);
        QFETCH(QString, form);
        // A grouping locale must not reach the digits.
        QLocale::setDefault(QLocale(QLocale::German));
        QCOMPARE(printForm(number), form);
    }

    void printLineJoinsTheTextAndTheNumberWithNothingBetween_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("copies");
        QTest::addColumn<QString>("line");
        const struct {
            const char *name;
            QString text;
        } texts[] = {{"text", "abc"}, {"final break", "abc\r\n"}, {"empty", ""}};
        const struct {
            int number;
            QString form;
        } numbers[] = {{0, " 0 "}, {1, " 1 "}, {2, " 2 "}, {-2, "-2 "}, {1000000, " 1000000 "}};
        for (const auto &t : texts)
            for (const auto &n : numbers)
                QTest::addRow("%s, %d", t.name, n.number) << t.text << n.number << t.text + n.form;
    }
    void printLineJoinsTheTextAndTheNumberWithNothingBetween()
    {
        QFETCH(QString, text);
        QFETCH(int, copies);
        QFETCH(QString, line);
        area()->setText(text);
        acceptPrinterDialog(copies);
        print();
        EXPECT_NO_BOXES();
        QCOMPARE(platform->printer.documents, QList<QStringList>{{line}});
        QVERIFY(platform->printer.openLines.isEmpty());
        QCOMPARE(area()->text(), text);
    }

    void theAreasLineBreaksAndPlainTextAreWhatIsPrinted()
    {
        area()->setText(QStringLiteral("one\ntwo\n"));
        area()->selectAll();
        area()->setSelColor(0x0000FF);
        area()->setSelBold(true);
        acceptPrinterDialog(1);
        print();
        QCOMPARE(platform->printer.documents, QList<QStringList>{{"one\ntwo\n 1 "}});
    }

    // ---- one document per command, on one printer object

    void cancelPrintsNothing()
    {
        area()->setText(QStringLiteral("keep"));
        platform->dialogs.onPrinter = nullptr;
        print();
        QVERIFY(platform->printer.documents.isEmpty());
        QVERIFY(platform->printer.openLines.isEmpty());
        EXPECT_NO_BOXES();
        QCOMPARE(area()->text(), QStringLiteral("keep"));
    }

    // The copy count is read from the dialog's printer object; Cancel keeps the count of the
    // last accepted dialog.
    void theRealPrinterReportsTheCopyCount()
    {
        QtPrinter printer;
        const auto answer = [](int count, bool accepted) {
            return [count, accepted](QWidget *, QPrinter &device) {
                device.setCopyCount(count);
                return accepted;
            };
        };
        int copies = 1;
        QVERIFY(printer.showDialog(answer(4, true), nullptr, copies));
        QCOMPARE(copies, 4);
        QVERIFY(!printer.showDialog(answer(9, false), nullptr, copies));
        QCOMPARE(copies, 4);
    }

    // The real printer shows its dialog on the one printer object it keeps,
    // so the dialog's choices stay from one print to the next.
    void theRealPrinterKeepsOnePrinterObject()
    {
        QVERIFY(useRealPdfPrinter(path("one.pdf")));
        acceptPrinterDialog(1);
        area()->setText(QStringLiteral("first"));
        print();
        print();
        EXPECT_NO_BOXES();
        QCOMPARE(dialogPrinters.size(), 2);
        QCOMPARE(dialogPrinters[0], &realPrinter->device());
        QCOMPARE(dialogPrinters[1], &realPrinter->device());
        QCOMPARE(platform->dialogs.owners, (QList<QWidget *>{window.get(), window.get()}));
    }

    void aRefusedLineKeepsTheTextAndLeavesNothingOpen()
    {
        area()->setText(QStringLiteral("precious"));
        acceptPrinterDialog(1);
        platform->printer.refusal = QStringLiteral("The printer \"P\" is out of order.");
        print();
        EXPECT_ONE_FAILURE(QStringLiteral("The printer \"P\" is out of order."));
        QCOMPARE(area()->text(), QStringLiteral("precious"));
        platform->printer.refusal.clear();
        print();
        QCOMPARE(platform->printer.documents, QList<QStringList>{{"precious 1 "}});
    }

    // ---- on paper: a PDF from the real printer object

    void paperHoldsTheLine_data() { printLineJoinsTheTextAndTheNumberWithNothingBetween_data(); }
    void paperHoldsTheLine()
    {
        REQUIRE_PDF_TOOLS();
        QFETCH(QString, text);
        QFETCH(int, copies);
        QFETCH(QString, line);
        QVERIFY(useRealPdfPrinter(path("out.pdf")));
        area()->setText(text);
        acceptPrinterDialog(copies);
        print();
        EXPECT_NO_BOXES();
        QCOMPARE(pdfPages(path("out.pdf")), 1);
        QCOMPARE(visibleLines(pdfText(path("out.pdf"))), visibleLines(line));
    }

    // The printer takes the text in parts of 64 KB: blanks before "top" put the first break
    // where a part ends, or where the next begins.
    void emptyLinesAndEveryKindOfLineBreakAreKept_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("breakAt");
        const QString crLf = QStringLiteral("top\r\n\r\n\r\nbottom");
        QTest::newRow("CR LF") << crLf << 3;
        QTest::newRow("LF") << "top\n\n\nbottom" << 3;
        QTest::newRow("CR") << "top\r\r\rbottom" << 3;
        QTest::newRow("CR LF across two parts") << crLf << 0xFFFF;
        QTest::newRow("CR LF starting a part") << crLf << 0x10000;
        QTest::newRow("CR ending a part") << "top\r\r\rbottom" << 0xFFFF;
        QTest::newRow("LF starting a part") << "top\n\n\nbottom" << 0x10000;
    }
    void emptyLinesAndEveryKindOfLineBreakAreKept()
    {
        REQUIRE_PDF_TOOLS();
        QFETCH(QString, text);
        QFETCH(int, breakAt);
        const QString blanks(breakAt - 3, u' ');
        QVERIFY(useRealPdfPrinter(path("gaps.pdf")));
        area()->setText(blanks + text);
        acceptPrinterDialog(3);
        print();
        // The same lines with something on them put "bottom" just as low:
        // three line ends, no more and no fewer.
        realPrinter->device().setOutputFileName(path("dots.pdf"));
        area()->setText(blanks + QStringLiteral("top\n.\n.\nbottom"));
        print();
        EXPECT_NO_BOXES();
        QCOMPARE(visibleLines(pdfText(path("gaps.pdf"))), (QStringList{"top", "bottom 3"}));
        const double bottom = wordBox(path("gaps.pdf"), QStringLiteral("bottom")).top();
        QVERIFY(bottom > wordBox(path("gaps.pdf"), QStringLiteral("top")).top());
        QVERIFY2(qAbs(bottom - wordBox(path("dots.pdf"), QStringLiteral("bottom")).top()) < 0.5,
                 qPrintable(QString::number(bottom)));
    }

    void everyCharacterALoadedFileCanHoldPrints()
    {
        REQUIRE_PDF_TOOLS();
        QString text;
        for (int c = 0; c < 256; ++c)
            text += QChar(c);
        text += QStringLiteral("\u20AC\u2122");
        QVERIFY(useRealPdfPrinter(path("chars.pdf")));
        area()->setText(text);
        acceptPrinterDialog(1);
        print();
        EXPECT_NO_BOXES();
        QCOMPARE(pdfPages(path("chars.pdf")), 1);
        const QString out = pdfText(path("chars.pdf"));
        for (const char *run : {"0123456789", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "\u00A1\u00A2\u00A3",
                                "\u00FD\u00FE\u00FF\u20AC\u2122"})
            QVERIFY2(out.contains(QString::fromUtf8(run)), run);
    }

    void longLinesWrapAndLoseNothing()
    {
        REQUIRE_PDF_TOOLS();
        QStringList words;
        for (int i = 0; i < 300; ++i)
            words << QStringLiteral("w%1").arg(i);
        QString unbroken;
        for (int i = 0; i < 600; ++i)
            unbroken += QChar(u'a' + i % 26);
        const QString text = words.join(u' ') + QStringLiteral("\r\n") + unbroken;
        QVERIFY(useRealPdfPrinter(path("wide.pdf")));
        area()->setText(text);
        acceptPrinterDialog(1);
        print();
        const QString out = pdfText(path("wide.pdf"));
        // Wrapped, not cut at the margin: every character is on paper.
        QVERIFY2(visibleLines(out).size() > 10, qPrintable(out));
        QString flat = out;
        flat.remove(QRegularExpression(QStringLiteral("\\s")));
        QString expected = text + QStringLiteral(" 1 ");
        expected.remove(QRegularExpression(QStringLiteral("\\s")));
        QCOMPARE(flat, expected);
    }

    void aTabReachesWhereEightSpacesDo()
    {
        REQUIRE_PDF_TOOLS();
        QVERIFY(useRealPdfPrinter(path("tab.pdf")));
        area()->setText(QStringLiteral("\ttabbed\r\n        spaced"));
        acceptPrinterDialog(1);
        print();
        const QRectF tabbed = wordBox(path("tab.pdf"), QStringLiteral("tabbed"));
        const QRectF spaced = wordBox(path("tab.pdf"), QStringLiteral("spaced"));
        QVERIFY(!tabbed.isNull() && !spaced.isNull());
        QVERIFY2(qAbs(tabbed.left() - spaced.left()) < 1,
                 qPrintable(QStringLiteral("%1 vs %2").arg(tabbed.left()).arg(spaced.left())));
    }

    // The first line starts at the corner of the printable area: inside the printer's own
    // margins, and never nearer the paper's edge than 15 mm.
    void theTextStartsAtTheCornerOfThePrintableArea_data()
    {
        QTest::addColumn<double>("printerMargin"); // mm
        QTest::addColumn<double>("textAt");        // mm from the paper's left and top edges
        QTest::newRow("narrower printer margins") << 5.0 << 15.0;
        QTest::newRow("wider printer margins") << 30.0 << 30.0;
    }
    void theTextStartsAtTheCornerOfThePrintableArea()
    {
        REQUIRE_PDF_TOOLS();
        QFETCH(double, printerMargin);
        QFETCH(double, textAt);
        QVERIFY(useRealPdfPrinter(path("corner.pdf")));
        const QMarginsF margins(printerMargin, printerMargin, printerMargin, printerMargin);
        QVERIFY(realPrinter->device().setPageMargins(margins, QPageLayout::Millimeter));
        area()->setText(QStringLiteral("Corner\r\nbelow"));
        acceptPrinterDialog(1);
        print();
        EXPECT_NO_BOXES();
        const QRectF corner = wordBox(path("corner.pdf"), QStringLiteral("Corner"));
        const double at = textAt * 72 / 25.4; // points
        QVERIFY2(qAbs(corner.left() - at) < 1 && qAbs(corner.top() - at) < 2,
                 qPrintable(QStringLiteral("at %1,%2 pt, not %3")
                                .arg(corner.left())
                                .arg(corner.top())
                                .arg(at)));
    }

    void fiftyPagesGoOnWithoutPageNumbersOrAnythingElse()
    {
        REQUIRE_PDF_TOOLS();
        QVERIFY(useRealPdfPrinter(path("long.pdf")));
        const int lineCount = 4000;
        area()->setText(numberedLines(lineCount));
        acceptPrinterDialog(1);
        print();
        EXPECT_NO_BOXES();
        const int pages = pdfPages(path("long.pdf"));
        QVERIFY2(pages >= 50, qPrintable(QString::number(pages)));
        QStringList pageTexts = pdfText(path("long.pdf")).split(u'\f');
        QCOMPARE(pageTexts.takeLast(), QString()); // pdftotext ends every page with \f
        QCOMPARE(pageTexts.size(), pages);
        // Page by page, the lines of the text in order and nothing else.
        QStringList expected = visibleLines(numberedLines(lineCount) + QStringLiteral(" 1 "));
        for (int page = 0; page < pages; ++page) {
            const QStringList lines = visibleLines(pageTexts[page]);
            QVERIFY2(!lines.isEmpty(), qPrintable(QStringLiteral("page %1 is empty").arg(page)));
            QCOMPARE(lines, expected.mid(0, lines.size()));
            expected = expected.mid(lines.size());
        }
        QVERIFY(expected.isEmpty());
    }

    void thePagesChosenInTheDialogArePrinted_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("lastFirst");
        QTest::addColumn<QList<int>>("pages");
        QTest::addColumn<QString>("label"); // once the pages go to the print system
        const QString two = QStringLiteral("Printing 2 pages\u2026");
        QTest::newRow("all") << 0 << 0 << false << QList<int>{1, 2, 3, 4, 5}
                             << QStringLiteral("Printing 5 pages\u2026");
        QTest::newRow("2 to 3") << 2 << 3 << false << QList<int>{2, 3} << two;
        QTest::newRow("3 to 3") << 3 << 3 << false << QList<int>{3}
                                << QStringLiteral("Printing 1 page\u2026");
        QTest::newRow("4 to 99") << 4 << 99 << false << QList<int>{4, 5} << two;
        QTest::newRow("last first") << 0 << 0 << true << QList<int>{5, 4, 3, 2, 1}
                                    << QStringLiteral("Printing 5 pages\u2026");
        QTest::newRow("3 to 4, last first") << 3 << 4 << true << QList<int>{4, 3} << two;
    }
    void thePagesChosenInTheDialogArePrinted()
    {
        REQUIRE_PDF_TOOLS();
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(bool, lastFirst);
        QFETCH(QList<int>, pages);
        QFETCH(QString, label);
        QVERIFY(useRealPdfPrinter(path("all.pdf")));
        area()->setText(numberedLines(300));
        acceptPrinterDialog(1);
        print();
        QStringList all = pdfText(path("all.pdf")).split(u'\f');
        all.removeLast();
        QCOMPARE(all.size(), 5);

        platform->dialogs.onPrinter = [&](QPrinter &printer) {
            printer.setOutputFileName(path("chosen.pdf"));
            printer.setPrintRange(from ? QPrinter::PageRange : QPrinter::AllPages);
            printer.setFromTo(from, to);
            printer.setPageOrder(lastFirst ? QPrinter::LastPageFirst : QPrinter::FirstPageFirst);
            return true;
        };
        print();
        EXPECT_NO_BOXES();
        QStringList chosen = pdfText(path("chosen.pdf")).split(u'\f');
        chosen.removeLast();
        QStringList expected;
        for (int page : pages)
            expected << all[page - 1];
        QCOMPARE(chosen, expected);
        QCOMPARE(platform->progress.started.last().lockedInLabel, label);
    }

    void pagesPastTheEndAreAFailure()
    {
        QVERIFY(useRealPdfPrinter(path("past.pdf")));
        area()->setText(QStringLiteral("one page"));
        platform->dialogs.onPrinter = [](QPrinter &printer) {
            printer.setPrintRange(QPrinter::PageRange);
            printer.setFromTo(2, 4);
            return true;
        };
        print();
        EXPECT_ONE_FAILURE(QStringLiteral(
            "Pages 2 to 4 were chosen in the printer dialog, but the text ends on page 1."));
        QVERIFY(!QFile::exists(path("past.pdf")));
        QCOMPARE(area()->text(), QStringLiteral("one page"));
    }

    void coloursFontsSelectionAndThemeStayOffPaper()
    {
        REQUIRE_PDF_TOOLS();
        const QString text = QStringLiteral("Plain words on paper\r\nand a second line");
        QVERIFY(useRealPdfPrinter(path("plain.pdf")));
        area()->setText(text);
        acceptPrinterDialog(1);
        print();
        const QImage plain = firstPageImage(path("plain.pdf"), path("plain"));
        QVERIFY(!plain.isNull());

        // Colour, a face, a size, bold and italic in the area, a selection
        // and a dark theme: none of it may change the page.
        area()->selectAll();
        area()->setSelColor(0x0000FF);
        area()->setSelFontName(QStringLiteral("DejaVu Serif"));
        area()->setSelFontSize(30);
        area()->setSelBold(true);
        area()->setSelItalic(true);
        QPalette dark;
        dark.setColor(QPalette::Text, Qt::yellow);
        dark.setColor(QPalette::WindowText, Qt::yellow);
        dark.setColor(QPalette::Base, Qt::darkBlue);
        dark.setColor(QPalette::Window, Qt::darkBlue);
        QApplication::setPalette(dark);
        realPrinter->device().setOutputFileName(path("formatted.pdf"));
        print();
        EXPECT_NO_BOXES();
        const QImage formatted = firstPageImage(path("formatted.pdf"), path("formatted"));
        QCOMPARE(formatted, plain);

        // Black text on white, in the default font only.
        int inked = 0;
        for (int y = 0; y < plain.height(); ++y) {
            for (int x = 0; x < plain.width(); ++x) {
                const QColor c = plain.pixelColor(x, y);
                QVERIFY2(
                    c.red() == c.green() && c.green() == c.blue(),
                    qPrintable(QStringLiteral("colour %1 at %2,%3").arg(c.name()).arg(x).arg(y)));
                inked += c.red() < 128;
            }
        }
        QVERIFY(inked > 0);
        const QString family = QFontInfo(QGuiApplication::font()).family().remove(u' ');
        const QStringList fonts = pdfFonts(path("formatted.pdf"));
        QVERIFY2(!fonts.isEmpty(), "no fonts in the PDF");
        for (const QString &font : fonts)
            QCOMPARE(font, family);
    }

    // ---- the real printer dialog

    void theRealDialogsChoicesReachPaper()
    {
        REQUIRE_PDF_TOOLS();
        QVERIFY(useRealPrinter(true));
        const QString pdf = path("chosen.pdf");
        int toFile = -1;
        auto chose = whenModal([&](QWidget *modal) {
            auto *dialog = qobject_cast<QPrintDialog *>(modal);
            auto *printers = dialog ? dialog->findChild<QComboBox *>("printers") : nullptr;
            auto *file = dialog ? dialog->findChild<QLineEdit *>("filename") : nullptr;
            auto *copies = dialog ? dialog->findChild<QSpinBox *>("copies") : nullptr;
            if (!printers || !file || !copies)
                return;
            toFile = printers->findText(QStringLiteral("Print to File (PDF)"));
            if (toFile < 0)
                return;
            printers->setCurrentIndex(toFile);
            file->setText(pdf);
            copies->setValue(2);
            dialog->accept();
        });
        area()->setText(QStringLiteral("alpha"));
        print();
        QVERIFY(*chose);
        QVERIFY2(toFile >= 0, "no printer dialog offering to print to a PDF file");
        EXPECT_NO_BOXES();
        QCOMPARE(visibleLines(pdfText(pdf)), QStringList{"alpha 2"});

        QFile::remove(pdf);
        auto cancelled = whenModal([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        print();
        QVERIFY(*cancelled);
        EXPECT_NO_BOXES();
        QVERIFY(!QFile::exists(pdf));
    }

    // The printer chosen, with the copies or the pages, is what the next dialog shows.
    void theRealDialogsChoicesStayForTheNextPrint_data()
    {
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("from"); // 0: all pages
        QTest::addColumn<int>("to");
        QTest::newRow("the printer and the copies") << 3 << 0 << 0;
        QTest::newRow("the printer and the pages") << 1 << 2 << 3;
    }
    void theRealDialogsChoicesStayForTheNextPrint()
    {
        QFETCH(int, copies);
        QFETCH(int, from);
        QFETCH(int, to);
        REQUIRE_SPOOLER(spooler);
        TempQueue second(QStringLiteral("VellumoSecond"));
        if (!second.added)
            SKIP_OR_FAIL(QStringLiteral("cannot add a print queue here"));
        QVERIFY(useRealPrinter(true));
        // A queue of the same name may have been here before.
        const QStringList before = printJobs(spooler.queue) + printJobs(second.name);

        // The printer, the copies and the first and last page (0: all) each dialog shows: the
        // first is given the row's, the second only looked at.
        QList<QStringList> shown;
        area()->setText(numberedLines(300)); // five pages
        for (const bool choose : {true, false}) {
            const auto accepted = whenModal([&](QWidget *modal) {
                auto *printers = modal->findChild<QComboBox *>("printers");
                auto *count = modal->findChild<QSpinBox *>("copies");
                auto *range = modal->findChild<QRadioButton *>("printRange");
                auto *first = modal->findChild<QSpinBox *>("from");
                auto *last = modal->findChild<QSpinBox *>("to");
                if (!printers || !count || !range || !first || !last)
                    return;
                if (choose) {
                    printers->setCurrentIndex(printers->findText(second.name));
                    count->setValue(copies);
                    range->setChecked(from > 0);
                    first->setValue(from);
                    last->setValue(to);
                }
                const bool some = range->isChecked();
                shown << QStringList{printers->currentText(), QString::number(count->value()),
                                     QString::number(some ? first->value() : 0),
                                     QString::number(some ? last->value() : 0)};
                static_cast<QDialog *>(modal)->accept();
            });
            print();
            QVERIFY(*accepted);
        }
        EXPECT_NO_BOXES();
        const QStringList chosen{second.name, QString::number(copies), QString::number(from),
                                 QString::number(to)};
        QCOMPARE(shown, (QList<QStringList>{chosen, chosen}));
        QCOMPARE(newJobs(second.name, before).size(), 2);
        QVERIFY(newJobs(spooler.queue, before).isEmpty());
    }

    // ---- failures: a clear message, the text kept, nothing half printed

    void noPrinterAtAllIsAFailureThatKeepsTheText()
    {
        // The real thing: this test again, in a process whose CUPS client
        // reaches no scheduler and so finds no printer.
        if (!qEnvironmentVariableIsSet("VELLUMO_PRINT_WITHOUT_SPOOLER")) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("CUPS_SERVER"), path("no-scheduler.sock"));
            env.insert(QStringLiteral("VELLUMO_PRINT_WITHOUT_SPOOLER"), QStringLiteral("1"));
            QProcess child;
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                        {QString::fromLatin1(QTest::currentTestFunction())});
            QVERIFY(child.waitForFinished(120000));
            const QString out = QString::fromUtf8(child.readAll());
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                     qPrintable(out));
            QVERIFY2(out.contains(QStringLiteral("PASS   : PrintingTest::%1()")
                                      .arg(QString::fromLatin1(QTest::currentTestFunction()))),
                     qPrintable(out));
            return;
        }
        QVERIFY(useRealPrinter());
        area()->setText(QStringLiteral("precious"));
        acceptPrinterDialog(1);
        print();
        EXPECT_ONE_FAILURE(QStringLiteral("There is no printer to print on."));
        QCOMPARE(area()->text(), QStringLiteral("precious"));
    }

    void unwritablePdfFilesFailWithTheReason_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder") << "target.pdf" << true << QString();
        QTest::newRow("missing folder")
            << "nowhere/target.pdf" << false << "No such file or directory";
    }
    void unwritablePdfFilesFailWithTheReason()
    {
        QFETCH(QString, file);
        QFETCH(bool, isFolder);
        QFETCH(QString, reason);
        const QString target = path(file);
        QVERIFY(!isFolder || QDir().mkdir(target));
        QVERIFY(useRealPdfPrinter(target));
        area()->setText(QStringLiteral("precious"));
        acceptPrinterDialog(1);
        print();
        EXPECT_ONE_FAILURE(QStringLiteral("Cannot write the PDF file \"%1\"").arg(target));
        QVERIFY2(platform->messageBox.calls.first().prompt.contains(reason),
                 qPrintable(platform->messageBox.calls.first().prompt));
        QCOMPARE(area()->text(), QStringLiteral("precious"));

        // The failed document is gone: the next one holds only its own line.
        REQUIRE_PDF_TOOLS();
        platform->messageBox.calls.clear();
        realPrinter->device().setOutputFileName(path("ok.pdf"));
        area()->setText(QStringLiteral("next"));
        print();
        EXPECT_NO_BOXES();
        QCOMPARE(visibleLines(pdfText(path("ok.pdf"))), QStringList{"next 1"});
    }

    void aPdfFileTheUserMayNotWriteFails()
    {
        // Root writes anywhere: the user who may not is a child turned nobody.
        QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner |
                                                  QFile::ExeOwner | QFile::ReadOther |
                                                  QFile::ExeOther));
        const QString target = path("locked.pdf");
        QVERIFY(useRealPdfPrinter(target));
        area()->setText(QStringLiteral("precious"));
        acceptPrinterDialog(1);
        const ChildResult result = runAsNobody([&] {
            print();
            return platform->messageBox.shown().join(u'\n') + u'\n' + area()->text();
        });
        QVERIFY2(result.finished(), qPrintable(result.describe()));
        QVERIFY2(result.report.startsWith(
                     QStringLiteral("Print failed|Cannot write the PDF file \"%1\": ").arg(target)),
                 qPrintable(result.report));
        QVERIFY2(result.report.contains(QLatin1String("Permission denied")),
                 qPrintable(result.report));
        QVERIFY(result.report.endsWith(QLatin1String("\nprecious")));
        QVERIFY(!QFile::exists(target));
    }

    // ---- on a real spooler

    void twoCommandsAreTwoJobsOnTheSpooler()
    {
        REQUIRE_SPOOLER(spooler);
        QVERIFY(useRealPrinter());
        QCOMPARE(realPrinter->device().outputFormat(), QPrinter::NativeFormat);
        QCOMPARE(realPrinter->device().printerName(), spooler.queue);
        const QStringList before = printJobs(spooler.queue);
        acceptPrinterDialog(1);
        area()->setText(QStringLiteral("The first job"));
        print();
        area()->setText(QStringLiteral("The second job"));
        print();
        EXPECT_NO_BOXES();

        const QStringList added = newJobs(spooler.queue, before);
        QCOMPARE(added.size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(printJobs(spooler.queue, "not-completed").isEmpty(), 120000);
        // CUPS-PDF draws the text anew, with glyphs pdftotext cannot read
        // back: the pages are what can be checked here.
        for (const QString &job : added) {
            const QString pdf = jobPdf(job);
            QVERIFY2(!pdf.isEmpty(), qPrintable(job + QStringLiteral(" left no PDF")));
            QCOMPARE(pdfPages(pdf), 1);
        }
    }

    void cancelSendsNoJob_data()
    {
        QTest::addColumn<int>("cancelAt"); // a step of the printing; 0: the dialog's Cancel
        QTest::addColumn<bool>("printed");
        QTest::newRow("the printer dialog") << 0 << false;
        // A short text takes a step to be read from the area (before the dialog), two to go
        // into the print layout, then one a page. Once the pages are being made, the document
        // is the print system's: Cancel has gone.
        QTest::newRow("reading the area") << 1 << false;
        QTest::newRow("laying out") << 3 << false;
        QTest::newRow("too late: the second of three pages") << 5 << true;
    }
    void cancelSendsNoJob()
    {
        QFETCH(int, cancelAt);
        QFETCH(bool, printed);
        REQUIRE_SPOOLER(spooler);
        QVERIFY(useRealPrinter());
        const QStringList before = printJobs(spooler.queue);
        area()->setText(printed ? QStringLiteral("a line\n").repeated(150)
                                : QStringLiteral("not to be printed"));
        if (cancelAt > 0)
            acceptPrinterDialog(1);
        else
            platform->dialogs.onPrinter = nullptr;
        platform->progress.cancelAt = cancelAt;
        print();
        EXPECT_NO_BOXES();
        QCOMPARE(newJobs(spooler.queue, before).size(), printed ? 1 : 0);
        if (cancelAt > 0) {
            const auto &work = platform->progress.started.last();
            QCOMPARE(work.lockedInAfter, printed ? 3 : -1);
            QCOMPARE(platform->progress.stepsTaken, printed ? 6 : cancelAt);
        }

        // The printer object goes on.
        platform->progress.cancelAt = 0;
        acceptPrinterDialog(1);
        print();
        EXPECT_NO_BOXES();
        QCOMPARE(newJobs(spooler.queue, before).size(), printed ? 2 : 1);
    }

    void aQueueThatRefusesJobsIsAFailure()
    {
        REQUIRE_SPOOLER(spooler);
        TempQueue refusing(QStringLiteral("VellumoRefuses"));
        if (!refusing.added)
            SKIP_OR_FAIL(QStringLiteral("cannot add a print queue here"));
        const QString queue = refusing.name;
        QCOMPARE(runProgram(QStringLiteral("cupsreject"), {queue}).exitCode, 0);

        QVERIFY(useRealPrinter());
        area()->setText(QStringLiteral("precious"));
        acceptPrinterDialog(1, queue);
        print();
        EXPECT_ONE_FAILURE(QStringLiteral("The printer \"%1\" refused the document: ").arg(queue));
        QVERIFY2(
            platform->messageBox.calls.first().prompt.contains(QLatin1String("not accepting jobs")),
            qPrintable(platform->messageBox.calls.first().prompt));
        QCOMPARE(area()->text(), QStringLiteral("precious"));
        QVERIFY(printJobs(queue).isEmpty());

        // The printer object goes on: back on the default queue it prints.
        platform->messageBox.calls.clear();
        const QStringList before = printJobs(spooler.queue);
        acceptPrinterDialog(1, spooler.queue);
        print();
        EXPECT_NO_BOXES();
        QCOMPARE(newJobs(spooler.queue, before).size(), 1);
    }
};

QTEST_MAIN(PrintingTest)
#include "tst_printing.moc"
