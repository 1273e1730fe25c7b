#include "XWatch.h"

#include "Common.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace vellumo::bench {

namespace {

constexpr double kPingEveryMs = 20;

uint32_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const uint32_t a = reply ? reply->atom : 0;
    std::free(reply);
    return a;
}

} // namespace

XWatch::XWatch()
{
    // An X server whose last client has just left starts afresh, and refuses connections
    // meanwhile.
    xcb_connection_t *c = nullptr;
    for (int attempt = 0; attempt < 50; ++attempt) {
        c = xcb_connect(nullptr, nullptr);
        if (!xcb_connection_has_error(c))
            break;
        xcb_disconnect(c);
        c = nullptr;
        ::usleep(100000);
    }
    if (!c)
        return;
    m_connection = c;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    m_protocols = atom(c, "WM_PROTOCOLS");
    m_pingAtom = atom(c, "_NET_WM_PING");
    // Qt answers a ping on the root window with StructureNotify (and SubstructureRedirect,
    // which only a window manager may select); SubstructureNotify tells when windows show.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    m_thread = std::thread([this] { run(); });
}

XWatch::~XWatch()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_connection)
        xcb_disconnect(m_connection);
}

void XWatch::ping(uint32_t window)
{
    m_window = window;
}

void XWatch::run()
{
    xcb_connection_t *c = m_connection;
    double next = nowMs();
    while (!m_stop && !xcb_connection_has_error(c)) {
        const double now = nowMs();
        const uint32_t window = m_window;
        if (window && now >= next) {
            uint32_t serial;
            {
                const std::lock_guard lock(m_mutex);
                m_pings.push_back({now, -1});
                serial = uint32_t(m_pings.size());
            }
            xcb_client_message_event_t event;
            std::memset(&event, 0, sizeof event);
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = window;
            event.type = m_protocols;
            event.data.data32[0] = m_pingAtom;
            event.data.data32[1] = serial; // in place of a timestamp: which ping it answers
            event.data.data32[2] = window;
            xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                           reinterpret_cast<const char *>(&event));
            xcb_flush(c);
            next = std::max(next + kPingEveryMs, now);
        }
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&fd, 1, std::clamp(int(next - nowMs()) + 1, 1, int(kPingEveryMs)));
        while (xcb_generic_event_t *e = xcb_poll_for_event(c)) {
            const double at = nowMs();
            const uint8_t type = e->response_type & 0x7f;
            const std::lock_guard lock(m_mutex);
            if (type == XCB_CLIENT_MESSAGE) {
                const auto *m = reinterpret_cast<const xcb_client_message_event_t *>(e);
                const uint32_t serial = m->data.data32[1];
                if (m->type == m_protocols && m->data.data32[0] == m_pingAtom && serial > 0 &&
                    serial <= m_pings.size() && m_pings[serial - 1].answered < 0)
                    m_pings[serial - 1].answered = at;
            } else if (type == XCB_MAP_NOTIFY) {
                const auto *m = reinterpret_cast<const xcb_map_notify_event_t *>(e);
                if (m->event == m_root)
                    m_shown.push_back({at, m->window, m->override_redirect != 0, true});
            } else if (type == XCB_UNMAP_NOTIFY) {
                const auto *m = reinterpret_cast<const xcb_unmap_notify_event_t *>(e);
                if (m->event == m_root)
                    m_shown.push_back({at, m->window, false, false});
            }
            // Errors (a ping to a window already gone) need no answer.
            std::free(e);
        }
    }
}

double XWatch::longestUnanswered(double from, double to) const
{
    const std::lock_guard lock(m_mutex);
    double longest = 0;
    for (const Ping &p : m_pings) {
        if (p.sent > to)
            break;
        const double end = p.answered < 0 ? to : std::min(p.answered, to);
        if (end >= from)
            longest = std::max(longest, end - p.sent);
    }
    return longest;
}

double XWatch::oldestPending(double now) const
{
    const std::lock_guard lock(m_mutex);
    while (m_firstWaiting < m_pings.size() && m_pings[m_firstWaiting].answered >= 0)
        ++m_firstWaiting;
    return m_firstWaiting < m_pings.size() ? now - m_pings[m_firstWaiting].sent : 0;
}

std::vector<XWatch::Shown> XWatch::shownSince(double since) const
{
    const std::lock_guard lock(m_mutex);
    std::vector<Shown> out;
    for (const Shown &s : m_shown)
        if (s.at >= since)
            out.push_back(s);
    return out;
}

uint32_t XWatch::focus() const
{
    xcb_get_input_focus_reply_t *reply =
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
    const uint32_t window = reply ? reply->focus : 0;
    std::free(reply);
    return window;
}

} // namespace vellumo::bench
