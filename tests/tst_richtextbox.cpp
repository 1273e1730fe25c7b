#include "measure/WrappedLines.h"
#include "platform/Failure.h"
#include "platform/LetGo.h"
#include "platform/files/CodePage.h"
#include "platform/textarea/EstimatedScrollBar.h"
#include "platform/textarea/LineWrapping.h"
#include "platform/textarea/LongLines.h"
#include "platform/textarea/RichTextBox.h"
#include "support/Fakes.h"
#include "support/TextFormats.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QWheelEvent>
#include <atomic>
#include <climits>
#include <map>
#include <memory>
#include <vector>

using namespace vellumo;
using vellumo::measure::wrappedLinesBefore;

namespace {

// Pasting and dropping both arrive through these.
struct PasteTarget : RichTextBox {
    using RichTextBox::canInsertFromMimeData;
    using RichTextBox::createMimeDataFromSelection;
    using RichTextBox::insertFromMimeData;
};

constexpr int kAsLaidOut = INT_MIN;

// Words in lines of 78 characters, or the same with blanks for line breaks.
QString prose(qsizetype chars, bool lineBreaks, quint32 seed = 7)
{
    static const char *const words[] = {"the", "bar", "a",    "thumb", "scrolls", "over",
                                        "of",  "and", "text", "wraps", "at",      "blanks"};
    QRandomGenerator random(seed);
    QString text, line;
    while (text.size() < chars) {
        line.clear();
        while (line.size() < 78)
            line += QLatin1String(words[random.bounded(int(std::size(words)))]) + u' ';
        line.truncate(78);
        text += line + (lineBreaks ? u'\n' : u' ');
    }
    return text;
}

// Shows the area as wide as `charsPerLine` average characters of its font.
bool showArea(RichTextBox &box, int charsPerLine)
{
    const int chars = int(charsPerLine * QFontMetricsF(box.font()).averageCharWidth());
    box.resize(chars + box.width() - box.viewport()->width(), 300);
    box.show();
    return QTest::qWaitForWindowExposed(&box);
}

// Lets the bars count a replaced text or width, which they do after the event.
void settle()
{
    const auto counted = [] {
        for (QWidget *widget : QApplication::allWidgets())
            if (auto *bar = qobject_cast<EstimatedScrollBar *>(widget); bar && !bar->counted())
                return false;
        return true;
    };
    QVERIFY2(QTest::qWaitFor(counted), "the scroll bar did not count the text");
}

EstimatedScrollBar *barOf(RichTextBox &box)
{
    return box.findChild<EstimatedScrollBar *>();
}

// The wrapped lines above the view: those above the line halfway down the
// first line's height.
qint64 linesAbove(RichTextBox &box, const std::vector<qint64> &before)
{
    const QTextCursor top = box.cursorForPosition(QPoint(0, box.fontMetrics().height() / 2));
    const QTextLine line = top.block().layout()->lineForTextPosition(top.positionInBlock());
    return before[size_t(top.blockNumber())] + line.lineNumber();
}

// How far the thumb stands from the share of the text above the view.
double thumbError(RichTextBox &box, const std::vector<qint64> &before)
{
    const QScrollBar *bar = barOf(box);
    const double thumb = double(bar->value()) / (bar->maximum() + bar->pageStep());
    return qAbs(thumb - double(linesAbove(box, before)) / before.back());
}

// As the mouse drags the thumb, held while the view is painted.
void drag(QScrollBar *bar, int value)
{
    bar->setSliderDown(true);
    bar->setSliderPosition(value);
    QCoreApplication::processEvents();
    bar->setSliderDown(false);
}

void turnWheel(QWidget *over)
{
    const QPointF at(over->width() / 2, over->height() / 2);
    QWheelEvent turn(at, over->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(over, &turn);
}

// A few steps of an edit.
const QString &bigText(quint32 seed)
{
    static std::map<quint32, QString> made;
    QString &text = made[seed];
    if (text.isEmpty())
        text = prose(5 << 20, true, seed);
    return text;
}

QColor colourAt(RichTextBox &box, int position)
{
    QTextCursor at(box.document());
    at.setPosition(position);
    return at.charFormat().foreground().color();
}

void pasteTenLines(RichTextBox &box)
{
    QApplication::clipboard()->setText(QStringLiteral("pasted line\n").repeated(10));
    box.paste();
}

// As a load that builds its text apart, hands it over and drops the old one,
// with an edit still to settle and a screen reader's setting of the bar on its way.
void handOver(RichTextBox &box)
{
    QTest::keyClicks(&box, "x");
    const QTextDocument *old = box.document();
    const QString text = prose(300000, false, 11);
    auto *doc = new QTextDocument(&box);
    doc->setDocumentLayout(new QPlainTextDocumentLayout(doc));
    QTextCursor cursor(doc);
    QString chunk;
    for (qsizetype from = 0; from < text.size();) {
        from = groupLines(text, from, 1 << 20, chunk);
        cursor.insertText(chunk);
    }
    box.setDocument(doc);
    delete old;
    barOf(box)->setValue(1);
}

} // namespace

using Edit = void (*)(RichTextBox &);
Q_DECLARE_METATYPE(Edit)

class RichTextBoxTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsEmptyAndTabLeavesIt()
    {
        RichTextBox box;
        QVERIFY(box.text().isEmpty());
        QVERIFY(box.tabChangesFocus());
        QCOMPARE(box.lineBreak(), QStringLiteral("\r\n"));
    }

    void textComesBackAsItWasSet_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("crlf") << QStringLiteral("one\r\ntwo\r\n\r\nthree\r\n");
        QTest::newRow("lf") << QStringLiteral("one\ntwo\n\nthree");
        QTest::newRow("cr") << QStringLiteral("\rone\rtwo\r");
        QTest::newRow("no break") << QStringLiteral("just one line");
        QTest::newRow("no-break space") << QStringLiteral("a\u00A0b\u00A0\r\n\u00A0");
        QTest::newRow("controls and NUL")
            << QString::fromUtf16(u"\u0000\u0001\u0009\u001B\u0081\u009D", 6);
        QTest::newRow("cp1252 letters") << QStringLiteral("\u20AC\u2122\u0152\u00FF\u00E9");
    }
    void textComesBackAsItWasSet()
    {
        QFETCH(QString, text);
        RichTextBox box;
        box.setText(text);
        QCOMPARE(box.text(), text);
    }

    void lineBreaksFollowTheFirstOneOfTheLastText()
    {
        RichTextBox box;
        box.setText(QStringLiteral("a\nb"));
        QCOMPARE(box.lineBreak(), QStringLiteral("\n"));
        box.setText(QStringLiteral("a\rb"));
        QCOMPARE(box.lineBreak(), QStringLiteral("\r"));
        // Mixed breaks: the first decides how all come back.
        box.setText(QStringLiteral("a\r\nb\nc"));
        QCOMPARE(box.text(), QStringLiteral("a\r\nb\r\nc"));
        box.setText(QString());
        QCOMPARE(box.lineBreak(), QStringLiteral("\r\n"));
    }

    void typedLineBreaksComeBackAsLineBreaks()
    {
        RichTextBox box;
        box.setText(QStringLiteral("x\ny"));
        box.moveCursor(QTextCursor::End);
        QTest::keyClick(&box, Qt::Key_Return);
        QTest::keyClicks(&box, "z");
        QTest::keyClick(&box, Qt::Key_Return, Qt::ShiftModifier); // a line separator
        QTest::keyClicks(&box, "w");
        QCOMPARE(box.text(), QStringLiteral("x\ny\nz\nw"));
        // A fresh area's are CR LF.
        box.setText(QString());
        QTest::keyClicks(&box, "a");
        QTest::keyClick(&box, Qt::Key_Return);
        QTest::keyClicks(&box, "b");
        QCOMPARE(box.text(), QStringLiteral("a\r\nb"));
    }

    void replacingTheTextDropsAllFormatting()
    {
        RichTextBox box;
        box.setText(QStringLiteral("coloured"));
        test::selectRange(box, 0, 8);
        box.setSelColor(0x0000FF);
        box.setSelBold(true);
        box.moveCursor(QTextCursor::End); // the typing position now carries the format too
        box.setText(QStringLiteral("fresh\ntext"));
        for (const auto &props : test::charFormats(box)) {
            QVERIFY(!props.contains(QTextFormat::ForegroundBrush));
            QVERIFY(!props.contains(QTextFormat::FontWeight));
        }
        QTest::keyClicks(&box, "t");
        QVERIFY(!box.textCursor().charFormat().hasProperty(QTextFormat::FontWeight));
    }

    // What the window's thread lets go is freed: past eight waiting even while it is busy (a
    // script, a fuzzer), and the rest once it idles, with no other event to come.
    void whatTheWindowsThreadLetsGoIsFreed()
    {
        std::atomic<int> freed{0};
        QEventLoop loop;
        LetGo letGo;
        for (int i = 0; i < 100; ++i)
            letGo(std::shared_ptr<int>(nullptr, [&](int *) {
                if (++freed == 100)
                    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
            }));
        for (QDeadlineTimer limit(10'000); freed < 90 && !limit.hasExpired();)
            QThread::msleep(1); // no events: this thread never idles
        QCOMPARE_GE(freed.load(), 90);
        QTimer::singleShot(10'000, &loop, [&loop] { loop.exit(1); });
        QCOMPARE(loop.exec(), 0);
    }

    void eachSelectionWriteChangesOneAttributeOfTheSelection_data()
    {
        QTest::addColumn<Edit>("write");
        QTest::addColumn<int>("property");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("colour") << Edit([](RichTextBox &box) { box.setSelColor(0x563412); })
                                << int(QTextFormat::ForegroundBrush)
                                << QVariant(QBrush(QColor(0x12, 0x34, 0x56)));
        QTest::newRow("face") << Edit([](RichTextBox &box) {
            box.setSelFontName(QStringLiteral("DejaVu Serif"));
        }) << int(QTextFormat::FontFamilies)
                              << QVariant(QStringList{QStringLiteral("DejaVu Serif")});
        QTest::newRow("size") << Edit([](RichTextBox &box) { box.setSelFontSize(10.5f); })
                              << int(QTextFormat::FontPointSize) << QVariant(10.5);
        QTest::newRow("bold") << Edit([](RichTextBox &box) { box.setSelBold(true); })
                              << int(QTextFormat::FontWeight) << QVariant(int(QFont::Bold));
        QTest::newRow("italic") << Edit([](RichTextBox &box) { box.setSelItalic(true); })
                                << int(QTextFormat::FontItalic) << QVariant(true);
    }
    void eachSelectionWriteChangesOneAttributeOfTheSelection()
    {
        QFETCH(Edit, write);
        QFETCH(int, property);
        QFETCH(QVariant, expected);
        RichTextBox box;
        box.setText(QStringLiteral("abcdef\nghij"));
        // Something already on the selection and around it, which must stay.
        test::selectRange(box, 1, 9);
        box.setSelFontSize(14);
        const auto before = test::charFormats(box);
        test::selectRange(box, 2, 8); // "cdef\ng"
        write(box);
        const auto after = test::charFormats(box);
        QCOMPARE(after.size(), before.size());
        QCOMPARE(after.keys(), before.keys());
        for (int pos : after.keys()) {
            auto expect = before[pos];
            if (pos >= 2 && pos < 8)
                expect[property] = expected;
            QVERIFY2(after[pos] == expect, qPrintable(QStringLiteral("position %1").arg(pos)));
        }
        QCOMPARE(box.text(), QStringLiteral("abcdef\nghij"));
    }

    void boldAndItalicAreSeparateFlags()
    {
        RichTextBox box;
        box.setText(QStringLiteral("word"));
        test::selectRange(box, 0, 4);
        box.setSelItalic(true);
        box.setSelBold(true);
        box.setSelItalic(false);
        QTextCursor c(box.document());
        c.setPosition(2);
        QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
        QVERIFY(!c.charFormat().fontItalic());
    }

    void withNothingSelectedTheTypingPositionTakesTheFormat()
    {
        RichTextBox box;
        box.setText(QStringLiteral("ab"));
        box.moveCursor(QTextCursor::End);
        box.setSelColor(0x0000FF);
        box.setSelItalic(true);
        QTest::keyClicks(&box, "c");
        QTextCursor c(box.document());
        c.setPosition(3);
        QCOMPARE(c.charFormat().foreground().color(), QColor(0xFF, 0, 0));
        QVERIFY(c.charFormat().fontItalic());
        c.setPosition(2);
        QVERIFY(!c.charFormat().fontItalic());
    }

    void pastedRichTextArrivesAsPlainText()
    {
        PasteTarget box;
        QMimeData data;
        data.setHtml(QStringLiteral("<table><tr><td><b>cell</b></td></tr></table>"
                                    "<img src=\"x.png\"><hr>"));
        data.setText(QStringLiteral("cell\n"));
        QVERIFY(box.canInsertFromMimeData(&data));
        box.insertFromMimeData(&data);
        QCOMPARE(box.text(), QStringLiteral("cell\r\n"));
        QVERIFY(!box.document()->toRawText().contains(QChar::ObjectReplacementCharacter));
        for (const auto &props : test::charFormats(box))
            QVERIFY(!props.contains(QTextFormat::FontWeight));

        // Through the clipboard, as the user pastes.
        QApplication::clipboard()->setMimeData(new QMimeData);
        auto *clip = new QMimeData;
        clip->setHtml(QStringLiteral("<i>x</i><img src=\"y.png\">"));
        clip->setText(QStringLiteral("x"));
        QApplication::clipboard()->setMimeData(clip);
        box.paste();
        QCOMPARE(box.text(), QStringLiteral("cell\r\nx"));

        QMimeData imageOnly;
        imageOnly.setImageData(QImage(4, 4, QImage::Format_RGB32));
        QVERIFY(!box.canInsertFromMimeData(&imageOnly));
    }

    // X hands every selection to other programs: its text is made only if one asks for it.
    void theSelectionOffersItsPlainTextWhileTheTextIsUnchanged()
    {
        PasteTarget box;
        box.setText(QStringLiteral("one\r\ntwo"));
        box.selectAll();
        const std::unique_ptr<QMimeData> offer(box.createMimeDataFromSelection());
        box.setSelColor(0x0000FF);
        QCOMPARE(offer->formats(), QStringList{"text/plain"});
        QCOMPARE(offer->text(), QStringLiteral("one\ntwo"));
        QTest::keyClick(&box, Qt::Key_Delete);
        QVERIFY(offer->formats().isEmpty());
        QVERIFY(offer->text().isEmpty());
    }

    // A big cut, paste, colour, or key over a big selection goes in steps, and is undone and
    // redone as one; Cancel, partway, leaves the text, its colours and the clipboard as they were.
    void bigEditsAreOneEditThatCancelTakesBack_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QString>("clipboard"); // before the edit
        QTest::addColumn<QString>("text");      // after it
        QTest::addColumn<QString>("copied");    // on the clipboard after it
        QTest::addColumn<QColor>("last");       // of the last character after it, if valid
        QTest::addColumn<int>("cancelIn");      // 0 the edit, 1 its undo, 2 its redo; -1 none
        const QString &big = bigText(7), &other = bigText(3);
        const QString before = QStringLiteral("before");
        const Edit copy = [](RichTextBox &b) {
            QTest::keySequence(&b, QKeySequence::Copy);
        };
        const Edit cut = [](RichTextBox &b) {
            QTest::keySequence(&b, QKeySequence::Cut);
        };
        const Edit paste = [](RichTextBox &b) {
            QTest::keySequence(&b, QKeySequence::Paste);
        };
        const Edit del = [](RichTextBox &b) {
            QTest::keyClick(&b, Qt::Key_Delete);
        };
        const Edit letter = [](RichTextBox &b) {
            QTest::keyClick(&b, Qt::Key_X);
        };
        const Edit colour = [](RichTextBox &b) {
            b.setSelColor(0x00C000);
        };
        const QColor none, green(0, 0xC0, 0);
        QTest::newRow("copy") << copy << before << big << big << none << -1;
        QTest::newRow("copy, cancelled") << copy << before << big << big << none << 0;
        QTest::newRow("cut") << cut << before << QString() << big << none << -1;
        QTest::newRow("cut, cancelled") << cut << before << QString() << big << none << 0;
        QTest::newRow("cut, its undo cancelled") << cut << before << "" << big << none << 1;
        QTest::newRow("cut, its redo cancelled") << cut << before << "" << big << none << 2;
        QTest::newRow("paste") << paste << other << other << other << none << -1;
        QTest::newRow("paste, cancelled") << paste << other << other << other << none << 0;
        QTest::newRow("paste, its undo cancelled") << paste << other << other << other << none << 1;
        QTest::newRow("paste, its redo cancelled") << paste << other << other << other << none << 2;
        QTest::newRow("Delete") << del << before << QString() << before << none << -1;
        QTest::newRow("Delete, cancelled") << del << before << QString() << before << none << 0;
        QTest::newRow("a letter") << letter << before << QStringLiteral("x") << before << none
                                  << -1;
        QTest::newRow("a letter, cancelled") << letter << before << "x" << before << none << 0;
        QTest::newRow("colour") << colour << before << big << before << green << -1;
        QTest::newRow("colour, cancelled") << colour << before << big << before << green << 0;
        QTest::newRow("colour, its undo cancelled")
            << colour << before << big << before << green << 1;
    }
    void bigEditsAreOneEditThatCancelTakesBack()
    {
        QFETCH(Edit, edit);
        QFETCH(QString, clipboard);
        QFETCH(QString, text);
        QFETCH(QString, copied);
        QFETCH(QColor, last);
        QFETCH(int, cancelIn);
        const QString &big = bigText(7);
        RichTextBox box;
        test::ScriptedProgress progress;
        box.setRunner([&](const QString &, const QString &label, const RichTextBox::Work &work) {
            try {
                work(*progress.start(&box, label));
            } catch (const Cancelled &) {
            }
        });
        box.setText(big);
        test::selectRange(box, 5, 10);
        box.setSelColor(0x0000FF);
        box.document()->clearUndoRedoStacks();
        QApplication::clipboard()->setText(clipboard);
        box.selectAll();
        // Partway: at the first step past 60 % of the work.
        auto press = [&](Edit edit, bool cancel) {
            progress.cancelAt = 0;
            progress.onStep = [&progress, cancel] {
                if (cancel && !progress.cancelAt && progress.started.last().steps.last() > 0.6)
                    progress.cancelAt = progress.stepsTaken + 1;
            };
            edit(box);
            QCOMPARE(progress.cancelAt > 0, cancel);
        };

        press(edit, cancelIn == 0);
        QCOMPARE(box.text(), cancelIn == 0 ? big : text);
        QCOMPARE(QApplication::clipboard()->text(), cancelIn == 0 ? clipboard : copied);
        QCOMPARE(QApplication::clipboard()->mimeData()->formats(), QStringList{"text/plain"});
        if (cancelIn == 0) {
            QCOMPARE(colourAt(box, 7), QColor(Qt::red));
            QVERIFY(!box.document()->isUndoAvailable() && !box.document()->isRedoAvailable());
            return;
        }
        if (last.isValid())
            QCOMPARE(colourAt(box, box.document()->characterCount() - 1), last);
        press([](RichTextBox &b) { QTest::keySequence(&b, QKeySequence::Undo); }, cancelIn == 1);
        QCOMPARE(box.text(), cancelIn == 1 ? text : big);
        if (cancelIn == 1)
            return;
        QCOMPARE(colourAt(box, 7), QColor(Qt::red));
        press([](RichTextBox &b) { QTest::keySequence(&b, QKeySequence::Redo); }, cancelIn == 2);
        QCOMPARE(box.text(), cancelIn == 2 ? big : text);
    }

    // Qt makes a drop an edit of its own: it goes in whole, with no steps to cancel.
    void aBigDropIsOneEdit()
    {
        RichTextBox box;
        int runs = 0;
        box.setRunner([&](const QString &, const QString &, const RichTextBox::Work &) { ++runs; });
        const QString before = QStringLiteral("before\n"); // its line breaks are the drop's
        box.setText(before);
        QMimeData data;
        data.setText(bigText(3));
        QDragEnterEvent enter(QPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(box.viewport(), &enter); // makes the area the drop's target
        QDropEvent drop(QPointF(), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(box.viewport(), &drop);
        QCOMPARE(runs, 0);
        QCOMPARE(box.text(), bigText(3) + before);
        box.undo();
        QCOMPARE(box.text(), before);
    }

    // Qt keeps what was removed, for undo, at 32-bit places: a paste past them is refused.
    void aPastePastWhatTheAreaTakesInIsRefused()
    {
        struct Small : RichTextBox {
            qint64 capacity() const override { return 100; }
        } box;
        box.setText(QString(40, u'a'));
        QApplication::clipboard()->setText(QString(30, u'b'));
        box.selectAll();
        box.paste(); // 71 taken in
        QVERIFY_THROWS_EXCEPTION(Failure, box.paste());
        QCOMPARE(box.text(), QString(30, u'b'));
    }

    void scrollBarShowsWhereTheViewIs_data()
    {
        QTest::addColumn<bool>("lineBreaks");
        QTest::addColumn<int>("charsPerLine"); // of the area's width
        QTest::addColumn<bool>("fromBytes");   // as a load fills it, the lines counted meanwhile
        QTest::newRow("lines that fit") << true << 100 << false;
        QTest::newRow("lines that wrap") << true << 30 << false;
        QTest::newRow("lines that just about fit") << true << 78 << false;
        QTest::newRow("a single line") << false << 60 << false;
        QTest::newRow("lines that wrap, from bytes") << true << 30 << true;
        QTest::newRow("a single line, from bytes") << false << 60 << true;
    }
    void scrollBarShowsWhereTheViewIs()
    {
        QFETCH(bool, lineBreaks);
        QFETCH(int, charsPerLine);
        QFETCH(bool, fromBytes);
        RichTextBox box;
        QVERIFY(showArea(box, charsPerLine));
        const int width = box.viewport()->width();
        const QByteArray bytes = prose(1 << 20, lineBreaks).toLatin1();
        fromBytes ? box.setText(SingleByteText{bytes, &cp1252Decoding()}, {})
                  : box.setText(QString::fromLatin1(bytes));
        settle();
        // The bar comes into room kept for it: Qt would lay out every block
        // again for a new width.
        QCOMPARE(box.viewport()->width(), width);
        const std::vector<qint64> before = wrappedLinesBefore(box);
        // The lines counted here are the ones Qt lays out.
        const QTextBlock first = box.document()->firstBlock();
        QCOMPARE(before[1], qint64(first.layout()->lineCount()));
        EstimatedScrollBar *bar = barOf(box);
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->accessibleName(), QStringLiteral("Vertical scroll bar"));
        QVERIFY2(!box.horizontalScrollBar()->isVisible(), "a horizontal bar shows");
        QVERIFY(!bar->geometry().intersects(box.viewport()->geometry()));
        const int range = bar->maximum();
        const int page = bar->pageStep();
        auto where = [&] {
            return QStringLiteral("line %1 of %2, thumb at %3 of %4")
                .arg(linesAbove(box, before))
                .arg(before.back())
                .arg(bar->value())
                .arg(range + page);
        };

        // Dragged anywhere, or set there as a screen reader does, the thumb
        // stays and the view goes where it is.
        for (int k = 0; k <= 9; ++k) {
            const int value = range * k / 9;
            k % 2 ? drag(bar, value) : bar->setValue(value);
            QCOMPARE(bar->value(), value);
            QVERIFY2(thumbError(box, before) < 0.01, qPrintable(where()));
            QCOMPARE(bar->maximum(), range);
        }
        QCOMPARE(box.verticalScrollBar()->value(), box.verticalScrollBar()->maximum());

        // The wheel turns by lines, over the text and over the bar alike.
        drag(bar, range / 2);
        for (QWidget *over :
             {static_cast<QWidget *>(box.viewport()), static_cast<QWidget *>(bar)}) {
            const qint64 top = linesAbove(box, before);
            turnWheel(over);
            QCoreApplication::processEvents(); // Qt lays out what came into view as it paints
            QCOMPARE(linesAbove(box, before) - top, qint64(QApplication::wheelScrollLines()));
            QVERIFY2(thumbError(box, before) < 0.01, qPrintable(where()));
        }

        // Page Down shows the next page and Page Up the one before, give or
        // take the line cut at the bottom; the thumb moves with them. (They
        // move the cursor, which goes to the view first.)
        drag(bar, range / 10);
        box.setTextCursor(box.cursorForPosition(QPoint(0, 0)));
        const int shown = int(box.viewport()->height() / first.layout()->lineAt(0).height());
        for (const Qt::Key key : {Qt::Key_PageDown, Qt::Key_PageUp}) {
            for (int i = 0; i < 20; ++i) {
                const qint64 top = linesAbove(box, before);
                const int value = bar->value();
                QTest::keyClick(&box, key);
                QCoreApplication::processEvents();
                const qint64 step = qAbs(linesAbove(box, before) - top);
                QVERIFY2(qAbs(step - shown) <= 1, qPrintable(where()));
                QCOMPARE(linesAbove(box, before) > top, key == Qt::Key_PageDown);
                const int moved = qAbs(bar->value() - value);
                QVERIFY2(qAbs(moved - step) <= shown / 10 + 1, qPrintable(where()));
                QVERIFY2(thumbError(box, before) < 0.01, qPrintable(where()));
            }
        }

        // A click in the track or on an arrow moves as the key or the wheel.
        for (const auto action :
             {QAbstractSlider::SliderPageStepAdd, QAbstractSlider::SliderPageStepSub,
              QAbstractSlider::SliderSingleStepAdd}) {
            const qint64 top = linesAbove(box, before);
            bar->triggerAction(action);
            QCoreApplication::processEvents();
            const qint64 step = linesAbove(box, before) - top;
            if (action == QAbstractSlider::SliderSingleStepAdd)
                QCOMPARE(step, qint64(1));
            else
                QVERIFY2(qAbs(qAbs(step) - shown) <= 1, qPrintable(where()));
            QCOMPARE(step > 0, action != QAbstractSlider::SliderPageStepSub);
            QVERIFY2(thumbError(box, before) < 0.01, qPrintable(where()));
        }

        // The cursor taken to either end brings the view, and the thumb, along.
        QTest::keyClick(&box, Qt::Key_End, Qt::ControlModifier);
        QCoreApplication::processEvents();
        // (Qt puts the cursor's line at the bottom, which may leave the view a
        // line short of the end of its own bar.)
        QVERIFY2(bar->maximum() - bar->value() <= 1, qPrintable(where()));
        QVERIFY2(linesAbove(box, before) >= before.back() - page - 1, qPrintable(where()));
        QTest::keyClick(&box, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(linesAbove(box, before), qint64(0));
        // A middle click in the track takes the thumb, and the view, there.
        QTest::mouseClick(bar, Qt::MiddleButton, {}, bar->rect().center());
        QVERIFY2(qAbs(bar->value() - range / 2) < range / 20, qPrintable(where()));
        QVERIFY2(thumbError(box, before) < 0.01, qPrintable(where()));

        // What scrolling laid out changes nothing of the bar's range.
        settle();
        QCOMPARE(bar->maximum(), range);
        QCOMPARE(bar->pageStep(), page);
    }

    void rangeCountsTheTextAfterEveryChange_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<int>("lines"); // that the text gains; kAsLaidOut: however Qt wraps it
        QTest::newRow("Enter") << Edit([](RichTextBox &box) {
            QTest::keyClick(&box, Qt::Key_Return);
        }) << 1;
        QTest::newRow("Shift+Enter") << Edit([](RichTextBox &box) {
            QTest::keyClick(&box, Qt::Key_Return, Qt::ShiftModifier);
        }) << 1;
        QTest::newRow("a word") << Edit([](RichTextBox &box) { QTest::keyClicks(&box, "word "); })
                                << 0;
        QTest::newRow("words that wrap the last line") << Edit([](RichTextBox &box) {
            box.moveCursor(QTextCursor::End);
            box.moveCursor(QTextCursor::PreviousCharacter);
            QTest::keyClicks(&box, " and on and on, past the edge of the area");
        }) << 1;
        QTest::newRow("a line deleted") << Edit([](RichTextBox &box) {
            QTest::keyClick(&box, Qt::Key_Down, Qt::ShiftModifier);
            QTest::keyClick(&box, Qt::Key_Delete);
        }) << -1;
        QTest::newRow("ten lines pasted") << Edit(pasteTenLines) << 10;
        // As a replace-all does it, in one step: the blocks at either end wrap
        // as before, one between them more.
        QTest::newRow("changes over many blocks") << Edit([](RichTextBox &box) {
            QTextCursor cursor(box.document()->findBlockByNumber(20));
            cursor.beginEditBlock();
            for (const int block : {20, 30, 25}) {
                cursor.setPosition(box.document()->findBlockByNumber(block).position());
                cursor.insertText(QStringLiteral("ab ").repeated(block == 25 ? 24 : 1));
            }
            cursor.endEditBlock();
        }) << 1;
        QTest::newRow("a line of many wrapped lines pasted") << Edit([](RichTextBox &box) {
            QApplication::clipboard()->setText(QStringLiteral("ab ").repeated(150));
            box.paste();
        }) << kAsLaidOut;
        QTest::newRow("many blocks of lines pasted") << Edit([](RichTextBox &box) {
            QApplication::clipboard()->setText(prose(80000, true, 5));
            box.paste();
        }) << int(prose(80000, true, 5).count(u'\n'));
        // Counted once a big edit's hold ends, though the new text came while it held.
        QTest::newRow("a new text while the bar held") << Edit([](RichTextBox &box) {
            barOf(box)->hold(true);
            box.setText(prose(300000, true, 3));
            QTest::qWait(30); // longer than the bar waits for a new text to settle
            barOf(box)->hold(false);
        }) << kAsLaidOut;
        QTest::newRow("a paste undone") << Edit([](RichTextBox &box) {
            pasteTenLines(box);
            box.undo();
        }) << 0;
        QTest::newRow("a colour for everything") << Edit([](RichTextBox &box) {
            box.selectAll();
            box.setSelColor(0x0000C0);
        }) << 0;
        QTest::newRow("a bigger font for everything") << Edit([](RichTextBox &box) {
            box.selectAll();
            box.setSelFontSize(14);
        }) << kAsLaidOut;
        QTest::newRow("the area made narrower")
            << Edit([](RichTextBox &box) { box.resize(box.width() * 2 / 3, box.height()); })
            << kAsLaidOut;
        // The bar's value, counted narrow, is past the end of its range wide:
        // the view stays off the end all the same.
        QTest::newRow("the area made narrower, then wide again") << Edit([](RichTextBox &box) {
            const int width = box.width();
            box.resize(width * 2 / 3, box.height());
            settle();
            box.resize(width, box.height());
            settle();
            QVERIFY(box.verticalScrollBar()->value() < box.verticalScrollBar()->maximum());
        }) << 0;
        // Fewer lines than the view holds, though one, of narrow letters and
        // not laid out to count them, is counted as two.
        QTest::newRow("Reset, and a few blocks") << Edit([](RichTextBox &box) {
            box.setText(QString());
            QTextCursor cursor(box.document());
            cursor.beginEditBlock();
            for (int block = 0; block < 14; ++block)
                cursor.insertText(block == 4 ? QString(150, u'i') + u'\n' : QStringLiteral("a\n"));
            cursor.endEditBlock();
        }) << kAsLaidOut;
        QTest::newRow("a new text")
            << Edit([](RichTextBox &box) { box.setText(prose(300000, true, 11)); }) << kAsLaidOut;
        QTest::newRow("a document of its own") << Edit(handOver) << kAsLaidOut;
    }
    void rangeCountsTheTextAfterEveryChange()
    {
        QFETCH(Edit, edit);
        QFETCH(int, lines);
        RichTextBox box;
        QVERIFY(showArea(box, 100));
        box.setText(prose(200000, true));
        settle();
        EstimatedScrollBar *bar = barOf(box);
        const qint64 total = bar->maximum() + bar->pageStep();
        QCOMPARE(total, wrappedLinesBefore(box).back());
        // At the start of a line in the middle of the text.
        QTextCursor at(box.document()->findBlockByNumber(box.document()->blockCount() / 2));
        at.movePosition(QTextCursor::Down, QTextCursor::MoveAnchor, 20);
        box.setTextCursor(at);
        box.ensureCursorVisible();

        edit(box);
        for (int typed = 0; typed < 2; ++typed) {
            settle();
            const std::vector<qint64> before = wrappedLinesBefore(box);
            QCOMPARE(bar->maximum(), std::max<qint64>(0, before.back() - bar->pageStep()));
            QCOMPARE(bar->isVisible(), bar->maximum() > 0);
            QVERIFY(thumbError(box, before) < 0.01);
            if (!typed && lines != kAsLaidOut)
                QCOMPARE(before.back() - total, qint64(lines));
            // And the text keeps being counted as it is typed in.
            QTest::keyClick(&box, Qt::Key_Return);
        }
    }

    // Where no line of the sample wrapped, a longer one counts by the font's average character.
    void linesLongerThanAnySampledCountByTheAverageCharacter()
    {
        const LineWrapping wrap = LineWrapping::learn({{40, 1}, {60, 1}}, 80);
        QCOMPARE(wrap.lines(60), 1.0);
        QCOMPARE(wrap.lines(240), 3.0);
    }
};

QTEST_MAIN(RichTextBoxTest)
#include "tst_richtextbox.moc"
