#pragma once

#include "platform/textarea/BlockLines.h"
#include "platform/textarea/LineWrapping.h"
#include "platform/textarea/LongLines.h"

#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <utility>
#include <vector>

class QPlainTextEdit;
class QTextDocument;

namespace vellumo {

// The vertical scroll bar the user sees on a text area whose blocks hold many
// lines. QPlainTextEdit counts a block it has not laid out yet as one line, so
// its own bar grows as the text is scrolled through and its thumb is far from
// the place shown. This bar counts every block as the lines it takes once
// wrapped: the real count for a block it had laid out (a few spread over the
// text, and every edited one), else an estimate from its characters,
// calibrated on those few. The counts change only with the text (or the
// area's width), never by scrolling, so the range stays put while the user
// scrolls.
//
// The area's own bar stays, hidden, and drives the view as before: keys,
// the wheel and ensureCursorVisible go through it, and this bar follows the
// view. Moving this bar lays out the block it points into and shows the
// matching line there. The area must leave room for the bar on the right with
// its viewport margins (sizeHint().width()); the bar places itself there and
// picks up a new document whenever the area is given one.
class EstimatedScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit EstimatedScrollBar(QPlainTextEdit *area);

    // The lines of every block of a document about to be shown, as the area grouped them: its
    // first count need not read each block back. They hold while the document is unchanged.
    void expect(const QTextDocument *document, LineLengths lengths);
    // Whether its counts are of the area's text and width as they are now; if not, it counts
    // them once the events queued by then have been handled.
    bool counted();
    // While a big edit is made in steps, it counts and looks at nothing until the last: what it
    // found between two steps would be lost at the next, and the window waits meanwhile.
    void hold(bool hold);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    // What its counts are, and what moves them on. An edit moves Current on to
    // Estimated or Reformatted (the greater stays), settle() brings them back;
    // a new document or width seen, or an edit it cannot place, makes any of
    // them Stale until attach() has counted every block. Stale ones never move
    // the view.
    //   Current      every block counted, as laid out or estimated
    //   Estimated    m_pending edited, counted by estimate: settle() queued, which
    //                puts in their real counts once Qt has laid them out
    //   Reformatted  the whole text formatted anew: settle() queued, which counts
    //                all again if either end (m_pending) now wraps differently
    //   Stale        of another text or width: attach() queued, or its count
    //                under way
    enum class Counts { Current, Estimated, Reformatted, Stale };

    void attach();
    void countOn(int generation);
    // Whether the counts are Stale or of another text or width than the area's
    // now, which are then counted again.
    bool stale();
    void attachLater();
    // The blocks it laid out, by number in order, with their lines.
    std::vector<std::pair<int, int>> calibrate();
    int estimate(const QTextBlock &block) const;
    void contentsChanged(int position, int removed, int added);
    void settleLater(Counts counts);
    void settle();
    void updateRange();
    qreal layoutWidth() const;
    int valueOfView() const;
    void follow();
    void act(int action);
    void showValue(int value);
    void place();

    QPlainTextEdit *m_area;
    QWidget *m_viewport;
    QScrollBar *m_driver;
    QPointer<QTextDocument> m_document;
    QMetaObject::Connection m_contents;
    BlockLines m_lines;
    qreal m_width = -1;
    LineWrapping m_wrap;
    Counts m_counts = Counts::Stale;
    std::vector<int> m_pending; // edited blocks, by number
    struct Expected {
        const QTextDocument *document = nullptr;
        int revision = 0;
        LineLengths lengths;
    } m_expected;
    bool m_attachQueued = false;
    bool m_held = false;
    struct Count {
        int generation = 0; // of the count under way; a newer one ends it
        int blocks = 0;
        std::vector<std::pair<int, int>> samples; // blocks laid out, by number in order, lines
        size_t sample = 0;                        // the next to come
        std::vector<int> lines;
        double sum = 0;
        qint64 counted = 0;
        // Where the lines of every block are known, the lines a line of each length takes;
        // else the next block to read.
        LineLengths given;
        std::vector<double> byLength;
        QTextBlock next;
        void add(double blockLines);
    } m_count;
    // While its value is set to the view's or the view to its value: neither
    // answers the other, which would move the view off the user's place.
    bool m_moving = false;
};

} // namespace vellumo
