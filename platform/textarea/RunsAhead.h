#pragma once

#include "platform/textarea/LongLines.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace vellumo {

// Hands a run over, and puts into it the room of one already taken, for the next.
using Deliver = std::function<void(Run &run)>;

// Makes a text's runs on a worker thread, a few ahead of the thread that puts them into the
// document: reading, decoding and grouping a big text take one core while Qt fills its
// document on the other. The runs share nothing with the document, which stays on its thread.
class RunsAhead {
public:
    // make runs on the worker, delivering each run; once the runs are no longer wanted, a
    // delivery throws and ends it.
    explicit RunsAhead(std::function<void(const Deliver &)> make);
    // Stops the worker, as when the fill is cancelled, and waits for it.
    ~RunsAhead();
    RunsAhead(const RunsAhead &) = delete;
    RunsAhead &operator=(const RunsAhead &) = delete;

    // The next run, calling waiting (which may throw) every few milliseconds until it is made;
    // false after the last. Throws what make threw.
    bool next(Run &run, const std::function<void()> &waiting);

private:
    void deliver(Run &run);
    void finish(std::exception_ptr error);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Run> m_ready;
    std::deque<Run> m_spare; // runs taken, whose room the worker reuses
    bool m_finished = false;
    bool m_stopped = false;
    std::exception_ptr m_error;
    std::thread m_worker;
};

} // namespace vellumo
