#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace vellumo {

// Frees what it is given on a thread of its own. The system takes a tenth of a second to take a
// gigabyte back, which a window would spend not answering; whatever is freed here must be
// reached by nothing else. Everything given is freed by the time the object is gone.
class LetGo {
public:
    LetGo() = default;
    LetGo(const LetGo &) = delete;
    LetGo &operator=(const LetGo &) = delete;
    ~LetGo()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_ending = true;
        }
        m_changed.notify_all();
        if (m_worker.joinable())
            m_worker.join();
    }

    template <class Thing> void operator()(Thing thing)
    {
        std::function<void()> free = [held = std::make_shared<Thing>(std::move(thing))]() mutable {
            held.reset();
        };
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_worker.joinable()) {
            try {
                m_worker = std::thread([this] { work(); });
            } catch (const std::system_error &) {
                lock.unlock();
                return; // no thread to be had: freed here, as `free` goes
            }
        }
        m_queue.push_back(std::move(free));
        lock.unlock();
        m_changed.notify_all();
    }

private:
    void work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_ending || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            std::function<void()> free = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            free();
            free = nullptr;
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
    bool m_ending = false;
    std::thread m_worker;
};

} // namespace vellumo
