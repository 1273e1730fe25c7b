#include "Child.h"

#include "ChildWindow.h"
#include "Common.h"
#include "Data.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <unistd.h>
#include <vector>

namespace vellumo::bench {

namespace {

void placeCursor(QPlainTextEdit &edit, const QString &where)
{
    QTextCursor c(edit.document());
    if (where == QLatin1String("middle"))
        c.setPosition(edit.document()->characterCount() / 2);
    else if (where == QLatin1String("end"))
        c.movePosition(QTextCursor::End);
    edit.setTextCursor(c);
    edit.ensureCursorVisible();
    edit.setFocus();
    settle();
}

// One key pressed and released through the event loop, until the area has repainted.
Result typeKeys(QWidget &edit, int keys)
{
    std::vector<double> times;
    for (int i = 0; i < keys; ++i) {
        const int paints = app()->paints;
        const double start = nowMs();
        QCoreApplication::postEvent(
            &edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
        QCoreApplication::postEvent(&edit, new QKeyEvent(QEvent::KeyRelease, Qt::Key_X,
                                                         Qt::NoModifier, QStringLiteral("x")));
        while (app()->paints == paints && nowMs() - start < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        times.push_back(app()->lastActivity - start);
    }
    if (qEnvironmentVariableIsSet("VELLUMO_BENCH_VERBOSE"))
        for (double t : times)
            QTextStream(stderr) << t << ' ';
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back(), -1};
}

int pdfPages(const QString &path)
{
    const QByteArray pdf = readFile(path);
    return int(pdf.count("/Type /Page") - pdf.count("/Type /Pages"));
}

void saveAtomically(const QString &path, const QByteArray &bytes)
{
    const QString temp = path + QStringLiteral(".tmp");
    QFile file(temp);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0)
        fail(QStringLiteral("cannot write %1").arg(temp));
    file.close();
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0)
        fail(QStringLiteral("cannot rename %1").arg(temp));
}

// Compared a megabyte at a time, so that the check adds nothing to the figure's peak memory.
void checkSavedBack(const QString &original, const QString &saved)
{
    QFile in(original);
    QFile out(saved);
    bool same = in.open(QIODevice::ReadOnly) && out.open(QIODevice::ReadOnly) &&
                out.size() == in.size() + 2;
    while (same && !in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        same = !chunk.isEmpty() && out.read(chunk.size()) == chunk;
    }
    if (!same || out.read(3) != "\r\n")
        fail(QStringLiteral("%1 did not come back byte for byte").arg(original));
}

QTextCharFormat colourFormat()
{
    QTextCharFormat format;
    format.setForeground(QColor(0xC0, 0, 0));
    return format;
}

void mergeFont(QPlainTextEdit &edit)
{
    QTextCharFormat face, size, italic, bold;
    face.setFontFamilies({QStringLiteral("DejaVu Serif")});
    size.setFontPointSize(14);
    italic.setFontItalic(true);
    bold.setFontWeight(QFont::Bold);
    for (const QTextCharFormat &f : {face, size, italic, bold})
        edit.mergeCurrentCharFormat(f);
}

// A format change that left the text as it was would be timed as quick.
void checkFormatted(QPlainTextEdit &edit, bool colour)
{
    const int position = unformattedAt(edit.document(), colour);
    if (position >= 0)
        fail(QStringLiteral("the %1 did not reach character %2")
                 .arg(colour ? QStringLiteral("colour") : QStringLiteral("font"))
                 .arg(position));
}

// The figures. Everything before `start` is setting up.

Result vellumoLoad(const Job &job)
{
    VellumoWindow w;
    const double start = nowMs();
    w.load(job.path);
    return {settle() - start};
}

template <class Edit> Result bareLoad(const Job &job)
{
    BareWindow<Edit> w;
    const QString text = decodeFloor(readFile(job.path));
    const double start = nowMs();
    w.edit.setPlainText(text);
    return {settle() - start};
}

Result readAlone(const Job &job)
{
    const double start = nowMs();
    const QString text = decodeFloor(readFile(job.path));
    const Result r{nowMs() - start};
    if (text.size() != QFileInfo(job.path).size())
        fail(QStringLiteral("%1 was not read whole").arg(job.path));
    return r;
}

Result vellumoSave(const Job &job)
{
    VellumoWindow w;
    w.load(job.path);
    settle();
    w.dialogs.file = job.out;
    const double start = nowMs();
    w.click("cmdSave");
    const Result r{nowMs() - start};
    checkSavedBack(job.path, job.out);
    return r;
}

Result bareSave(const Job &job)
{
    const QString text = decodeFloor(readFile(job.path));
    const double start = nowMs();
    saveAtomically(job.out, encodeFloor(text + QStringLiteral("\r\n")));
    const Result r{nowMs() - start};
    checkSavedBack(job.path, job.out);
    return r;
}

// The longest wait between two paints while a load, a save or a print runs, and the whole time.
// A timer asks the window to paint every 10 ms, as a moving pointer or a compositor would.
enum class Command { Load, Save, Print };
template <Command command> Result paintGaps(const Job &job)
{
    constexpr bool save = command == Command::Save;
    VellumoWindow w;
    if (command != Command::Load) {
        w.load(job.path);
        settle();
    }
    w.dialogs.file = save ? job.out : job.path;
    w.dialogs.pdf = job.out + QStringLiteral(".pdf");
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, w.window.get(), [&w] { w.window->update(); });
    ticker.start();
    BenchApp &a = *app();
    a.ticker = &ticker;
    const double start = nowMs();
    a.lastPaint = start;
    a.longestGap = 0;
    a.timingGaps = true;
    if (command == Command::Print)
        w.window->findChild<QAction *>(QStringLiteral("Print"))->trigger();
    else
        w.click(save ? "cmdSave" : "cmdLoad");
    // Up to idle: what the command left to run after it returned holds paints back too.
    const double end = settle();
    a.timingGaps = false;
    Result r{end - start};
    r.more[QStringLiteral("gap_ms")] = std::max(a.longestGap, end - a.lastPaint);
    if (save)
        checkSavedBack(job.path, job.out);
    else if (command == Command::Print && pdfPages(job.out + QStringLiteral(".pdf")) < 1)
        fail(QStringLiteral("%1 printed nothing").arg(job.path));
    else if (w.window->loadedText().size() != QFileInfo(job.path).size() ||
             w.area->document()->isEmpty())
        fail(QStringLiteral("%1 was not loaded whole").arg(job.path));
    return r;
}

template <bool colour> Result vellumoFormat(const Job &job)
{
    VellumoWindow w;
    w.load(job.path);
    w.area->selectAll();
    settle();
    const double start = nowMs();
    w.click(colour ? "CmdColor" : "cmdFont");
    const Result r{settle() - start};
    checkFormatted(*w.area, colour);
    return r;
}

template <bool colour> Result bareFormat(const Job &job)
{
    BareWindow<QPlainTextEdit> w;
    w.edit.setPlainText(decodeFloor(readFile(job.path)));
    w.edit.selectAll();
    settle();
    const double start = nowMs();
    if (colour)
        w.edit.mergeCurrentCharFormat(colourFormat());
    else
        mergeFont(w.edit);
    const Result r{settle() - start};
    checkFormatted(w.edit, colour);
    return r;
}

Result vellumoType(const Job &job)
{
    VellumoWindow w;
    w.load(job.path);
    placeCursor(*w.area, job.where);
    return typeKeys(*w.area, job.keys);
}

Result bareType(const Job &job)
{
    BareWindow<QPlainTextEdit> w;
    w.edit.setPlainText(decodeFloor(readFile(job.path)));
    placeCursor(w.edit, job.where);
    return typeKeys(w.edit, job.keys);
}

Result vellumoPrint(const Job &job)
{
    VellumoWindow w;
    w.load(job.path);
    settle();
    w.dialogs.pdf = job.out + QStringLiteral(".pdf");
    auto *print = w.window->findChild<QAction *>(QStringLiteral("Print"));
    const double start = nowMs();
    print->trigger();
    Result r{nowMs() - start};
    r.pages = pdfPages(w.dialogs.pdf);
    return r;
}

Result barePrint(const Job &job)
{
    const QString text = decodeFloor(readFile(job.path));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(job.out + QStringLiteral(".pdf"));
    const double start = nowMs();
    QTextDocument document;
    document.setPlainText(text);
    document.print(&printer);
    Result r{nowMs() - start};
    r.pages = pdfPages(printer.outputFileName());
    return r;
}

struct Figure {
    const char *name;
    Result (*measure)(const Job &);
};

// The names the parent asks for; see Suite::run for which pairs they make.
constexpr Figure kFigures[] = {
    {"load", vellumoLoad},
    {"bare-load", bareLoad<QPlainTextEdit>},
    {"textedit-load", bareLoad<QTextEdit>},
    {"read", readAlone},
    {"save", vellumoSave},
    {"load-gaps", paintGaps<Command::Load>},
    {"save-gaps", paintGaps<Command::Save>},
    {"print-gaps", paintGaps<Command::Print>},
    {"bare-save", bareSave},
    {"colour", vellumoFormat<true>},
    {"font", vellumoFormat<false>},
    {"bare-colour", bareFormat<true>},
    {"bare-font", bareFormat<false>},
    {"type", vellumoType},
    {"bare-type", bareType},
    {"print", vellumoPrint},
    {"bare-print", barePrint},
    {"thumb", vellumoThumb},
    {"drag", vellumoDrag},
    {"bare-drag", bareDrag},
};

Result runChild(const QStringList &args)
{
    const QString what = args.value(0);
    const auto figure =
        std::find_if(std::begin(kFigures), std::end(kFigures),
                     [&](const Figure &f) { return what == QLatin1String(f.name); });
    if (figure == std::end(kFigures))
        fail(QStringLiteral("no figure %1").arg(what));
    const QString path = args.value(1);
    const Job job{path, args.value(2), args.value(3).toInt(), path + QStringLiteral(".out")};
    const Result r = figure->measure(job);
    QFile::remove(job.out);
    QFile::remove(job.out + QStringLiteral(".pdf"));
    return r;
}

// Qt's notes about the offscreen platform would bury the table.
void onlyFailures(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        QTextStream(stderr) << message << '\n';
}

} // namespace

int childMain(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(onlyFailures);
    BenchApp application(argc, argv);
    QApplication::setCursorFlashTime(0); // a blinking cursor is never idle
    QStringList args = QCoreApplication::arguments().mid(2);
    if (args.value(0) == QLatin1String("commands"))
        return commandsChild(args.value(1));
    const Result r = runChild(args);
    QJsonObject json = r.more;
    json[QStringLiteral("ms")] = r.ms;
    json[QStringLiteral("peak_kb")] = double(statusKb("VmHWM"));
    if (r.worst >= 0)
        json[QStringLiteral("worst_ms")] = r.worst;
    if (r.pages >= 0)
        json[QStringLiteral("pages")] = r.pages;
    QTextStream(stdout) << QJsonDocument(json).toJson(QJsonDocument::Compact) << '\n';
    return 0;
}

} // namespace vellumo::bench
