#include "ChildWindow.h"

#include "Common.h"
#include "app/MainLayout.h"
#include "platform/forms/FormLayout.h"

#include <QPrinter>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <algorithm>

namespace vellumo::bench {

bool BenchApp::notify(QObject *receiver, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool paint = type == QEvent::Paint && receiver == watched;
    const double before = nowMs();
    const bool result = QApplication::notify(receiver, event);
    const double after = nowMs();
    // While gaps are timed, the paints asked for every few milliseconds are not work of the
    // command's: the program is idle when nothing else happens.
    const bool asked = type == QEvent::Paint || type == QEvent::UpdateRequest ||
                       (type == QEvent::Timer && receiver == ticker);
    if (!timingGaps || !asked)
        lastActivity = after;
    paints += paint;
    if (timingGaps && type == QEvent::Paint) {
        longestGap = std::max(longestGap, before - lastPaint);
        lastPaint = after;
    }
    return result;
}

BenchApp *app()
{
    return static_cast<BenchApp *>(qApp);
}

double settle()
{
    const int paints = app()->paints;
    static const double quiet = qEnvironmentVariableIsSet("VELLUMO_BENCH_QUICK") ? 40 : 250;
    const double start = nowMs();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const double now = nowMs();
        const bool painted = app()->paints > paints || now - start > 5000;
        if (painted && now - std::max(app()->lastActivity, start) > quiet)
            return std::max(app()->lastActivity, start);
        QThread::usleep(500);
    }
}

bool BenchDialogs::openFile(QWidget *, const FileRequest &, QString &chosen)
{
    chosen = file;
    return true;
}

bool BenchDialogs::saveFile(QWidget *, const FileRequest &, QString &chosen)
{
    chosen = saveAs.isEmpty() ? file : saveAs;
    return true;
}

bool BenchDialogs::color(QWidget *, unsigned &bgr)
{
    bgr = 0x0000C0;
    return true;
}

bool BenchDialogs::font(QWidget *, int, FontChoice &choice)
{
    choice = {QStringLiteral("DejaVu Serif"), 14, true, true};
    return true;
}

bool BenchDialogs::printer(QWidget *, QPrinter &printer)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
}

int BenchMessages::show(QWidget *, const QString &prompt, int style, const QString &title)
{
    const bool question = (style & 7) == MsgStyle::YesNo;
    if ((style & MsgStyle::Critical) && !question)
        fail(title + QStringLiteral(": ") + prompt);
    return question ? kAnswerYes : kAnswerOk;
}

Services benchServices(const SystemServices &system, BenchDialogs &dialogs, BenchMessages &messages)
{
    Services services = system.services();
    services.dialogs = &dialogs;
    services.messageBox = &messages;
    return services;
}

VellumoWindow::VellumoWindow()
{
    window = std::make_unique<frmMain>(benchServices(system, dialogs, messages));
    area = window->RichTextBox1();
    app()->watched = area->viewport();
    window->show();
    settle();
}

void VellumoWindow::click(const char *button)
{
    auto *b = window->findChild<QPushButton *>(QString::fromLatin1(button));
    if (!b)
        fail(QStringLiteral("no button %1").arg(QString::fromLatin1(button)));
    b->click();
}

void VellumoWindow::load(const QString &path)
{
    dialogs.file = path;
    click("cmdLoad");
}

int unformattedAt(QTextDocument *doc, bool colour)
{
    const int count = doc->characterCount();
    for (const int position : {1, count / 2, count - 1}) {
        QTextCursor at(doc);
        at.setPosition(std::min(position, count - 1));
        const QTextCharFormat f = at.charFormat();
        const bool done =
            colour ? f.foreground().color() == QColor(0xC0, 0, 0)
                   : f.fontItalic() && f.fontWeight() == QFont::Bold && f.fontPointSize() == 14;
        if (!done)
            return position;
    }
    return -1;
}

QSize areaSize()
{
    for (const ControlEntry &entry : mainLayout())
        if (QLatin1String(entry.name) == QLatin1String("RichTextBox1"))
            return {twipsToPixels(entry.width), twipsToPixels(entry.height)};
    return {633, 369};
}

} // namespace vellumo::bench
