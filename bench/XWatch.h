#pragma once
// The parent's own connection to the X server, which watches the child's window as a window
// manager would: it pings the window every 20 ms and notes when top-level windows show and go.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

struct xcb_connection_t;

namespace vellumo::bench {

class XWatch {
public:
    struct Shown {
        double at;
        uint32_t window;
        bool popup;  // override-redirect: a menu, not a dialog
        bool mapped; // or unmapped
    };

    XWatch();
    ~XWatch();
    XWatch(const XWatch &) = delete;
    XWatch &operator=(const XWatch &) = delete;

    bool connected() const { return m_connection != nullptr; }
    // Starts pinging this top-level window.
    void ping(uint32_t window);
    // The longest a ping waited for its answer, of those waiting at some time from `from` to
    // `to`; one not answered by `to` counts with its age then.
    double longestUnanswered(double from, double to) const;
    // The age of the oldest ping still unanswered, or 0.
    double oldestPending(double now) const;
    std::vector<Shown> shownSince(double since) const;
    // The window that has the keyboard focus.
    uint32_t focus() const;

private:
    void run();

    struct Ping {
        double sent;
        double answered; // < 0 while waiting
    };

    xcb_connection_t *m_connection = nullptr;
    uint32_t m_root = 0;
    uint32_t m_protocols = 0;
    uint32_t m_pingAtom = 0;
    std::atomic<uint32_t> m_window{0};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Ping> m_pings;
    mutable size_t m_firstWaiting = 0; // no ping before it waits
    std::vector<Shown> m_shown;
    std::thread m_thread;
};

} // namespace vellumo::bench
