// The child of "commands on a big text": the real main window, driven by the parent through the
// X server. It tells where its window and controls are and, on request, what the document
// holds; it never times anything.

#include "Child.h"
#include "ChildWindow.h"
#include "Common.h"
#include "platform/textarea/EstimatedScrollBar.h"

#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeData>
#include <QSocketNotifier>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>
#include <cstdio>
#include <unistd.h>

namespace vellumo::bench {

namespace {

QJsonArray global(const QWidget *w, const QRect &r)
{
    const QPoint at = w->mapToGlobal(r.topLeft());
    return {at.x(), at.y(), r.width(), r.height()};
}

// Where the thumb is painted, for the driver to press on it.
QRect thumb(const QScrollBar *bar)
{
    QStyleOptionSlider o;
    o.initFrom(bar);
    o.subControls = QStyle::SC_All;
    o.orientation = bar->orientation();
    o.minimum = bar->minimum();
    o.maximum = bar->maximum();
    o.sliderPosition = bar->sliderPosition();
    o.sliderValue = bar->value();
    o.singleStep = bar->singleStep();
    o.pageStep = bar->pageStep();
    o.upsideDown = bar->invertedAppearance();
    if (bar->orientation() == Qt::Horizontal)
        o.state |= QStyle::State_Horizontal;
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &o, QStyle::SC_ScrollBarSlider, bar);
}

qint64 clipboardChars(QClipboard::Mode mode)
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(mode);
    return data && data->hasText() ? data->text().size() : 0;
}

// All of it cheap, whatever the text's size.
QJsonObject facts(const VellumoWindow &w, const QScrollBar &bar)
{
    const QTextCursor c = w.area->textCursor();
    QTextDocument *doc = w.area->document();
    return {
        {QStringLiteral("chars"), doc->characterCount()},
        {QStringLiteral("cursor"), c.position()},
        {QStringLiteral("anchor"), c.anchor()},
        {QStringLiteral("bar"), bar.value()},
        {QStringLiteral("bar_max"), bar.maximum()},
        {QStringLiteral("thumb"), global(&bar, thumb(&bar))},
        {QStringLiteral("coloured"), doc->characterCount() >= 3 && unformattedAt(doc, true) < 0},
        {QStringLiteral("font_set"), doc->characterCount() >= 3 && unformattedAt(doc, false) < 0},
        {QStringLiteral("clipboard_chars"), double(clipboardChars(QClipboard::Clipboard))},
        {QStringLiteral("owns_selection"), QGuiApplication::clipboard()->ownsSelection()},
        // Whether it offers text, not the text: asked for, the selection's text is made.
        {QStringLiteral("selection_offered"),
         QGuiApplication::clipboard()->mimeData(QClipboard::Selection) &&
             QGuiApplication::clipboard()->mimeData(QClipboard::Selection)->hasText()},
        {QStringLiteral("loaded_bytes"), double(w.window->loadedText().size())},
        {QStringLiteral("undo"), doc->isUndoAvailable()},
        {QStringLiteral("redo"), doc->isRedoAvailable()}};
}

void say(const QJsonObject &json)
{
    std::fputs(QJsonDocument(json).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int commandsChild(const QString &path)
{
    VellumoWindow w;
    w.dialogs.file = path;
    w.dialogs.saveAs = path + QStringLiteral(".saved");
    w.dialogs.pdf = path + QStringLiteral(".out.pdf");
    const auto *bar = w.area->findChild<EstimatedScrollBar *>();
    if (!bar)
        fail(QStringLiteral("the area has no scroll bar of its own"));
    const QWidget *viewport = w.area->viewport();
    say({{QStringLiteral("window"), double(w.window->winId())},
         {QStringLiteral("viewport"), global(viewport, viewport->rect())},
         {QStringLiteral("bar"), global(bar, bar->rect())}});

    // One line from the driver asks for the facts; its end of the pipe closing ends the child.
    QSocketNotifier requests(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&requests, &QSocketNotifier::activated, &requests, [&w, bar] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            fail(QStringLiteral("the driver has gone"));
        for (ssize_t i = 0; i < n; ++i)
            if (buffer[i] == '\n')
                say(facts(w, *bar));
    });
    // Exit (File, Exit, Yes) ends the loop; the window goes as the program's own does.
    return QApplication::exec();
}

} // namespace vellumo::bench
