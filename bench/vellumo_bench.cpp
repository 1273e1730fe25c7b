// Vellumo's benchmark suite. Every figure is timed beside a floor measured in
// the same run on the same data, each run in a fresh child process so that
// its peak memory is its own. Prints a Markdown table and writes it as JSON.
//
//   vellumo_bench [--quick] [--runs N] [--only REGEX] [--data DIR] [--json PATH]

#include "app/MainLayout.h"
#include "app/frmMain.h"
#include "platform/CodePage.h"
#include "platform/CommonDialog.h"
#include "platform/FormLayout.h"
#include "platform/MessageBox.h"
#include "platform/RichTextBox.h"
#include "platform/Services.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <tuple>
#include <unistd.h>

using namespace vellumo;

namespace {

constexpr qint64 kMB = 1024 * 1024;
constexpr int kLineBytes = 80; // 78 characters and CR LF

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

[[noreturn]] void fail(const QString &why)
{
    QTextStream(stderr) << "vellumo_bench: " << why << '\n';
    std::exit(2);
}

// ---------------------------------------------------------------- the data

enum class Kind { Lines, OneLine, AllBytes };

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Lines:
        return QStringLiteral("lines");
    case Kind::OneLine:
        return QStringLiteral("line");
    case Kind::AllBytes:
        return QStringLiteral("bytes");
    }
    return {};
}

// Prose-like ASCII: lines of 78 characters and CR LF, or the same words with no
// break at all; or every byte value, with line breaks only as CR LF so that
// the file comes back byte for byte.
QByteArray makeData(Kind kind, qint64 size)
{
    static const char *const words[] = {"the",  "quick", "brown", "fox",   "jumps",   "over",
                                        "lazy", "dog",   "text",  "file",  "line",    "editor",
                                        "of",   "and",   "again", "page",  "Vellumo", "long",
                                        "a",    "byte",  "every", "value", "print",   "save"};
    QRandomGenerator random(quint32(size) ^ quint32(kind));
    QByteArray out;
    out.reserve(size + 128);
    if (kind == Kind::AllBytes) {
        while (out.size() < size) {
            const char b = char(random.bounded(256));
            if (b == '\r' || b == '\n')
                out += "\r\n";
            else
                out += b;
        }
        out.truncate(size);
        if (out.endsWith('\r'))
            out[out.size() - 1] = 'x';
        return out;
    }
    QByteArray line;
    while (out.size() < size) {
        line.clear();
        while (line.size() < kLineBytes - 2) {
            if (!line.isEmpty())
                line += ' ';
            line += words[random.bounded(int(std::size(words)))];
        }
        line.truncate(kLineBytes - 2);
        out += line;
        out += kind == Kind::Lines ? "\r\n" : "  ";
    }
    out.truncate(size);
    if (out.endsWith('\r'))
        out[out.size() - 1] = 'x';
    return out;
}

QString dataFile(const QString &dir, Kind kind, qint64 size)
{
    const QString path =
        QDir(dir).filePath(QStringLiteral("%1-%2.txt").arg(kindName(kind)).arg(size));
    if (QFileInfo(path).size() == size)
        return path;
    QDir().mkpath(dir);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(makeData(kind, size)) != size)
        fail(QStringLiteral("cannot write %1").arg(path));
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(path));
    return file.readAll();
}

// The floors' own decoder and encoder: a table, one character per byte.
QString decodeFloor(const QByteArray &bytes)
{
    static const QString table = [] {
        QByteArray all(256, 0);
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        return decodeCp1252(all);
    }();
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    const QChar *map = table.constData();
    for (const char b : bytes)
        *out++ = map[uchar(b)];
    return text;
}

QByteArray encodeFloor(const QString &text)
{
    static const std::vector<qint16> table = [] {
        std::vector<qint16> map(65536, -1);
        QByteArray all(256, 0);
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        const QString decoded = decodeCp1252(all);
        for (int i = 0; i < 256; ++i)
            map[decoded[i].unicode()] = qint16(i);
        return map;
    }();
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    for (const QChar c : text) {
        const qint16 b = table[c.unicode()];
        *out++ = b < 0 ? '?' : char(b);
    }
    return bytes;
}

// ------------------------------------------------------- the child's side

// Knows when the last event was done with, and whether a widget painted.
class BenchApp : public QApplication {
public:
    using QApplication::QApplication;
    double lastActivity = 0;
    QObject *watched = nullptr;
    int paints = 0;

    bool notify(QObject *receiver, QEvent *event) override
    {
        const bool paint = event->type() == QEvent::Paint && receiver == watched;
        const bool result = QApplication::notify(receiver, event);
        lastActivity = nowMs();
        paints += paint;
        return result;
    }
};

BenchApp *app()
{
    return static_cast<BenchApp *>(qApp);
}

// Runs the event loop until the watched widget has painted and nothing has
// happened for a while; returns when the last event was done with.
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

class BenchDialogs : public DialogPresenter {
public:
    QString file;
    QString pdf;
    bool openFile(const FileRequest &, QString &chosen) override
    {
        chosen = file;
        return true;
    }
    bool saveFile(const FileRequest &, QString &chosen) override
    {
        chosen = file;
        return true;
    }
    bool color(unsigned &bgr) override
    {
        bgr = 0x0000C0;
        return true;
    }
    bool font(int, FontChoice &choice) override
    {
        choice = {QStringLiteral("DejaVu Serif"), 14, true, true};
        return true;
    }
    bool printer(QPrinter &printer) override
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    }
};

// A command that fails ends in a message box; here that ends the figure.
class BenchMessages : public MessageBoxService {
public:
    int show(const QString &prompt, int style, const QString &title) override
    {
        if (style & MsgStyle::Critical)
            fail(title + QStringLiteral(": ") + prompt);
        return (style & 7) == MsgStyle::YesNo ? kAnswerYes : kAnswerOk;
    }
};

struct VellumoWindow {
    BenchDialogs dialogs;
    BenchMessages messages;
    std::unique_ptr<frmMain> window;
    RichTextBox *area = nullptr;

    VellumoWindow()
    {
        Services services = Services::system();
        services.dialogs = &dialogs;
        services.messageBox = &messages;
        window = std::make_unique<frmMain>(services);
        area = window->RichTextBox1();
        app()->watched = area->viewport();
        window->show();
        settle();
    }
    void click(const char *button)
    {
        auto *b = window->findChild<QPushButton *>(QString::fromLatin1(button));
        if (!b)
            fail(QStringLiteral("no button %1").arg(QString::fromLatin1(button)));
        b->click();
    }
    void load(const QString &path)
    {
        dialogs.file = path;
        click("cmdLoad");
    }
};

QSize areaSize()
{
    for (const ControlEntry &entry : mainLayout())
        if (QLatin1String(entry.name) == QLatin1String("RichTextBox1"))
            return {twipsToPixels(entry.width), twipsToPixels(entry.height)};
    return {633, 369};
}

template <class Edit> struct BareWindow {
    Edit edit;
    BareWindow()
    {
        edit.resize(areaSize());
        app()->watched = edit.viewport();
        edit.show();
        settle();
    }
};

struct Result {
    double ms = 0;
    double worst = -1;
    int pages = -1;
};

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

void checkSavedBack(const QString &original, const QString &saved)
{
    if (readFile(saved) != readFile(original) + "\r\n")
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
    QTextDocument *doc = edit.document();
    for (const int position : {1, doc->characterCount() / 2, doc->characterCount() - 1}) {
        QTextCursor at(doc);
        at.setPosition(position);
        const QTextCharFormat f = at.charFormat();
        const bool done =
            colour ? f.foreground().color() == QColor(0xC0, 0, 0)
                   : f.fontItalic() && f.fontWeight() == QFont::Bold && f.fontPointSize() == 14;
        if (!done)
            fail(QStringLiteral("the %1 did not reach character %2")
                     .arg(colour ? QStringLiteral("colour") : QStringLiteral("font"))
                     .arg(position));
    }
}

// What each child measures. Everything before `start` is setting up.
Result runChild(const QStringList &args)
{
    const QString what = args.value(0);
    const QString path = args.value(1);
    const QString extra = args.value(2);
    const QString out = path + QStringLiteral(".out");
    Result r;
    double start = 0;

    if (what == QLatin1String("load")) {
        VellumoWindow w;
        start = nowMs();
        w.load(path);
        r.ms = settle() - start;
    } else if (what == QLatin1String("bare-load")) {
        BareWindow<QPlainTextEdit> w;
        const QString text = decodeFloor(readFile(path));
        start = nowMs();
        w.edit.setPlainText(text);
        r.ms = settle() - start;
    } else if (what == QLatin1String("textedit-load")) {
        BareWindow<QTextEdit> w;
        const QString text = decodeFloor(readFile(path));
        start = nowMs();
        w.edit.setPlainText(text);
        r.ms = settle() - start;
    } else if (what == QLatin1String("read")) {
        start = nowMs();
        const QString text = decodeFloor(readFile(path));
        r.ms = nowMs() - start;
        if (text.size() != QFileInfo(path).size())
            fail(QStringLiteral("%1 was not read whole").arg(path));
    } else if (what == QLatin1String("save")) {
        VellumoWindow w;
        w.load(path);
        settle();
        w.dialogs.file = out;
        start = nowMs();
        w.click("cmdSave");
        r.ms = nowMs() - start;
        checkSavedBack(path, out);
    } else if (what == QLatin1String("bare-save")) {
        const QString text = decodeFloor(readFile(path));
        start = nowMs();
        saveAtomically(out, encodeFloor(text + QStringLiteral("\r\n")));
        r.ms = nowMs() - start;
        checkSavedBack(path, out);
    } else if (what == QLatin1String("colour") || what == QLatin1String("font")) {
        VellumoWindow w;
        w.load(path);
        w.area->selectAll();
        settle();
        start = nowMs();
        w.click(what == QLatin1String("colour") ? "CmdColor" : "cmdFont");
        r.ms = settle() - start;
        checkFormatted(*w.area, what == QLatin1String("colour"));
    } else if (what == QLatin1String("bare-colour") || what == QLatin1String("bare-font")) {
        BareWindow<QPlainTextEdit> w;
        w.edit.setPlainText(decodeFloor(readFile(path)));
        w.edit.selectAll();
        settle();
        start = nowMs();
        if (what == QLatin1String("bare-colour"))
            w.edit.mergeCurrentCharFormat(colourFormat());
        else
            mergeFont(w.edit);
        r.ms = settle() - start;
        checkFormatted(w.edit, what == QLatin1String("bare-colour"));
    } else if (what == QLatin1String("type")) {
        VellumoWindow w;
        w.load(path);
        placeCursor(*w.area, extra);
        r = typeKeys(*w.area, args.value(3).toInt());
    } else if (what == QLatin1String("bare-type")) {
        BareWindow<QPlainTextEdit> w;
        w.edit.setPlainText(decodeFloor(readFile(path)));
        placeCursor(w.edit, extra);
        r = typeKeys(w.edit, args.value(3).toInt());
    } else if (what == QLatin1String("print")) {
        VellumoWindow w;
        w.load(path);
        settle();
        w.dialogs.pdf = out + QStringLiteral(".pdf");
        auto *print = w.window->findChild<QAction *>(QStringLiteral("Print"));
        start = nowMs();
        print->trigger();
        r.ms = nowMs() - start;
        r.pages = pdfPages(w.dialogs.pdf);
    } else if (what == QLatin1String("bare-print")) {
        const QString text = decodeFloor(readFile(path));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(out + QStringLiteral(".pdf"));
        start = nowMs();
        QTextDocument document;
        document.setPlainText(text);
        document.print(&printer);
        r.ms = nowMs() - start;
        r.pages = pdfPages(printer.outputFileName());
    } else {
        fail(QStringLiteral("no figure %1").arg(what));
    }
    QFile::remove(out);
    QFile::remove(out + QStringLiteral(".pdf"));
    return r;
}

// Qt's notes about the offscreen platform would bury the table.
void onlyFailures(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        QTextStream(stderr) << message << '\n';
}

int childMain(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(onlyFailures);
    BenchApp application(argc, argv);
    QApplication::setCursorFlashTime(0); // a blinking cursor is never idle
    QStringList args = QCoreApplication::arguments().mid(2);
    const Result r = runChild(args);
    QJsonObject json{{QStringLiteral("ms"), r.ms},
                     {QStringLiteral("peak_kb"), double(statusKb("VmHWM"))}};
    if (r.worst >= 0)
        json[QStringLiteral("worst_ms")] = r.worst;
    if (r.pages >= 0)
        json[QStringLiteral("pages")] = r.pages;
    QTextStream(stdout) << QJsonDocument(json).toJson(QJsonDocument::Compact) << '\n';
    return 0;
}

// ----------------------------------------------------------- the parent

struct Options {
    bool quick = false;
    int runs = 3;
    QRegularExpression only;
    QString data;
    QString json;
};

struct Runs {
    std::vector<double> ms, worst, peakKb;
    int pages = -1;
};

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::optional<QJsonObject> spawn(const QStringList &args, bool quick)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (quick)
        env.insert(QStringLiteral("VELLUMO_BENCH_QUICK"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--child")} + args);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        QTextStream(stderr) << "vellumo_bench: " << args.join(u' ') << " failed\n";
        return std::nullopt;
    }
    const QList<QByteArray> lines = child.readAllStandardOutput().trimmed().split('\n');
    return QJsonDocument::fromJson(lines.last()).object();
}

struct Row {
    Row(QString figure, double vellumo, double floor, QString floorIs, double target,
        QString targetText, double peakMb, QString unit = QStringLiteral("ms"))
        : figure(std::move(figure)), vellumo(vellumo), floor(floor), floorIs(std::move(floorIs)),
          target(target), targetText(std::move(targetText)), peakMb(peakMb), unit(std::move(unit))
    {
    }
    QString figure;
    double vellumo; // ms, or MB for memory
    double floor;
    QString floorIs;
    double target; // the ratio to stay under; 0: for information
    QString targetText;
    double peakMb;
    QString unit;
    QJsonObject detail;
    double ratio() const { return floor > 0 ? vellumo / floor : 0; }
    bool met() const { return target <= 0 || ratio() < target; }
};

class Suite {
public:
    explicit Suite(Options options) : m_o(std::move(options)) {}

    int run();

private:
    bool wanted(const QString &figure) const
    {
        return !m_o.only.isValid() || m_o.only.pattern().isEmpty() ||
               m_o.only.match(figure).hasMatch();
    }
    Runs measure(const QStringList &args, int runs);
    void pair(const QString &figure, const QStringList &vellumo, const QStringList &floor,
              const QString &floorIs, double target, const QString &targetText);
    void add(Row row) { m_rows.push_back(std::move(row)); }
    void startUp();
    void printTable() const;
    void writeJson() const;
    QString file(Kind kind, qint64 size) { return dataFile(m_o.data, kind, size); }
    qint64 mb(qint64 full) const { return m_o.quick ? full * 16 * 1024 : full * kMB; }
    QString sizeText(qint64 full) const
    {
        return m_o.quick ? QStringLiteral("%1 KB").arg(full * 16)
                         : QStringLiteral("%1 MB").arg(full);
    }

    Options m_o;
    std::vector<Row> m_rows;
    std::map<QString, Runs> m_measured;
    bool m_failed = false;
};

Runs Suite::measure(const QStringList &args, int runs)
{
    Runs r;
    for (int i = 0; i < runs; ++i) {
        const auto json = spawn(args, m_o.quick);
        if (!json) {
            m_failed = true;
            break;
        }
        r.ms.push_back((*json)[QStringLiteral("ms")].toDouble());
        r.peakKb.push_back((*json)[QStringLiteral("peak_kb")].toDouble());
        if (json->contains(QStringLiteral("worst_ms")))
            r.worst.push_back((*json)[QStringLiteral("worst_ms")].toDouble());
        if (json->contains(QStringLiteral("pages")))
            r.pages = (*json)[QStringLiteral("pages")].toInt();
    }
    return r;
}

void append(Runs &to, const Runs &from)
{
    to.ms.insert(to.ms.end(), from.ms.begin(), from.ms.end());
    to.worst.insert(to.worst.end(), from.worst.begin(), from.worst.end());
    to.peakKb.insert(to.peakKb.end(), from.peakKb.begin(), from.peakKb.end());
    if (from.pages >= 0)
        to.pages = from.pages;
}

QJsonArray toJson(const std::vector<double> &v)
{
    QJsonArray a;
    for (double x : v)
        a.append(x);
    return a;
}

void Suite::pair(const QString &figure, const QStringList &vellumo, const QStringList &floor,
                 const QString &floorIs, double target, const QString &targetText)
{
    if (!wanted(figure))
        return;
    QTextStream(stderr) << "measuring " << figure << '\n';
    // Alternate the two sides run by run, so that a noisy moment hits both
    // alike; a side already measured for another figure is not run again.
    Runs &v = m_measured[vellumo.join(u' ')];
    Runs &f = m_measured[floor.join(u' ')];
    const bool needV = int(v.ms.size()) < m_o.runs;
    const bool needF = int(f.ms.size()) < m_o.runs;
    for (int i = 0; i < m_o.runs; ++i) {
        if (needV)
            append(v, measure(vellumo, 1));
        if (needF)
            append(f, measure(floor, 1));
    }

    Row row{
        figure, median(v.ms), median(f.ms), floorIs, target, targetText, median(v.peakKb) / 1024.0};
    row.detail = QJsonObject{{QStringLiteral("vellumo_ms"), toJson(v.ms)},
                             {QStringLiteral("floor_ms"), toJson(f.ms)},
                             {QStringLiteral("vellumo_peak_kb"), toJson(v.peakKb)},
                             {QStringLiteral("floor_peak_kb"), toJson(f.peakKb)}};
    if (v.pages >= 0)
        row.detail[QStringLiteral("vellumo_pages")] = v.pages;
    if (f.pages >= 0)
        row.detail[QStringLiteral("floor_pages")] = f.pages;
    if (!v.worst.empty()) {
        // Typing: the median run's median key, and the worst key of all runs.
        row.figure = figure + QStringLiteral(", median key");
        add(row);
        Row worst = row;
        worst.figure = figure + QStringLiteral(", worst key");
        worst.vellumo = *std::max_element(v.worst.begin(), v.worst.end());
        worst.floor = *std::max_element(f.worst.begin(), f.worst.end());
        worst.target = 0;
        worst.targetText = QStringLiteral("< 50 ms");
        worst.detail = QJsonObject{{QStringLiteral("vellumo_worst_ms"), toJson(v.worst)},
                                   {QStringLiteral("floor_worst_ms"), toJson(f.worst)}};
        add(worst);
        return;
    }
    add(row);
}

void Suite::startUp()
{
    if (!wanted(QStringLiteral("start-up")))
        return;
    QTextStream(stderr) << "measuring start-up\n";
    const QString dir = QCoreApplication::applicationDirPath();
    const QString vellumo = dir + QStringLiteral("/vellumo_firstpaint");
    const QString bare = dir + QStringLiteral("/bare_firstpaint");
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"),
               display ? QStringLiteral("xcb") : QStringLiteral("offscreen"));

    QProcess size;
    size.setProcessEnvironment(env);
    size.start(vellumo, {QStringLiteral("--print-size")});
    if (!size.waitForFinished(60000) || size.exitCode() != 0) {
        m_failed = true;
        QTextStream(stderr) << "vellumo_bench: vellumo_firstpaint failed\n";
        return;
    }
    const QStringList wh =
        QString::fromLatin1(size.readAllStandardOutput()).simplified().split(u' ');
    const QStringList bareArgs{wh.value(0), wh.value(1)};

    Row row{QStringLiteral("start-up to first paint"),
            0,
            0,
            QStringLiteral("empty Qt Widgets window of the same size"),
            0,
            QStringLiteral("for information"),
            0};
    const QString hyperfine = QStandardPaths::findExecutable(QStringLiteral("hyperfine"));
    const int runs = m_o.quick ? 1 : std::max(10, m_o.runs);
    if (!hyperfine.isEmpty() && display && !m_o.quick) {
        QTemporaryDir tmp;
        const QString out = tmp.filePath(QStringLiteral("hyperfine.json"));
        QProcess h;
        h.setProcessEnvironment(env);
        h.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        h.start(hyperfine,
                {QStringLiteral("-N"), QStringLiteral("--warmup"), QStringLiteral("3"),
                 QStringLiteral("--runs"), QString::number(runs), QStringLiteral("--export-json"),
                 out, vellumo, bare + u' ' + bareArgs.join(u' ')});
        h.waitForFinished(-1);
        const QJsonArray results =
            QJsonDocument::fromJson(readFile(out)).object()[QStringLiteral("results")].toArray();
        if (h.exitCode() != 0 || results.size() != 2) {
            m_failed = true;
            QTextStream(stderr) << "vellumo_bench: hyperfine failed\n";
            return;
        }
        row.vellumo = results[0].toObject()[QStringLiteral("median")].toDouble() * 1000;
        row.floor = results[1].toObject()[QStringLiteral("median")].toDouble() * 1000;
        row.detail[QStringLiteral("measured_by")] = QStringLiteral("hyperfine");
    } else {
        std::vector<double> v, f;
        for (int i = 0; i < runs; ++i) {
            for (auto [program, args, into] :
                 {std::tuple{vellumo, QStringList{}, &v}, std::tuple{bare, bareArgs, &f}}) {
                QProcess p;
                p.setProcessEnvironment(env);
                const double start = nowMs();
                p.start(program, args);
                if (!p.waitForFinished(60000) || p.exitCode() != 0) {
                    m_failed = true;
                    QTextStream(stderr) << "vellumo_bench: " << program << " failed\n";
                    return;
                }
                into->push_back(nowMs() - start);
            }
        }
        row.vellumo = median(v);
        row.floor = median(f);
        row.detail[QStringLiteral("measured_by")] = QStringLiteral("own loop");
    }
    row.detail[QStringLiteral("platform")] = env.value(QStringLiteral("QT_QPA_PLATFORM"));
    add(row);
}

int Suite::run()
{
    const int keys = m_o.quick ? 5 : 100;
    const QString n = QString::number(keys);

    startUp();

    for (const qint64 size : {1, 10, 100, 256}) {
        if (m_o.quick && size == 256)
            continue;
        const QString figure = QStringLiteral("load %1").arg(sizeText(size));
        if (!wanted(figure))
            continue;
        const QString path = file(Kind::Lines, mb(size));
        pair(figure, {QStringLiteral("load"), path}, {QStringLiteral("bare-load"), path},
             QStringLiteral("bare QPlainTextEdit::setPlainText"), 1.2, QStringLiteral("< 1.2x"));
        if (size == 256)
            continue;
        pair(figure + QStringLiteral(" (against reading)"), {QStringLiteral("load"), path},
             {QStringLiteral("read"), path}, QStringLiteral("reading and decoding alone"), 0,
             QStringLiteral("for information"));
        if (size == 100) {
            const Runs v = m_measured[QStringLiteral("load ") + path];
            Row total{QStringLiteral("load 100 MB, time"),
                      median(v.ms),
                      10000,
                      QStringLiteral("10 s"),
                      1,
                      QStringLiteral("well under 10 s"),
                      median(v.peakKb) / 1024.0};
            add(total);
            Row memory{QStringLiteral("peak memory after loading 100 MB"),
                       median(v.peakKb) / 1024.0,
                       double(mb(size)) / kMB,
                       QStringLiteral("the file's size"),
                       8,
                       QStringLiteral("< 8x"),
                       median(v.peakKb) / 1024.0,
                       QStringLiteral("MB")};
            memory.detail[QStringLiteral("vellumo_peak_kb")] = toJson(v.peakKb);
            add(memory);
        }
    }

    const QString ten = file(Kind::Lines, mb(10));
    pair(QStringLiteral("save %1").arg(sizeText(100)),
         {QStringLiteral("save"), file(Kind::Lines, mb(100))},
         {QStringLiteral("bare-save"), file(Kind::Lines, mb(100))},
         QStringLiteral("encode, write a temporary file, one sync, rename"), 1.5,
         QStringLiteral("< 1.5x"));
    pair(QStringLiteral("select all and colour, %1").arg(sizeText(10)),
         {QStringLiteral("colour"), ten}, {QStringLiteral("bare-colour"), ten},
         QStringLiteral("the same on a bare QPlainTextEdit"), 1.2, QStringLiteral("< 1.2x"));
    pair(QStringLiteral("select all and set a font, %1").arg(sizeText(10)),
         {QStringLiteral("font"), ten}, {QStringLiteral("bare-font"), ten},
         QStringLiteral("the same on a bare QPlainTextEdit"), 1.2, QStringLiteral("< 1.2x"));
    for (const char *where : {"start", "middle", "end"}) {
        const QString at = QString::fromLatin1(where);
        pair(QStringLiteral("type a key at the %1 of %2").arg(at, sizeText(10)),
             {QStringLiteral("type"), ten, at, n}, {QStringLiteral("bare-type"), ten, at, n},
             QStringLiteral("the same on a bare QPlainTextEdit"), 0, QStringLiteral("< 16 ms"));
    }

    // The print text: as many lines as make 1000 pages on Vellumo's printer.
    const QString printFigure = QStringLiteral("print %1 pages to PDF").arg(m_o.quick ? 5 : 1000);
    if (wanted(printFigure)) {
        const qint64 probeLines = m_o.quick ? 200 : 3000;
        const Runs probe =
            measure({QStringLiteral("print"), file(Kind::Lines, probeLines * kLineBytes)}, 1);
        const qint64 perPage = probe.pages > 0 ? probeLines / probe.pages : 60;
        const QString text = file(Kind::Lines, perPage * (m_o.quick ? 5 : 1000) * kLineBytes);
        pair(printFigure, {QStringLiteral("print"), text}, {QStringLiteral("bare-print"), text},
             QStringLiteral("QTextDocument::print, same text and printer"), 0,
             QStringLiteral("for information"));
    }

    // Long lines.
    for (const qint64 size : {1, 10}) {
        const QString line = file(Kind::OneLine, mb(size));
        const QString lines = file(Kind::Lines, mb(size));
        const QString s = sizeText(size);
        if (size == 1)
            pair(QStringLiteral("load a %1 single line").arg(s), {QStringLiteral("load"), line},
                 {QStringLiteral("bare-load"), line},
                 QStringLiteral("bare QPlainTextEdit, same line"), 0,
                 QStringLiteral("for information"));
        else
            pair(QStringLiteral("load a %1 single line").arg(s), {QStringLiteral("load"), line},
                 {QStringLiteral("load"), lines},
                 QStringLiteral("Vellumo loading %1 of short lines").arg(s), 3,
                 QStringLiteral("< 3x"));
        pair(QStringLiteral("type a key in the middle of a %1 single line").arg(s),
             {QStringLiteral("type"), line, QStringLiteral("middle"), n},
             {QStringLiteral("bare-type"), lines, QStringLiteral("middle"), n},
             QStringLiteral("bare QPlainTextEdit, %1 of short lines").arg(s), 0,
             QStringLiteral("< 50 ms"));
        pair(QStringLiteral("save a %1 single line").arg(s), {QStringLiteral("save"), line},
             {QStringLiteral("bare-save"), line},
             QStringLiteral("encode, write a temporary file, one sync, rename"), 0,
             QStringLiteral("byte for byte"));
    }

    // Every byte value.
    const QString bytes = file(Kind::AllBytes, mb(10));
    pair(QStringLiteral("load %1 of all 256 byte values").arg(sizeText(10)),
         {QStringLiteral("load"), bytes}, {QStringLiteral("bare-load"), bytes},
         QStringLiteral("bare QPlainTextEdit::setPlainText"), 1.2, QStringLiteral("< 1.2x"));
    pair(QStringLiteral("save %1 of all 256 byte values").arg(sizeText(10)),
         {QStringLiteral("save"), bytes}, {QStringLiteral("bare-save"), bytes},
         QStringLiteral("encode, write a temporary file, one sync, rename"), 1.5,
         QStringLiteral("< 1.5x, byte for byte"));

    // The choice of widget: QTextEdit lays out every line before it is idle.
    for (const qint64 size : {1, 10}) {
        const QString path = file(Kind::Lines, mb(size));
        pair(QStringLiteral("widget choice: QTextEdit loading %1").arg(sizeText(size)),
             {QStringLiteral("textedit-load"), path}, {QStringLiteral("bare-load"), path},
             QStringLiteral("bare QPlainTextEdit"), 0, QStringLiteral("for information"));
    }

    printTable();
    writeJson();
    return m_failed ? 1 : 0;
}

QString machine()
{
    QString cpu;
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly))
        for (const QByteArray &line : info.readAll().split('\n'))
            if (line.startsWith("model name")) {
                cpu = QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
    qint64 memKb = 0;
    QFile mem(QStringLiteral("/proc/meminfo"));
    if (mem.open(QIODevice::ReadOnly))
        memKb = mem.readLine().simplified().split(' ').value(1).toLongLong();
    return QStringLiteral("%1, %2 cores, %3 GiB, %4 %5, Qt %6")
        .arg(cpu)
        .arg(QThread::idealThreadCount())
        .arg(double(memKb) / (1024 * 1024), 0, 'f', 0)
        .arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion(),
             QString::fromLatin1(qVersion()));
}

QString shown(double value, const QString &unit)
{
    if (unit != QLatin1String("ms"))
        return QStringLiteral("%1 %2").arg(value, 0, 'f', 0).arg(unit);
    if (value >= 1000)
        return QStringLiteral("%1 s").arg(value / 1000, 0, 'f', 2);
    return QStringLiteral("%1 ms").arg(value, 0, 'f', value < 10 ? 2 : 0);
}

void Suite::printTable() const
{
    QTextStream out(stdout);
    out << "Machine: " << machine() << "\n";
    out << "Date: " << QDateTime::currentDateTimeUtc().toString(Qt::ISODate)
        << "; runs per figure: " << m_o.runs << (m_o.quick ? " (quick mode: small data)" : "")
        << "\n\n";
    out << "| figure | Vellumo | floor | floor is | ratio | target | met | peak memory |\n";
    out << "|---|---:|---:|---|---:|---|:-:|---:|\n";
    for (const Row &r : m_rows) {
        const bool absolute =
            r.figure.contains(QLatin1String("key")) && r.targetText.startsWith(QLatin1Char('<'));
        bool met = r.met();
        if (absolute) {
            const double limit = r.targetText.mid(2).section(u' ', 0, 0).toDouble();
            met = r.vellumo < limit;
        }
        out << "| " << r.figure << " | " << shown(r.vellumo, r.unit) << " | "
            << shown(r.floor, r.unit) << " | " << r.floorIs << " | "
            << QString::number(r.ratio(), 'f', 2) << "x | " << r.targetText << " | "
            << (m_o.quick || !(r.target > 0 || absolute) ? ""
                : met                                    ? "yes"
                                                         : "**no**")
            << " | "
            << (r.peakMb > 0 ? QString::number(r.peakMb, 'f', 0) + QStringLiteral(" MB")
                             : QString())
            << " |\n";
    }
}

void Suite::writeJson() const
{
    QJsonArray rows;
    for (const Row &r : m_rows) {
        QJsonObject o = r.detail;
        o[QStringLiteral("figure")] = r.figure;
        o[QStringLiteral("vellumo")] = r.vellumo;
        o[QStringLiteral("floor")] = r.floor;
        o[QStringLiteral("unit")] = r.unit;
        o[QStringLiteral("floor_is")] = r.floorIs;
        o[QStringLiteral("ratio")] = r.ratio();
        o[QStringLiteral("target")] = r.targetText;
        o[QStringLiteral("peak_mb")] = r.peakMb;
        rows.append(o);
    }
    const QJsonObject root{
        {QStringLiteral("machine"), machine()},
        {QStringLiteral("date"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("runs"), m_o.runs},
        {QStringLiteral("quick"), m_o.quick},
        {QStringLiteral("figures"), rows}};
    QFile file(m_o.json);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(QJsonDocument(root).toJson()) < 0)
        fail(QStringLiteral("cannot write %1").arg(m_o.json));
    QTextStream(stderr) << "wrote " << m_o.json << '\n';
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return childMain(argc, argv);

    QCoreApplication parent(argc, argv);
    Options o;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args[i];
        const QString next = args.value(i + 1);
        if (a == QLatin1String("--quick")) {
            o.quick = true;
            o.runs = 1;
        } else if (a == QLatin1String("--runs")) {
            o.runs = std::max(1, next.toInt());
            ++i;
        } else if (a == QLatin1String("--only")) {
            o.only = QRegularExpression(next);
            ++i;
        } else if (a == QLatin1String("--data")) {
            o.data = next;
            ++i;
        } else if (a == QLatin1String("--json")) {
            o.json = next;
            ++i;
        } else {
            QTextStream(stderr) << "usage: vellumo_bench [--quick] [--runs N] [--only REGEX] "
                                   "[--data DIR] [--json PATH]\n";
            return 2;
        }
    }
    if (o.data.isEmpty())
        o.data = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    if (o.json.isEmpty())
        o.json = QStringLiteral("results.json");
    return Suite(o).run();
}
