#include "platform/textarea/RunsAhead.h"

#include <chrono>
#include <utility>

namespace vellumo {

namespace {
// Enough to keep the inserting thread busy; each holds a few megabytes.
constexpr size_t kAhead = 2;
// How often a wait lets the windows paint.
constexpr std::chrono::milliseconds kWaitStep(10);

struct Stopped {};
} // namespace

RunsAhead::RunsAhead(std::function<void(const Deliver &)> make)
    : m_worker([this, make = std::move(make)] {
          try {
              make([this](Run &run) { deliver(run); });
              finish(nullptr);
          } catch (const Stopped &) {
          } catch (...) {
              finish(std::current_exception());
          }
      })
{
}

RunsAhead::~RunsAhead()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void RunsAhead::deliver(Run &run)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopped || m_ready.size() < kAhead; });
        if (m_stopped)
            throw Stopped();
        m_ready.push_back(std::move(run));
        run = Run();
        if (!m_spare.empty()) {
            run = std::move(m_spare.front());
            m_spare.pop_front();
        }
    }
    m_changed.notify_all();
}

void RunsAhead::finish(std::exception_ptr error)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
        m_error = std::move(error);
    }
    m_changed.notify_all();
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
    if (m_ready.empty()) {
        if (m_error)
            std::rethrow_exception(m_error);
        return false;
    }
    run = std::move(m_ready.front());
    m_ready.pop_front();
    lock.unlock();
    m_changed.notify_all();
    return true;
}

} // namespace vellumo
