#pragma once

#include "app/Identity.h"
#include "app/frmMain.h"
#include "support/Fakes.h"
#include "support/FaultFixtures.h"
#include "support/Modal.h"

#include <QAction>
#include <QApplication>
#include <QObject>
#include <QTest>
#include <memory>

namespace vellumo::test {

// A shown main window over scripted platform services, made anew for each
// test: the test class calls open() in init() and close() in cleanup().
class MainWindowFixture : public QObject {
protected:
    std::unique_ptr<FakePlatform> platform;
    std::unique_ptr<frmMain> window;

    // Whether the window came up on the screen. Each call starts from fresh
    // scripted services and an empty folder.
    bool open()
    {
        window.reset();
        m_dir.reset();
        platform = std::make_unique<FakePlatform>();
        return open(platform->services);
    }
    // Replaces the window with one over these services, typically the
    // scripted ones with a real service or two in place. What they point to
    // must outlive the window, which lives until the next open() or close().
    bool open(const Services &services)
    {
        window.reset();
        window = std::make_unique<frmMain>(services);
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
    // Ends the window and the folder, and fails the test if any other window
    // is left shown, if work went without the busy cursor, if it stayed, or if
    // a box waited under it.
    void close()
    {
        const bool busy = QGuiApplication::overrideCursor();
        window.reset();
        m_dir.reset();
        verifyNoWindowLeft();
        QVERIFY(!busy);
        for (const auto &call : platform->messageBox.calls)
            QVERIFY2(!call.busy, qPrintable(call.title + QStringLiteral(" under the busy cursor")));
        for (const auto &work : platform->progress.started)
            QVERIFY2(work.busy,
                     qPrintable(work.label + QStringLiteral(" without the busy cursor")));
    }

    // The test's own temporary folder, made on first use and gone with
    // close(); path() names a file in it, or the folder itself.
    ScratchFolder &folder()
    {
        if (!m_dir)
            m_dir = std::make_unique<ScratchFolder>();
        return *m_dir;
    }
    QString path(const QString &name = QString())
    {
        return name.isEmpty() ? folder().path() : folder().filePath(name);
    }

    template <typename T = QWidget> T *child(const char *name)
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control or menu item %s", name);
        return found;
    }
    QAction *menuItem(const char *name) { return child<QAction>(name); }

private:
    std::unique_ptr<ScratchFolder> m_dir;
};

} // namespace vellumo::test

// The main() of a test of the windows: an application named as the program names itself.
#define MAIN_WINDOW_TEST_MAIN(TestClass)                                                           \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        vellumo::applyIdentity(app);                                                               \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
