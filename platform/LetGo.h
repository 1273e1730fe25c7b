#pragma once

#include <QAbstractEventDispatcher>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vellumo {

// Frees what it is given on a thread of its own, once the window's thread is idle. The system
// takes a tenth of a second to take back a gigabyte, which a window would spend not answering;
// and while it does, it maps no memory for any other thread of the process, so the window's
// thread must not be at work meanwhile. Whatever is freed here must be reached by nothing else.
// Everything given is freed by the time the object is gone.
class LetGo {
public:
    LetGo()
    {
        m_idle.setSingleShot(true);
        m_idle.setInterval(kIdleMs);
        QObject::connect(&m_idle, &QTimer::timeout, [this] {
            // kIdleMs after the thread began to wait for events, if it waits still: busy work
            // lets events through without waiting for them.
            if (m_waiting)
                handOver();
        });
        if (QAbstractEventDispatcher *events = QAbstractEventDispatcher::instance()) {
            m_waits = QObject::connect(events, &QAbstractEventDispatcher::aboutToBlock, [this] {
                m_waiting = true;
                if (!m_given.empty() && !m_idle.isActive())
                    m_idle.start();
            });
            m_wakes = QObject::connect(events, &QAbstractEventDispatcher::awake,
                                       [this] { m_waiting = false; });
        }
    }
    LetGo(const LetGo &) = delete;
    LetGo &operator=(const LetGo &) = delete;
    ~LetGo()
    {
        QObject::disconnect(m_waits);
        QObject::disconnect(m_wakes);
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
        m_given.push_back(
            [held = std::make_shared<Thing>(std::move(thing))]() mutable { held.reset(); });
        // A thread that never goes idle must not hold everything it was ever given.
        if (m_given.size() > kMostWaiting)
            handOver();
    }

private:
    static constexpr int kIdleMs = 100;
    static constexpr size_t kMostWaiting = 8;

    void handOver()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_worker.joinable()) {
            try {
                m_worker = std::thread([this] { work(); });
            } catch (const std::system_error &) {
                lock.unlock();
                m_given.clear(); // no thread to be had: freed here
                return;
            }
        }
        for (std::function<void()> &free : m_given)
            m_queue.push_back(std::move(free));
        m_given.clear();
        lock.unlock();
        m_changed.notify_all();
    }

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

    std::vector<std::function<void()>> m_given; // on the window's thread, not handed over yet
    QTimer m_idle;
    bool m_waiting = false;
    QMetaObject::Connection m_waits;
    QMetaObject::Connection m_wakes;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
    bool m_ending = false;
    std::thread m_worker;
};

} // namespace vellumo
