#pragma once

#include "app/frmMain.h"
#include "support/Fakes.h"

#include <QAction>
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

    // Whether the window came up on the screen.
    bool open()
    {
        platform = std::make_unique<FakePlatform>();
        window = std::make_unique<frmMain>(platform->services);
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
    void close() { window.reset(); }

    template <typename T = QWidget> T *child(const char *name)
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control or menu item %s", name);
        return found;
    }
    QAction *menuItem(const char *name) { return child<QAction>(name); }
};

} // namespace vellumo::test
