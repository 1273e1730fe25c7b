#include "platform/textarea/RunsAhead.h"

#include <chrono>
#include <utility>

namespace vellumo {

namespace {
// Enough to keep the inserting thread busy; each holds a few megabytes.
constexpr size_t kAhead = 2;
// How often a wait lets the windows paint.
constexpr std::chrono::milliseconds kWaitStep(10);
} // namespace

RunsAhead::RunsAhead(TextRuns &runs) : m_worker([this, &runs] { work(runs); }) {}

RunsAhead::~RunsAhead()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void RunsAhead::work(TextRuns &runs)
{
    try {
        for (;;) {
            Run run;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [this] { return m_stopped || m_ready.size() < kAhead; });
                if (m_stopped)
                    return;
                if (!m_spare.empty()) {
                    run = std::move(m_spare.front());
                    m_spare.pop_front();
                }
            }
            const bool made = runs.next(run);
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                if (made)
                    m_ready.push_back(std::move(run));
                else
                    m_finished = true;
            }
            m_changed.notify_all();
            if (!made)
                return;
        }
    } catch (...) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_error = std::current_exception();
            m_finished = true;
        }
        m_changed.notify_all();
    }
}

bool RunsAhead::next(Run &run, const std::function<void()> &waiting)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!run.text.isNull())
        m_spare.push_back(std::move(run));
    while (
        !m_changed.wait_for(lock, kWaitStep, [this] { return !m_ready.empty() || m_finished; })) {
        lock.unlock();
        waiting();
        lock.lock();
    }
    if (!m_ready.empty()) {
        run = std::move(m_ready.front());
        m_ready.pop_front();
        lock.unlock();
        m_changed.notify_all();
        return true;
    }
    if (m_error)
        std::rethrow_exception(m_error);
    return false;
}

} // namespace vellumo
