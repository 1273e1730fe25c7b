// Commands on a big text, given as a user gives them: keys and clicks go through the X server
// (xdotool) to the child's real window, and every figure is taken from outside its process: the
// pings it leaves unanswered, its processor time and its memory in /proc.

#include "Suite.h"

#include "Common.h"
#include "XWatch.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QTextStream>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellumo::bench {

namespace {

constexpr double kQuietMs = 500;    // no processor time for this long: idle
constexpr double kPingLateMs = 100; // and no ping waiting longer than this
constexpr double kSampleMs = 10;
constexpr double kTimeoutMs = 600000; // a command not idle by then fails
constexpr double kUnansweredLimit = 100;

// Ends the run: the figure fails with this reason.
struct Failed {
    QString why;
};

double sinceMs(double from)
{
    return nowMs() - from;
}

QByteArray procFile(pid_t pid, const char *name)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// User and system time of all the process's threads, the ended ones included.
double cpuMs(pid_t pid)
{
    const QByteArray stat = procFile(pid, "stat");
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    static const double tick = 1000.0 / double(sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) * tick;
}

double statusMb(pid_t pid, const char *field)
{
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : procFile(pid, "status").split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// The child, spawned by hand so that its end can be seen before it is reaped: its CPU time then
// comes from the kernel's own count.
class Child {
public:
    Child(const QStringList &args, bool quick)
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            throw Failed{QStringLiteral("no pipe for the child")};
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        if (quick)
            env.insert(QStringLiteral("VELLUMO_BENCH_QUICK"), QStringLiteral("1"));
        std::vector<std::string> argStrings{QCoreApplication::applicationFilePath().toStdString(),
                                            "--child"};
        for (const QString &a : args)
            argStrings.push_back(a.toStdString());
        std::vector<std::string> envStrings;
        for (const QString &e : env.toStringList())
            envStrings.push_back(e.toStdString());
        auto pointers = [](std::vector<std::string> &strings) {
            std::vector<char *> p;
            for (std::string &s : strings)
                p.push_back(s.data());
            p.push_back(nullptr);
            return p;
        };
        std::vector<char *> argv = pointers(argStrings), envp = pointers(envStrings);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const int error = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
        if (error != 0) {
            m_pid = 0;
            throw Failed{QStringLiteral("cannot start the child")};
        }
    }
    ~Child()
    {
        ::close(m_in);
        ::close(m_out);
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    pid_t pid() const { return m_pid; }

    // The child's next line on its standard output.
    QJsonObject line(double timeoutMs)
    {
        const double start = nowMs();
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n');
            if (end >= 0) {
                const QByteArray text = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                return QJsonDocument::fromJson(text).object();
            }
            pollfd fd{m_out, POLLIN, 0};
            const double left = timeoutMs - sinceMs(start);
            if (left <= 0)
                throw Failed{
                    QStringLiteral("the child did not answer within %1 s").arg(timeoutMs / 1000)};
            if (::poll(&fd, 1, int(std::min(left, 100.0)) + 1) <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                throw Failed{QStringLiteral("the child ended (%1)").arg(endText())};
            m_buffer.append(chunk, n);
        }
    }
    void ask()
    {
        if (::write(m_in, "\n", 1) != 1)
            throw Failed{QStringLiteral("the child ended (%1)").arg(endText())};
    }
    // Whether the process has ended; it stays a zombie until reaped.
    bool ended()
    {
        siginfo_t info{};
        return ::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == m_pid;
    }
    // Reaps the ended process; returns its whole CPU time.
    double reap()
    {
        rusage usage{};
        int status = 0;
        ::wait4(m_pid, &status, 0, &usage);
        m_reaped = true;
        m_status = status;
        auto ms = [](const timeval &t) {
            return double(t.tv_sec) * 1000 + double(t.tv_usec) / 1000;
        };
        return ms(usage.ru_utime) + ms(usage.ru_stime);
    }
    bool endedWell() const { return m_reaped && WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0; }
    QString endText()
    {
        if (!m_reaped && ended())
            reap();
        if (!m_reaped)
            return QStringLiteral("still running");
        if (WIFSIGNALED(m_status))
            return QStringLiteral("killed by signal %1").arg(WTERMSIG(m_status));
        return QStringLiteral("exit code %1").arg(WEXITSTATUS(m_status));
    }

private:
    pid_t m_pid = 0;
    int m_in = -1, m_out = -1;
    QByteArray m_buffer;
    bool m_reaped = false;
    int m_status = 0;
};

QRect rect(const QJsonValue &v)
{
    const QJsonArray a = v.toArray();
    return {a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()};
}

double num(const QJsonObject &o, const char *key)
{
    return o[QLatin1String(key)].toDouble();
}

// One run: the commands in order, each with its three figures.
class Driver {
public:
    Driver(const QString &path, bool quick)
        : m_path(path), m_child({QStringLiteral("commands"), path}, quick)
    {
        if (!m_watch.connected())
            throw Failed{QStringLiteral("no X server to drive the window through")};
        const QJsonObject hello = m_child.line(kTimeoutMs);
        m_window = uint32_t(num(hello, "window"));
        m_viewport = rect(hello[QLatin1String("viewport")]);
        m_bar = rect(hello[QLatin1String("bar")]);
        if (!m_window || m_viewport.isEmpty() || m_bar.isEmpty())
            throw Failed{QStringLiteral("the child did not say where its window is")};
        m_watch.ping(m_window);
        settle();
    }

    QJsonArray run();

private:
    struct Idle {
        double quietFrom; // when the last processor time was used
        double cpu;
        double at; // when it was seen idle
    };
    using Check = std::function<QString(const QJsonObject &facts)>;

    pid_t pid() const { return m_child.pid(); }
    // The peak memory (VmHWM) back to what the process holds now.
    void resetPeak()
    {
        QFile refs(QStringLiteral("/proc/%1/clear_refs").arg(pid()));
        if (!refs.open(QIODevice::WriteOnly) || refs.write("5") != 1)
            throw Failed{QStringLiteral("cannot reset the child's peak memory")};
    }
    Idle waitIdle(double since, double cpuBefore, const std::function<bool()> &until = {});
    void settle() { waitIdle(nowMs(), cpuMs(pid())); }
    QJsonObject facts()
    {
        m_child.ask();
        return m_child.line(kTimeoutMs);
    }
    void xdo(const QStringList &args);
    void keys(const QString &chord) { xdo({QStringLiteral("key"), chord}); }
    void waitForMenu(double since);
    void menu(const QString &open, const QString &item)
    {
        const double since = nowMs();
        keys(open);
        waitForMenu(since);
        keys(item);
    }
    void dragThumbTo(int y);
    void clickAt(QPoint p, bool shift = false);
    void measure(const QString &name, const std::function<void()> &setup,
                 const std::function<void()> &input, const Check &check);
    void measureOne(const QString &name, const std::function<void()> &setup,
                    const std::function<void()> &input, const Check &check);
    void measureExit();
    // The command under way is named where the run ends.
    [[noreturn]] void fail(const QString &why) { throw Failed{why}; }

    QString m_path;
    XWatch m_watch;
    Child m_child;
    uint32_t m_window = 0;
    QRect m_viewport, m_bar;
    QJsonArray m_results;
    QJsonObject m_extra; // what the command's input adds to its result
};

Driver::Idle Driver::waitIdle(double since, double cpuBefore, const std::function<bool()> &until)
{
    double cpu = cpuBefore, changed = since;
    for (;;) {
        ::usleep(useconds_t(kSampleMs * 1000));
        const double now = nowMs();
        if (m_child.ended())
            throw Failed{QStringLiteral("the child ended (%1)").arg(m_child.endText())};
        const double c = cpuMs(pid());
        if (c != cpu) {
            cpu = c;
            changed = now;
        }
        if ((until && until()) ||
            (now - changed >= kQuietMs && m_watch.oldestPending(now) < kPingLateMs))
            return {changed, cpu, now};
        if (now - since > kTimeoutMs)
            throw Failed{QStringLiteral("not idle within %1 minutes").arg(kTimeoutMs / 60000)};
    }
}

void Driver::xdo(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw Failed{QStringLiteral("xdotool %1 failed").arg(args.join(u' '))};
}

void Driver::waitForMenu(double since)
{
    for (;;) {
        for (const XWatch::Shown &s : m_watch.shownSince(since))
            if (s.mapped && s.popup)
                return;
        if (sinceMs(since) > 60000)
            throw Failed{QStringLiteral("a menu did not open within a minute")};
        ::usleep(useconds_t(kSampleMs * 1000));
    }
}

// Presses on the thumb, moves it so that its middle is at y (beyond the bar: to its end) and
// lets go.
void Driver::dragThumbTo(int y)
{
    const QPoint from = rect(facts()[QLatin1String("thumb")]).center();
    auto n = [](int v) {
        return QString::number(v);
    };
    xdo({QStringLiteral("mousemove"), n(from.x()), n(from.y()), QStringLiteral("mousedown"),
         QStringLiteral("1"), QStringLiteral("mousemove"), n(from.x()), n((from.y() + y) / 2),
         QStringLiteral("mousemove"), n(from.x()), n(y), QStringLiteral("mouseup"),
         QStringLiteral("1")});
}

void Driver::clickAt(QPoint p, bool shift)
{
    QStringList args{QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
                     QStringLiteral("click"), QStringLiteral("1")};
    if (shift)
        args = QStringList{QStringLiteral("keydown"), QStringLiteral("shift")} + args +
               QStringList{QStringLiteral("keyup"), QStringLiteral("shift")};
    xdo(args);
}

void Driver::measure(const QString &name, const std::function<void()> &setup,
                     const std::function<void()> &input, const Check &check)
{
    try {
        measureOne(name, setup, input, check);
    } catch (Failed &failed) {
        failed.why = name + QStringLiteral(": ") + failed.why;
        throw;
    }
}

void Driver::measureOne(const QString &name, const std::function<void()> &setup,
                        const std::function<void()> &input, const Check &check)
{
    QTextStream(stderr) << "  " << name << '\n';
    // Without a window manager, giving the window the keyboard is the driver's part.
    if (m_watch.focus() != m_window) {
        xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(m_window)});
        settle();
    }
    if (setup) {
        setup();
        settle();
    }
    m_extra = {};
    resetPeak();
    const double before = statusMb(pid(), "VmRSS");
    const double cpu = cpuMs(pid());
    const double start = nowMs();
    input();
    const Idle idle = waitIdle(start, cpu);
    const double peak = statusMb(pid(), "VmHWM");
    const double after = statusMb(pid(), "VmRSS");
    const double unanswered = m_watch.longestUnanswered(start, idle.at);
    const QJsonObject now = facts();
    const QString problem = check(now);
    if (!problem.isEmpty())
        fail(problem);
    QJsonObject result = m_extra;
    result[QStringLiteral("command")] = name;
    result[QStringLiteral("unanswered_ms")] = unanswered;
    result[QStringLiteral("wall_ms")] = idle.quietFrom - start;
    result[QStringLiteral("cpu_ms")] = idle.cpu - cpu;
    result[QStringLiteral("added_mb")] = peak - before;
    result[QStringLiteral("stays_mb")] = after - before;
    result[QStringLiteral("facts")] = now;
    m_results.append(result);
}

// To the process's end: its last CPU time from the kernel, its last peak as sampled.
void Driver::measureExit()
{
    const QString name = QStringLiteral("exit");
    QTextStream(stderr) << "  " << name << '\n';
    if (m_watch.focus() != m_window) {
        xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(m_window)});
        settle();
    }
    resetPeak();
    const double before = statusMb(pid(), "VmRSS");
    const double cpu = cpuMs(pid());
    const double start = nowMs();
    menu(QStringLiteral("alt+f"), QStringLiteral("e"));
    double peak = before;
    while (!m_child.ended()) {
        peak = std::max(peak, statusMb(pid(), "VmHWM"));
        if (sinceMs(start) > kTimeoutMs)
            fail(QStringLiteral("the process did not end within %1 minutes")
                     .arg(kTimeoutMs / 60000));
        ::usleep(useconds_t(kSampleMs * 1000));
    }
    const double end = nowMs();
    const double total = m_child.reap();
    if (!m_child.endedWell())
        fail(QStringLiteral("the process ended with %1").arg(m_child.endText()));
    // A window manager pings only the windows shown: up to the window's going, or the end.
    double gone = end;
    for (const XWatch::Shown &s : m_watch.shownSince(start))
        if (s.window == m_window && !s.mapped)
            gone = std::min(gone, s.at);
    m_results.append(
        QJsonObject{{QStringLiteral("command"), name},
                    {QStringLiteral("unanswered_ms"), m_watch.longestUnanswered(start, gone)},
                    {QStringLiteral("shown_ms"), gone - start},
                    {QStringLiteral("wall_ms"), end - start},
                    {QStringLiteral("cpu_ms"), total - cpu},
                    {QStringLiteral("added_mb"), peak - before},
                    {QStringLiteral("stays_mb"), -before}});
}

QJsonArray Driver::run()
{
    const qint64 bytes = QFileInfo(m_path).size();
    const QString saved = m_path + QStringLiteral(".saved");
    const QString pdf = m_path + QStringLiteral(".out.pdf");
    QFile::remove(saved);
    QFile::remove(pdf);
    double loaded = 0, whole = 0, chars = 0; // characters after the load, before the cut, now
    auto count = [](const QJsonObject &f) {
        return num(f, "chars");
    };
    auto none = [] {
        return QString();
    };
    auto grew = [&](const QJsonObject &f) {
        return count(f) == chars + 1 ? (chars = count(f), QString())
                                     : QStringLiteral("the key did not reach the text");
    };
    auto allSelected = [](const QJsonObject &f) {
        const double from = std::min(num(f, "anchor"), num(f, "cursor"));
        const double to = std::max(num(f, "anchor"), num(f, "cursor"));
        return from == 0 && to == num(f, "chars") - 1 ? QString()
                                                      : QStringLiteral("%1 to %2 of %3 selected")
                                                            .arg(from)
                                                            .arg(to)
                                                            .arg(num(f, "chars"));
    };
    const QPoint lastCharacter = m_viewport.bottomRight() - QPoint(2, 2);

    measure(
        QStringLiteral("load"), {}, [&] { keys(QStringLiteral("alt+l")); },
        [&](const QJsonObject &f) {
            loaded = chars = count(f);
            return num(f, "loaded_bytes") == bytes && chars > 1
                       ? QString()
                       : QStringLiteral("%1 was not loaded").arg(m_path);
        });
    measure(
        QStringLiteral("Ctrl+End"), {}, [&] { keys(QStringLiteral("ctrl+End")); },
        [&](const QJsonObject &f) {
            return num(f, "cursor") == chars - 1 ? none()
                                                 : QStringLiteral("the cursor is not at the end");
        });
    measure(
        QStringLiteral("Ctrl+Home"), {}, [&] { keys(QStringLiteral("ctrl+Home")); },
        [&](const QJsonObject &f) {
            return num(f, "cursor") == 0 && num(f, "bar") == 0
                       ? none()
                       : QStringLiteral("the view is not at the start");
        });
    measure(
        QStringLiteral("Page Down"), {}, [&] { keys(QStringLiteral("Next")); },
        [&](const QJsonObject &f) {
            return num(f, "cursor") > 0 && num(f, "bar") > 0
                       ? none()
                       : QStringLiteral("the view did not move");
        });
    measure(
        QStringLiteral("a key at the start"), [&] { keys(QStringLiteral("ctrl+Home")); },
        [&] { keys(QStringLiteral("x")); }, grew);
    measure(
        QStringLiteral("a key at the middle"),
        [&] {
            dragThumbTo(m_bar.center().y());
            settle();
            clickAt(m_viewport.center());
        },
        [&] { keys(QStringLiteral("x")); },
        [&](const QJsonObject &f) {
            const double at = num(f, "cursor") / count(f);
            return at > 0.25 && at < 0.75
                       ? grew(f)
                       : QStringLiteral("the key went in at %1 of the text").arg(at);
        });
    measure(
        QStringLiteral("a key at the end"), [&] { keys(QStringLiteral("ctrl+End")); },
        [&] { keys(QStringLiteral("x")); },
        [&](const QJsonObject &f) {
            return num(f, "cursor") == count(f) - 1
                       ? grew(f)
                       : QStringLiteral("the key did not go in at the end");
        });
    measure(
        QStringLiteral("select all by Ctrl+A"), {}, [&] { keys(QStringLiteral("ctrl+a")); },
        allSelected);
    measure(
        QStringLiteral("colour on all"), {}, [&] { keys(QStringLiteral("alt+c")); },
        [](const QJsonObject &f) {
            return f[QLatin1String("coloured")].toBool()
                       ? QString()
                       : QStringLiteral("the colour did not reach the text");
        });
    measure(
        QStringLiteral("font on all"), {},
        [&] { menu(QStringLiteral("alt+e"), QStringLiteral("f")); },
        [](const QJsonObject &f) {
            return f[QLatin1String("font_set")].toBool()
                       ? QString()
                       : QStringLiteral("the font did not reach the text");
        });
    measure(
        QStringLiteral("copy"), {}, [&] { keys(QStringLiteral("ctrl+c")); },
        [&](const QJsonObject &f) {
            return num(f, "clipboard_chars") >= chars - 1
                       ? none()
                       : QStringLiteral("the clipboard holds %1 characters")
                             .arg(num(f, "clipboard_chars"));
        });
    measure(
        QStringLiteral("select all by the mouse"),
        [&] {
            dragThumbTo(m_bar.top() - m_bar.height());
            settle();
            clickAt(m_viewport.topLeft() + QPoint(1, 1));
            settle();
            const QJsonObject f = facts();
            if (num(f, "cursor") != 0 || num(f, "anchor") != 0)
                fail(QStringLiteral("the click at the first character put the cursor at %1")
                         .arg(num(f, "cursor")));
            dragThumbTo(m_bar.bottom() + m_bar.height());
            settle();
            xdo({QStringLiteral("mousemove"), QString::number(lastCharacter.x()),
                 QString::number(lastCharacter.y())});
        },
        [&] { clickAt(lastCharacter, true); }, allSelected);
    measure(
        QStringLiteral("cut"), {}, [&] { keys(QStringLiteral("ctrl+x")); },
        [&](const QJsonObject &f) {
            whole = chars;
            return count(f) == 1 && num(f, "clipboard_chars") >= whole - 1
                       ? (chars = 1, QString())
                       : QStringLiteral("the text was not cut");
        });
    measure(
        QStringLiteral("paste"), {}, [&] { keys(QStringLiteral("ctrl+v")); },
        [&](const QJsonObject &f) {
            return count(f) == whole ? (chars = whole, QString())
                                     : QStringLiteral("%1 characters after the paste, not %2")
                                           .arg(count(f))
                                           .arg(whole);
        });
    measure(
        QStringLiteral("undo of the paste"), {}, [&] { keys(QStringLiteral("ctrl+z")); },
        [&](const QJsonObject &f) {
            return count(f) == 1 ? (chars = 1, QString())
                                 : QStringLiteral("the paste was not undone");
        });
    measure(
        QStringLiteral("redo of the paste"), {}, [&] { keys(QStringLiteral("ctrl+shift+z")); },
        [&](const QJsonObject &f) {
            return count(f) == whole ? (chars = whole, QString())
                                     : QStringLiteral("the paste was not redone");
        });
    // The text as loaded, with three letters typed, and the line break a save ends with.
    const qint64 savedBytes = bytes + 3 + 2;
    measure(
        QStringLiteral("save"), {}, [&] { keys(QStringLiteral("alt+s")); },
        [&](const QJsonObject &) {
            const qint64 size = QFileInfo(saved).size();
            QFile::remove(saved);
            return size == savedBytes ? QString()
                                      : QStringLiteral("the file saved has %1 bytes, not %2")
                                            .arg(size)
                                            .arg(savedBytes);
        });
    measure(
        QStringLiteral("print, cancelled"), {},
        [&] {
            const double start = nowMs();
            menu(QStringLiteral("alt+f"), QStringLiteral("p"));
            uint32_t dialog = 0;
            auto shown = [&] {
                for (const XWatch::Shown &s : m_watch.shownSince(start))
                    if (s.mapped && !s.popup && s.window != m_window)
                        dialog = s.window;
                return dialog != 0;
            };
            waitIdle(start, cpuMs(pid()), shown);
            m_extra[QStringLiteral("progress_dialog")] = dialog != 0;
            if (!dialog)
                return; // the print ended before a progress dialog showed
            m_extra[QStringLiteral("dialog_after_ms")] = sinceMs(start);
            xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(dialog),
                 QStringLiteral("key"), QStringLiteral("Escape")});
            m_extra[QStringLiteral("dialog")] = double(dialog);
        },
        [&](const QJsonObject &f) {
            const qint64 size = QFileInfo(pdf).size();
            QFile::remove(pdf);
            m_extra[QStringLiteral("pdf_bytes")] = double(size);
            if (m_extra.contains(QLatin1String("dialog"))) {
                const uint32_t dialog = uint32_t(num(m_extra, "dialog"));
                bool open = true;
                for (const XWatch::Shown &s : m_watch.shownSince(0))
                    if (s.window == dialog)
                        open = s.mapped;
                if (open)
                    return QStringLiteral("the progress dialog is still open");
            }
            return count(f) == chars ? QString() : QStringLiteral("the print changed the text");
        });
    measure(
        QStringLiteral("load over the loaded text"), {}, [&] { keys(QStringLiteral("alt+l")); },
        [&](const QJsonObject &f) {
            return count(f) == loaded ? (chars = loaded, QString())
                                      : QStringLiteral("the file was not loaded again");
        });
    measure(
        QStringLiteral("Reset"), {}, [&] { keys(QStringLiteral("alt+r")); },
        [&](const QJsonObject &f) {
            return count(f) == 1 ? QString() : QStringLiteral("the text is still there");
        });
    try {
        measureExit();
    } catch (Failed &failed) {
        failed.why = QStringLiteral("exit: ") + failed.why;
        throw;
    }
    return m_results;
}

} // namespace

void Suite::commands(qint64 size)
{
    const QString figure = QStringLiteral("commands on a big text, %1").arg(sizeText(size));
    if (!wanted(figure))
        return;
    QTextStream(stderr) << "measuring " << figure << '\n';
    ::signal(SIGPIPE, SIG_IGN); // a child that died is told by its pipe, not by this signal
    const QString path = file(Kind::Lines, mb(size));
    // The floor of the CPU figures, as the load rows measure it.
    Runs &reading = m_measured[QStringLiteral("read ") + path];
    for (int i = int(reading.ms.size()); i < m_o.runs; ++i) {
        const Runs r = measure({QStringLiteral("read"), path}, 1);
        if (r.ms.empty())
            return;
        append(reading, r);
    }

    std::vector<QJsonArray> runs;
    for (int i = 0; i < m_o.runs; ++i) {
        try {
            Driver driver(path, m_o.quick);
            runs.push_back(driver.run());
        } catch (const Failed &failed) {
            QTextStream(stderr) << "vellumo_bench: " << figure << ": " << failed.why << '\n';
            m_failed = true;
            QFile::remove(path + QStringLiteral(".saved"));
            QFile::remove(path + QStringLiteral(".out.pdf"));
            return;
        }
    }
    const double textOnce = 2.0 * double(QFileInfo(path).size()) / kMB;
    const QJsonArray &first = runs.front();
    std::map<QString, std::vector<double>> cpuOf;
    for (qsizetype c = 0; c < first.size(); ++c) {
        const QString command = first[c].toObject()[QLatin1String("command")].toString();
        std::map<QString, std::vector<double>> v;
        QJsonArray raw;
        for (const QJsonArray &run : runs) {
            const QJsonObject o = run[c].toObject();
            for (const char *key : {"unanswered_ms", "wall_ms", "cpu_ms", "added_mb", "stays_mb"})
                v[QString::fromLatin1(key)].push_back(num(o, key));
            raw.append(o);
        }
        CommandRow row;
        row.size = sizeText(size);
        row.command = command;
        row.unanswered = median(v[QStringLiteral("unanswered_ms")]);
        row.worstUnanswered = *std::max_element(v[QStringLiteral("unanswered_ms")].begin(),
                                                v[QStringLiteral("unanswered_ms")].end());
        row.wall = median(v[QStringLiteral("wall_ms")]);
        row.cpu = median(v[QStringLiteral("cpu_ms")]);
        row.cpuFloor = median(reading.ms);
        row.added = median(v[QStringLiteral("added_mb")]);
        row.stays = median(v[QStringLiteral("stays_mb")]);
        row.memoryFloor = textOnce;
        if (command.startsWith(QLatin1String("select all"))) {
            row.addedLimit = 0.01;
            row.targetText = QStringLiteral("unanswered ≤ 100 ms; adds ≤ 1 % of the text");
        } else if (command == QLatin1String("copy")) {
            row.addedLimit = 1.1;
            row.targetText = QStringLiteral("unanswered ≤ 100 ms; adds ≤ 1.1x the text");
        } else {
            row.targetText = QStringLiteral("unanswered ≤ 100 ms");
        }
        row.detail = QJsonObject{{QStringLiteral("runs"), raw},
                                 {QStringLiteral("worst_unanswered_ms"), row.worstUnanswered},
                                 {QStringLiteral("reading_runs_ms"), toJson(reading.ms)}};
        cpuOf[command] = v[QStringLiteral("cpu_ms")];
        m_commandRows.push_back(row);
    }
    // Undoing or redoing a paste should cost about what the paste did.
    const std::vector<double> &paste = cpuOf[QStringLiteral("paste")];
    for (const char *again : {"undo", "redo"}) {
        const std::vector<double> &cpu =
            cpuOf[QStringLiteral("%1 of the paste").arg(QLatin1String(again))];
        Row row{
            QStringLiteral("%1 of a paste of %2, CPU").arg(QLatin1String(again), sizeText(size)),
            median(cpu),
            median(paste),
            QStringLiteral("the paste's CPU"),
            1.25,
            QStringLiteral("≤ 1.25x"),
            0};
        row.detail = QJsonObject{{QStringLiteral("vellumo_ms"), toJson(cpu)},
                                 {QStringLiteral("floor_ms"), toJson(paste)}};
        add(row);
    }
}

bool CommandRow::met() const
{
    return unanswered <= kUnansweredLimit + 0.5 &&
           (addedLimit <= 0 || added <= addedLimit * memoryFloor);
}

} // namespace vellumo::bench
