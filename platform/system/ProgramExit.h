#pragma once

#include <QCoreApplication>

namespace vellumo {

// Ends the program at once: no further events, no closing questions.
class ProgramExit {
public:
    virtual ~ProgramExit() = default;
    virtual void exit(int code) = 0;
};

class QtProgramExit : public ProgramExit {
public:
    void exit(int code) override { QCoreApplication::exit(code); }
};

} // namespace vellumo
