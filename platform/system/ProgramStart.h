#pragma once

#include <QString>

namespace vellumo {

// Show states of a started program's window.
namespace ShowState {
constexpr int Normal = 1;
} // namespace ShowState

class ProgramStart {
public:
    virtual ~ProgramStart() = default;
    // Starts the program at `path` with no arguments and returns without waiting for it. The
    // path is one program path even when it holds blanks, and '\' separates where '/' does.
    // A program that cannot be started throws vellumo::Failure with the system's reason.
    virtual void start(const QString &path, int showState) = 0;
};

class DetachedProgramStart final : public ProgramStart {
public:
    void start(const QString &path, int showState) override;
};

} // namespace vellumo
