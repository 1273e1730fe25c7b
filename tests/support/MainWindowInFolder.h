#pragma once

#include "support/FaultFixtures.h"
#include "support/MainWindowFixture.h"

#include <memory>

namespace vellumo::test {

// MainWindowFixture's window and a ScratchFolder for the files the test loads and saves, both
// made anew for each test: the test class calls open() in init() and close() in cleanup().
class MainWindowInFolder : public MainWindowFixture {
protected:
    std::unique_ptr<ScratchFolder> dir;

    QString path(const QString &name) const { return dir->filePath(name); }

    // Whether the folder was made and the window came up on the screen.
    bool open()
    {
        dir = std::make_unique<ScratchFolder>();
        return dir->isValid() && MainWindowFixture::open();
    }
    void close()
    {
        MainWindowFixture::close();
        dir.reset();
    }
};

} // namespace vellumo::test
