#include "platform/textarea/EstimatedScrollBar.h"

#include "platform/textarea/LineWrapping.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace vellumo {

namespace {
// Blocks laid out to calibrate the estimate, spread evenly over the text.
constexpr int kSamples = 12;
// A change to more blocks than this is a new text when it is all of it, counted again whole and
// calibrated again; else, made in steps, it counts only its own blocks.
constexpr int kEditedBlocks = 8;
// Edited blocks waiting for their real count, at most.
constexpr size_t kPending = 16;
// What counting the blocks may take between two looks at the events.
constexpr qint64 kSliceMs = 8;

// Summed here, in a register of its own: a sum kept in memory makes each add wait for the last.
double linesOf(const quint16 *first, const quint16 *last, const double *byLength)
{
    double lines = 0;
    for (; first != last; ++first)
        lines += byLength[*first];
    return lines;
}

} // namespace

EstimatedScrollBar::EstimatedScrollBar(QPlainTextEdit *area)
    : QScrollBar(Qt::Vertical, area), m_area(area), m_viewport(area->viewport()),
      m_driver(area->verticalScrollBar())
{
    setAccessibleName(QStringLiteral("Vertical scroll bar"));
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The room kept for the bar shows the text's background while it is hidden.
    area->setBackgroundRole(QPalette::Base);
    area->setAutoFillBackground(true);
    m_viewport->installEventFilter(this);
    connect(m_driver, &QScrollBar::valueChanged, this, &EstimatedScrollBar::follow);
    // Qt moves its bar without a signal on some scrolls (Page Down); it always
    // asks for the view to be painted.
    connect(area, &QPlainTextEdit::updateRequest, this, &EstimatedScrollBar::follow);
    connect(m_driver, &QScrollBar::rangeChanged, this, [this] {
        updateRange();
        follow();
    });
    connect(this, &QScrollBar::actionTriggered, this, &EstimatedScrollBar::act);
    connect(this, &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_moving)
            showValue(value);
    });
    setVisible(false);
    QMetaObject::invokeMethod(this, &EstimatedScrollBar::attach, Qt::QueuedConnection);
}

void EstimatedScrollBar::expect(const QTextDocument *document, LineLengths lengths)
{
    m_expected = {document, document->revision(), std::move(lengths)};
}

bool EstimatedScrollBar::counted()
{
    return !stale() && m_counts == Counts::Current;
}

bool EstimatedScrollBar::stale()
{
    if (m_counts == Counts::Stale)
        return true;
    if (m_area->document() == m_document && layoutWidth() == m_width)
        return false;
    attachLater();
    return true;
}

// Counting a whole text lays out blocks, which Qt answers by adjusting its own
// bar: never done from inside one of Qt's own updates. A timer rather than a
// posted call, as Qt handles posted events, paints among them, before timers:
// a new text shows, and then it is counted. Taking a big new text in keeps the
// window from its events for a while: they come first.
void EstimatedScrollBar::attachLater()
{
    m_counts = Counts::Stale;
    ++m_count.generation; // a count under way is of an older text
    if (std::exchange(m_attachQueued, true))
        return;
    QTimer::singleShot(20, this, [this] {
        m_attachQueued = false;
        if (!m_held)
            attach(); // else once the hold ends
    });
}

void EstimatedScrollBar::Count::add(double blockLines)
{
    // Whole lines for each block, with the fractions carried on, so that the
    // sum is as exact as the estimate.
    sum += blockLines;
    const int here = int(std::max<qint64>(1, std::llround(sum) - counted));
    lines.push_back(here);
    counted += here;
}

void EstimatedScrollBar::attach()
{
    QTextDocument *document = m_area->document();
    if (document != m_document) {
        disconnect(m_contents);
        m_document = document;
        m_contents = connect(document, &QTextDocument::contentsChange, this,
                             &EstimatedScrollBar::contentsChanged);
    }
    m_width = layoutWidth();
    m_pending.clear();
    m_counts = Counts::Stale;
    const int generation = ++m_count.generation;
    const int count = document->blockCount();
    m_count = Count();
    m_count.generation = generation;
    m_count.blocks = count;
    m_count.samples = calibrate();
    m_count.lines.reserve(size_t(count));
    Expected expected = std::exchange(m_expected, {});
    if (expected.document == document && expected.revision == document->revision() &&
        expected.lengths.blockEnds.size() == size_t(count)) {
        // What a line of each length takes, worked out once for the millions of lines.
        m_count.byLength.resize(size_t(std::numeric_limits<quint16>::max()) + 1);
        for (size_t chars = 0; chars < m_count.byLength.size(); ++chars)
            m_count.byLength[chars] = m_wrap.lines(qsizetype(chars));
        m_count.given = std::move(expected.lengths);
    } else {
        m_count.next = document->begin();
    }
    // Apart from the samples' layouts, so that the window answers in between.
    QTimer::singleShot(0, this, [this, generation] { countOn(generation); });
}

// The blocks are counted a slice at a time, while the window answers: those of a big text that
// are read back take seconds. An edit meanwhile starts the count again. (The count Qt keeps for
// a block may be from before its last change: only the samples are known.)
void EstimatedScrollBar::countOn(int generation)
{
    if (generation != m_count.generation)
        return;
    if (m_area->document() != m_document || layoutWidth() != m_width) {
        attach();
        return;
    }
    QElapsedTimer slice;
    slice.start();
    const std::vector<qsizetype> &ends = m_count.given.blockEnds;
    const quint16 *lengths = m_count.given.lengths.data();
    while (int(m_count.lines.size()) < m_count.blocks) {
        if (slice.hasExpired(kSliceMs)) {
            QTimer::singleShot(0, this, [this, generation] { countOn(generation); });
            return;
        }
        const size_t number = m_count.lines.size();
        const auto &samples = m_count.samples;
        if (m_count.sample < samples.size() && size_t(samples[m_count.sample].first) == number)
            m_count.add(samples[m_count.sample++].second);
        else if (!ends.empty())
            m_count.add(linesOf(lengths + (number > 0 ? ends[number - 1] : 0),
                                lengths + ends[number], m_count.byLength.data()));
        else
            m_count.add(m_wrap.block(m_count.next.text()));
        if (ends.empty())
            m_count.next = m_count.next.next();
    }
    m_count.given = {};
    m_lines.assign(std::exchange(m_count.lines, {}));
    m_counts = Counts::Current;
    updateRange();
    follow();
}

// Learns from a few blocks, laid out for it, how long a line may be and
// still take one wrapped line, and how many characters a longer one puts on
// each: an even text is counted as the sample is.
std::vector<std::pair<int, int>> EstimatedScrollBar::calibrate()
{
    m_wrap = LineWrapping{};
    std::vector<std::pair<int, int>> samples;
    QTextDocument *document = m_document;
    const qreal width = m_width - 2 * document->documentMargin();
    if (m_width <= 0 || width <= 0)
        return samples; // not wrapped
    const double guess = width / QFontMetricsF(document->defaultFont()).averageCharWidth();
    const int blocks = document->blockCount();
    std::vector<std::pair<qsizetype, int>> segments; // chars, lines
    for (int k = 0, last = -1; k < kSamples; ++k) {
        const int number = int(qint64(blocks - 1) * k / (kSamples - 1));
        if (number == last)
            continue;
        last = number;
        const QTextBlock block = document->findBlockByNumber(number);
        document->documentLayout()->blockBoundingRect(block); // lays it out
        const QTextLayout *layout = block.layout();
        samples.emplace_back(number, std::max(1, layout->lineCount()));
        int line = 0;
        forEachLine(block.text(), [&](qsizetype from, qsizetype chars) {
            int lines = 0;
            for (; line < layout->lineCount() && layout->lineAt(line).textStart() <= from + chars;
                 ++line)
                ++lines;
            segments.emplace_back(chars, std::max(1, lines));
        });
    }
    m_wrap = LineWrapping::learn(segments, guess);
    return samples;
}

int EstimatedScrollBar::estimate(const QTextBlock &block) const
{
    return std::max(1, int(std::lround(m_wrap.block(block.text()))));
}

// Qt lays out an edited block only after telling of the edit: until then the
// block counts as estimated, and settle() puts in its real count.
void EstimatedScrollBar::contentsChanged(int position, int removed, int added)
{
    if (m_counts == Counts::Stale) {
        attachLater(); // counted again, once the text is as it will be
        return;
    }
    QTextDocument *document = m_document;
    // The blocks from first to last are new; those after them only moved.
    const int count = document->blockCount();
    const int end = std::min(position + added, document->characterCount() - 1);
    const int first = document->findBlock(position).blockNumber();
    const int last = document->findBlock(end).blockNumber();
    const int moved = count - m_lines.count();
    const int oldLast = last - moved;
    if (first < 0 || last < first || oldLast < first - 1 || oldLast >= m_lines.count()) {
        attachLater();
        return;
    }
    if (last - first >= kEditedBlocks) {
        if (removed == added && moved == 0) {
            // The same text, formatted: a colour wraps nothing, a font may. Its two
            // ends, laid out again, tell. A big selection is formatted in steps: the
            // last one's ends tell for all.
            if (m_counts == Counts::Reformatted && m_pending.size() >= 2)
                m_pending.resize(m_pending.size() - 2);
            m_pending.push_back(first);
            m_pending.push_back(last);
            settleLater(Counts::Reformatted);
            return;
        }
        if (first == 0 && last == count - 1) {
            attachLater(); // a new text
            return;
        }
        // A big cut or paste, made in steps: each counts only what it brought.
    }
    std::vector<int> lines;
    for (QTextBlock block = document->findBlockByNumber(first);
         block.isValid() && block.blockNumber() <= last; block = block.next())
        lines.push_back(estimate(block));
    m_lines.replace(first, oldLast, lines);

    std::vector<int> pending;
    for (const int block : m_pending) {
        if (block > oldLast)
            pending.push_back(block + moved);
        else if (block < first)
            pending.push_back(block);
    }
    // A step of a big edit is counted by estimate, but for its two ends, where it joins the text.
    for (int block = first; block <= last; ++block)
        if (last - first < kEditedBlocks || block == first || block == last)
            pending.push_back(block);
    if (pending.size() > kPending)
        pending.erase(pending.begin(), pending.end() - kPending);
    m_pending = std::move(pending);
    settleLater(Counts::Estimated);
    updateRange();
    follow();
}

void EstimatedScrollBar::settleLater(Counts counts)
{
    if (m_counts == Counts::Current)
        QMetaObject::invokeMethod(this, &EstimatedScrollBar::settle, Qt::QueuedConnection);
    m_counts = std::max(m_counts, counts);
}

void EstimatedScrollBar::hold(bool hold)
{
    m_held = hold;
    if (!hold && m_counts == Counts::Stale)
        attachLater();
    else if (!hold && m_counts != Counts::Current)
        QMetaObject::invokeMethod(this, &EstimatedScrollBar::settle, Qt::QueuedConnection);
}

void EstimatedScrollBar::settle()
{
    if (m_held || m_counts == Counts::Current || stale())
        return;
    const bool recountIfWrong = m_counts == Counts::Reformatted;
    m_counts = Counts::Current;
    for (const int number : std::exchange(m_pending, {})) {
        const QTextBlock block = m_document->findBlockByNumber(number);
        if (!block.isValid())
            continue;
        if (block.layout()->lineCount() == 0)
            m_document->documentLayout()->blockBoundingRect(block); // lays it out
        const int real = std::max(1, block.layout()->lineCount());
        if (real == m_lines.at(number))
            continue;
        if (recountIfWrong) {
            attach();
            return;
        }
        m_lines.replace(number, number, {real});
    }
    updateRange();
    follow();
}

void EstimatedScrollBar::updateRange()
{
    const int page = std::max(1, m_driver->pageStep());
    const qint64 lines = m_lines.total();
    // Nothing to scroll when the area's own bar says so.
    const int top = m_driver->maximum() > 0 ? int(std::clamp<qint64>(lines - page, 0, INT_MAX)) : 0;
    if (top != maximum() || page != pageStep()) {
        const QScopedValueRollback<bool> moving(m_moving, true);
        setPageStep(page);
        setRange(0, top);
    }
    setVisible(top > 0);
}

// The width Qt lays the text out to (0: unwrapped).
qreal EstimatedScrollBar::layoutWidth() const
{
    return m_area->lineWrapMode() == QPlainTextEdit::WidgetWidth ? m_area->viewport()->width() : 0;
}

// Lines above the top block by this bar's counts, plus the part of the top
// block above the view.
int EstimatedScrollBar::valueOfView() const
{
    if (m_driver->maximum() > 0 && m_driver->value() >= m_driver->maximum())
        return maximum();
    const int line = m_driver->value();
    const QTextBlock top = m_document->findBlockByLineNumber(line);
    if (!top.isValid() || top.blockNumber() >= m_lines.count())
        return 0;
    const int n = top.blockNumber();
    const int real = std::max(1, top.lineCount());
    const int offset = std::clamp(line - top.firstLineNumber(), 0, real - 1);
    const double value = double(m_lines.before(n)) + double(m_lines.at(n)) * offset / real;
    return int(std::clamp(std::round(value), 0.0, double(maximum())));
}

void EstimatedScrollBar::follow()
{
    if (m_moving || isSliderDown() || stale())
        return;
    const QScopedValueRollback<bool> moving(m_moving, true);
    setValue(valueOfView());
}

// Steps and pages go to the area's own bar, which moves the view by whole
// lines and pages as it always has; this bar then follows the view.
void EstimatedScrollBar::act(int action)
{
    if (action == SliderMove)
        return; // for a move, the value itself is the place: see showValue()
    m_driver->triggerAction(SliderAction(action));
    follow(); // also where the step moved nothing, for the value to stay put
}

// The line of the text at this bar's value: the block there is laid out, and
// the view goes to the same share of its real lines.
void EstimatedScrollBar::showValue(int value)
{
    if (stale())
        return;
    const QScopedValueRollback<bool> moving(m_moving, true);
    if (value >= maximum()) {
        m_driver->setValue(m_driver->maximum());
    } else {
        const int n = m_lines.blockAt(value);
        const QTextBlock block = m_document->findBlockByNumber(n);
        m_document->documentLayout()->blockBoundingRect(block);
        const int real = std::max(1, block.lineCount());
        const double share = double(value - m_lines.before(n)) / std::max(1, m_lines.at(n));
        const int line = std::clamp(int(share * real), 0, real - 1);
        m_driver->setValue(block.firstLineNumber() + line);
    }
}

void EstimatedScrollBar::place()
{
    // Into all the room the area keeps on the right of the text.
    const QRect view = m_viewport->geometry();
    setGeometry(view.right() + 1, view.top(), m_area->contentsRect().right() - view.right(),
                view.height());
}

bool EstimatedScrollBar::eventFilter(QObject *watched, QEvent *event)
{
    // Compared with the viewport kept, as the area may be half destroyed.
    if (watched == m_viewport) {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Move:
            place();
            break;
        case QEvent::Paint:
            // Catches a document set or a width changed without a word to the bar.
            follow();
            break;
        default:
            break;
        }
    }
    return QScrollBar::eventFilter(watched, event);
}

void EstimatedScrollBar::wheelEvent(QWheelEvent *event)
{
    // By whole lines, as over the text.
    QCoreApplication::sendEvent(m_area->viewport(), event);
    event->accept();
}

} // namespace vellumo
