#pragma once

#include "platform/textarea/LongLines.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace vellumo {

// Makes a text's runs on a worker thread, a few ahead of the thread that puts them into the
// document: decoding and grouping a big text take one core while Qt fills its document on the
// other. The runs share nothing with the document, which stays on its own thread.
class RunsAhead {
public:
    explicit RunsAhead(TextRuns &runs);
    // Stops the worker, as when the fill is cancelled, and waits for it.
    ~RunsAhead();
    RunsAhead(const RunsAhead &) = delete;
    RunsAhead &operator=(const RunsAhead &) = delete;

    // The next run, calling waiting (which may throw) every few milliseconds until it is made;
    // false after the last. Throws what the worker threw.
    bool next(Run &run, const std::function<void()> &waiting);

private:
    void work(TextRuns &runs);

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
