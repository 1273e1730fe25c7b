#pragma once

#include "platform/textarea/BlockLines.h"
#include "platform/textarea/LineWrapping.h"

#include <QPointer>
#include <QScrollBar>
#include <utility>
#include <vector>

class QPlainTextEdit;
class QTextBlock;
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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void attachLater();
    void attach();
    // The blocks it laid out, by number in order, with their lines.
    std::vector<std::pair<int, int>> calibrate();
    int estimate(const QTextBlock &block) const;
    void contentsChanged(int position, int removed, int added);
    void settleLater();
    void settle();
    void updateRange();
    bool outOfDate() const;
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
    std::vector<int> m_pending; // edited blocks, by number
    bool m_attachQueued = false;
    bool m_settleQueued = false;
    bool m_recountIfWrong = false; // when a pending block's real count differs
    bool m_attaching = false;
    bool m_following = false; // the value is being set to the view's
    bool m_showing = false;   // the view is being set to the value
};

} // namespace vellumo
