// The real program on Wayland: started beside a private headless compositor
// (run-under-weston.sh), driven through its accessibility tree (atspi.py,
// as a screen reader would, since a headless compositor takes no input from
// outside), and judged by the requests it sends the compositor, which
// WAYLAND_DEBUG=client prints. The steps run in order on one program.

#include "support/Spooler.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QTest>

using namespace vellumo::test;

namespace {

// A window as the compositor is told of it.
struct Toplevel {
    QString surface; // its wl_surface
    QString title, appId;
    int parent = -1; // index of the toplevel it belongs to
    QSize minSize, maxSize;
    bool shown = false; // a buffer was committed to its surface
    bool destroyed = false;
};

QSize sizeOf(const QString &arguments)
{
    const auto m = QRegularExpression(QStringLiteral("^(\\d+), (\\d+)$")).match(arguments);
    return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

QString unquoted(const QString &argument)
{
    return argument.size() >= 2 && argument.startsWith(u'"') && argument.endsWith(u'"')
               ? argument.mid(1, argument.size() - 2)
               : QString();
}

// The toplevels in the order they were made, from the client's requests.
// Object ids are used again once destroyed, so each is looked up as it is now.
QList<Toplevel> toplevels(const QByteArray &log)
{
    static const QRegularExpression request(
        QStringLiteral("\\] +-> (\\w+)@(\\d+)\\.(\\w+)\\((.*)\\)$"));
    static const QRegularExpression id(QStringLiteral("@(\\d+)"));
    QList<Toplevel> found;
    QHash<QString, QString> xdgSurfaces; // xdg_surface -> wl_surface
    QHash<QString, int> live;            // xdg_toplevel -> index
    QHash<QString, bool> attached;       // wl_surface -> a buffer waits for its commit
    for (const QByteArray &line : log.split('\n')) {
        const auto m = request.match(QString::fromUtf8(line));
        if (!m.hasMatch())
            continue;
        const QString interface = m.captured(1), object = m.captured(2), name = m.captured(3),
                      arguments = m.captured(4);
        QStringList ids;
        for (auto it = id.globalMatch(arguments); it.hasNext();)
            ids << it.next().captured(1);
        if (interface == QLatin1String("xdg_wm_base") && name == QLatin1String("get_xdg_surface") &&
            ids.size() == 2) {
            xdgSurfaces[ids[0]] = ids[1];
        } else if (interface == QLatin1String("xdg_surface") &&
                   name == QLatin1String("get_toplevel") && ids.size() == 1) {
            Toplevel t;
            t.surface = xdgSurfaces.value(object);
            live[ids[0]] = int(found.size());
            found << t;
        } else if (interface == QLatin1String("xdg_toplevel") && live.contains(object)) {
            Toplevel &t = found[live[object]];
            if (name == QLatin1String("set_title"))
                t.title = unquoted(arguments);
            else if (name == QLatin1String("set_app_id"))
                t.appId = unquoted(arguments);
            else if (name == QLatin1String("set_min_size"))
                t.minSize = sizeOf(arguments);
            else if (name == QLatin1String("set_max_size"))
                t.maxSize = sizeOf(arguments);
            else if (name == QLatin1String("set_parent"))
                t.parent = ids.isEmpty() ? -1 : live.value(ids[0], -1);
            else if (name == QLatin1String("destroy")) {
                t.destroyed = true;
                live.remove(object);
            }
        } else if (interface == QLatin1String("wl_surface")) {
            if (name == QLatin1String("attach"))
                attached[object] = !arguments.startsWith(QLatin1String("nil"));
            else if (name == QLatin1String("commit") && attached.take(object))
                for (int index : std::as_const(live))
                    if (found[index].surface == object)
                        found[index].shown = true;
        }
    }
    return found;
}

} // namespace

class WaylandTest : public QObject {
    Q_OBJECT

    QProcess program;
    QByteArray protocol; // what the program's Wayland client library printed
    int mainWindow = -1;

    QString pid() const { return QString::number(program.processId()); }

    ProgramRun atspi(const QString &command, const QStringList &names)
    {
        return runProgram(qEnvironmentVariable("VELLUMO_ATSPI"),
                          QStringList{command, pid()} + names, 30000);
    }
    // The live toplevel with this title once it is shown, or -1 at the timeout.
    int waitForToplevel(const QString &title)
    {
        int found = -1;
        poll(
            [&] {
                const QList<Toplevel> all = toplevels(protocol);
                for (found = int(all.size()) - 1; found >= 0; --found)
                    if (all[found].title == title && all[found].shown && !all[found].destroyed)
                        return true;
                return program.state() != QProcess::Running;
            },
            30000);
        return found;
    }
    bool waitUntilDestroyed(int index)
    {
        return poll([&] { return toplevels(protocol).value(index).destroyed; }, 30000);
    }
    // Registering with the accessibility bus comes a moment after the window.
    bool waitForAccessibleWindow(const QString &title)
    {
        return poll(
            [&] { return atspi(QStringLiteral("windows"), {}).out.split(u'\n').contains(title); },
            30000);
    }
    bool press(const QStringList &names)
    {
        const ProgramRun run = atspi(QStringLiteral("press"), names);
        return run.exitCode == 0;
    }
    QString describe(int index)
    {
        const Toplevel t = toplevels(protocol).value(index);
        return QStringLiteral("\"%1\" app id \"%2\" min %3x%4 max %5x%6 parent %7")
            .arg(t.title, t.appId)
            .arg(t.minSize.width())
            .arg(t.minSize.height())
            .arg(t.maxSize.width())
            .arg(t.maxSize.height())
            .arg(t.parent);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString binary = qEnvironmentVariable("VELLUMO_BINARY");
        QVERIFY2(QFileInfo(binary).isExecutable(), "VELLUMO_BINARY names no program");
        QVERIFY2(!qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty(),
                 "no compositor: run under run-under-weston.sh");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        program.setProcessEnvironment(env);
        program.setProgram(binary);
        connect(&program, &QProcess::readyReadStandardError, this,
                [this] { protocol += program.readAllStandardError(); });
        program.start();
        QVERIFY(program.waitForStarted());
        mainWindow = waitForToplevel(QStringLiteral("Vellumo"));
        QVERIFY2(mainWindow >= 0, "the main window was not shown");
        QVERIFY2(waitForAccessibleWindow(QStringLiteral("Vellumo")),
                 "the main window is not on the accessibility bus");
    }

    void cleanupTestCase()
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished();
        }
    }

    void theMainWindowIsAFixedToplevelNamedAfterItsMenuEntry()
    {
        const Toplevel main = toplevels(protocol).value(mainWindow);
        // The desktop finds the menu entry, and with it the icon and name, by the app id.
        const QString entry =
            QFileInfo(qEnvironmentVariable("VELLUMO_DESKTOP_FILE")).completeBaseName();
        QVERIFY(!entry.isEmpty());
        QCOMPARE(main.appId, entry);
        QCOMPARE(main.parent, -1);
        // The compositor offers no resizing when the smallest and largest size agree.
        QVERIFY2(!main.minSize.isEmpty() && main.minSize == main.maxSize,
                 qPrintable(describe(mainWindow)));
    }

    void aboutInfoOpensTheDialogOverTheMainWindow()
    {
        QVERIFY(
            press({QStringLiteral("Vellumo"), QStringLiteral("About"), QStringLiteral("Info")}));
        const int about = waitForToplevel(QStringLiteral("About Vellumo"));
        QVERIFY2(about >= 0, "no About dialog");
        const Toplevel dialog = toplevels(protocol).value(about);
        QVERIFY2(dialog.parent == mainWindow, qPrintable(describe(about)));
        QVERIFY2(!dialog.minSize.isEmpty() && dialog.minSize == dialog.maxSize,
                 qPrintable(describe(about)));
        QVERIFY(waitForAccessibleWindow(QStringLiteral("About Vellumo")));
        QVERIFY(press({QStringLiteral("About Vellumo"), QStringLiteral("OK")}));
        QVERIFY2(waitUntilDestroyed(about), "OK did not close the About dialog");
        QVERIFY(!toplevels(protocol).value(mainWindow).destroyed);
    }

    void fileExitAsksQuit_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("ends");
        QTest::newRow("No keeps the program") << QStringLiteral("No") << false;
        QTest::newRow("Yes ends it with exit code 0") << QStringLiteral("Yes") << true;
    }
    void fileExitAsksQuit()
    {
        QFETCH(QString, answer);
        QFETCH(bool, ends);
        QVERIFY(press({QStringLiteral("Vellumo"), QStringLiteral("File"), QStringLiteral("Exit")}));
        const int box = waitForToplevel(QStringLiteral("Quit?"));
        QVERIFY2(box >= 0, "no \"Quit?\" box");
        QVERIFY2(toplevels(protocol).value(box).parent == mainWindow, qPrintable(describe(box)));
        QVERIFY(waitForAccessibleWindow(QStringLiteral("Quit?")));
        QVERIFY(press({QStringLiteral("Quit?"), answer}));
        QVERIFY2(waitUntilDestroyed(box), "the answer did not close the box");
        if (ends) {
            // It may have ended already, while the box went.
            if (program.state() != QProcess::NotRunning && !program.waitForFinished(30000)) {
                protocol += program.readAllStandardError();
                QFAIL(qPrintable(QStringLiteral("the program did not end; its last words:\n") +
                                 QString::fromUtf8(protocol.right(3000))));
            }
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
        } else {
            // It answers the accessibility bus after the box went, so it went on; had it taken
            // the answer as Yes, it would have left its event loop with the box.
            QVERIFY(waitForAccessibleWindow(QStringLiteral("Vellumo")));
            QCOMPARE(program.state(), QProcess::Running);
            QVERIFY(!toplevels(protocol).value(mainWindow).destroyed);
        }
    }
};

QTEST_GUILESS_MAIN(WaylandTest)

#include "tst_wayland.moc"
