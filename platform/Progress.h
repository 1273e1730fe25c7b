#pragma once

#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace vellumo {

// Thrown out of work that the user cancelled. Nothing failed, so nothing is reported.
struct Cancelled {};

// How far a long piece of work has come, as a fraction from 0 to 1. Each call lets the windows
// paint and throws Cancelled once the user has cancelled.
using Steps = std::function<void(double done)>;

class Progress {
public:
    virtual ~Progress() = default;
    virtual void step(double done) = 0;
    // From here on the work cannot be called back (a document handed to the print system):
    // Cancel goes, and the label says what is being done instead.
    virtual void lockIn(const QString &label) = 0;
    // The part of the whole from `from` to `to`, for one stage of the work.
    Steps stage(double from, double to)
    {
        return [this, from, to](double done) {
            step(from + (to - from) * done);
        };
    }
};

// Long work stays on the user-interface thread and reports its steps. Once it has taken about
// half a second, a progress dialog with the label and a Cancel button shows, modal over owner,
// so that no other command can start until the work ends.
class ProgressService {
public:
    virtual ~ProgressService() = default;
    virtual std::unique_ptr<Progress> start(QWidget *owner, const QString &label) = 0;
};

} // namespace vellumo
