// The vertical scroll bar: how far its thumb stands from the place shown, how
// its range holds while scrolling, and how soon a drag shows its place.

#include "Child.h"
#include "ChildWindow.h"
#include "Common.h"
#include "Data.h"
#include "measure/WrappedLines.h"
#include "platform/textarea/EstimatedScrollBar.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <vector>

namespace vellumo::bench {

namespace {

// The ten places, visited back and forth so that each drag goes far.
constexpr int kPlaces[] = {0, 9, 1, 8, 2, 7, 3, 6, 4, 5};

// Runs the event loop until the watched viewport has painted; returns when
// the last event was done with, as typing does.
double untilPainted(int paintsBefore, double start)
{
    while (app()->paints == paintsBefore && nowMs() - start < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return app()->lastActivity - start;
}

// As the mouse drags the thumb there: the time until the view has painted.
double dragTo(QScrollBar *bar, int value)
{
    if (bar->value() == value)
        return 0; // nothing to paint
    const int paints = app()->paints;
    const double start = nowMs();
    bar->setSliderDown(true);
    bar->setSliderPosition(value);
    bar->setSliderDown(false);
    return untilPainted(paints, start);
}

double worstDrag(QScrollBar *bar)
{
    double worst = 0;
    for (const int k : kPlaces)
        worst = std::max(worst, dragTo(bar, int(qint64(bar->maximum()) * k / 9)));
    return worst;
}

double thumb(const QScrollBar *bar)
{
    return double(bar->value()) / (double(bar->maximum()) + bar->pageStep());
}

struct Top {
    int block;
    int line;
};

Top topOfView(const QPlainTextEdit &area)
{
    const QTextCursor at = area.cursorForPosition(QPoint(0, area.fontMetrics().height() / 2));
    const QTextLine line = at.block().layout()->lineForTextPosition(at.positionInBlock());
    return {at.blockNumber(), line.lineNumber()};
}

} // namespace

// The worst distance, in percent of the text, between the thumb and the share
// of wrapped lines above the view at ten places; and the same of Qt's own bar
// on the same blocks, which the area keeps hidden. Then 200 Page Downs from
// the top: how much either range moved, and how far either thumb is then.
Result vellumoThumb(const Job &job)
{
    VellumoWindow w;
    w.load(job.path);
    settle();
    QScrollBar *bar = w.area->findChild<EstimatedScrollBar *>();
    const QScrollBar *qt = w.area->verticalScrollBar();
    if (!bar || bar->maximum() == 0)
        fail(QStringLiteral("%1 does not scroll").arg(job.path));
    const int range = bar->maximum(), qtRange = qt->maximum();

    struct Place {
        Top top;
        double thumb, qtThumb;
    };
    std::vector<Place> places;
    for (const int k : kPlaces) {
        dragTo(bar, int(qint64(range) * k / 9));
        places.push_back({topOfView(*w.area), thumb(bar), thumb(qt)});
    }
    dragTo(bar, 0);
    w.area->setTextCursor(QTextCursor(w.area->document()));
    for (int i = 0; i < 200; ++i) {
        const int paints = app()->paints;
        const double start = nowMs();
        QCoreApplication::postEvent(
            w.area, new QKeyEvent(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier));
        untilPainted(paints, start);
    }
    const Place paged{topOfView(*w.area), thumb(bar), thumb(qt)};

    const std::vector<qint64> before = vellumo::measure::wrappedLinesBefore(*w.area);
    auto truth = [&](const Place &p) {
        return double(before[size_t(p.top.block)] + p.top.line) / before.back();
    };
    double worst = 0, qtWorst = 0;
    for (const Place &p : places) {
        worst = std::max(worst, qAbs(p.thumb - truth(p)) * 100);
        qtWorst = std::max(qtWorst, qAbs(p.qtThumb - truth(p)) * 100);
    }
    Result r{worst};
    r.more = QJsonObject{
        {QStringLiteral("qt_thumb_error"), qtWorst},
        {QStringLiteral("paged_thumb_error"), qAbs(paged.thumb - truth(paged)) * 100},
        {QStringLiteral("qt_paged_thumb_error"), qAbs(paged.qtThumb - truth(paged)) * 100},
        {QStringLiteral("range_change"), bar->maximum() - range},
        {QStringLiteral("qt_range_change"), qt->maximum() - qtRange},
        {QStringLiteral("lines"), double(before.back())}};
    return r;
}

Result vellumoDrag(const Job &job)
{
    VellumoWindow w;
    w.load(job.path);
    settle();
    return {worstDrag(w.area->findChild<EstimatedScrollBar *>())};
}

Result bareDrag(const Job &job)
{
    BareWindow<QPlainTextEdit> w;
    w.edit.setPlainText(decodeFloor(readFile(job.path)));
    settle();
    return {worstDrag(w.edit.verticalScrollBar())};
}

} // namespace vellumo::bench
