#pragma once

// When a program's first window is painted, as a person sees it: the X
// server's damage reports on the root window, gathered from the moment the
// program was started, until what was drawn covers (nearly) all of a newly
// mapped top-level window. A map alone shows nothing; the window counts as
// shown only once its pixels are there.

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class PaintWatch {
public:
    using Clock = std::chrono::steady_clock;

    // The share of a window's pixels that must have been drawn.
    static constexpr double kCovered = 0.99;

    ~PaintWatch() { Close(); }

    // Watches the display; false when it cannot be reached or lacks the
    // damage extension.
    bool Open(const std::string& display)
    {
        Close();
        m_pConnection = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_pConnection))
            return false;
        const xcb_query_extension_reply_t* pDamage = xcb_get_extension_data(m_pConnection, &xcb_damage_id);
        if (!pDamage || !pDamage->present)
            return false;
        m_nDamageEvent = pDamage->first_event;
        std::free(xcb_damage_query_version_reply(m_pConnection,
            xcb_damage_query_version(m_pConnection, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION), nullptr));
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_pConnection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_pConnection, m_root, XCB_CW_EVENT_MASK, &mask);
        m_damage = xcb_generate_id(m_pConnection);
        xcb_damage_create(m_pConnection, m_damage, m_root, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        return Sync();
    }

    // Forgets every window seen so far; call right before starting the
    // program.
    void Reset()
    {
        Drain();
        m_windows.clear();
    }

    // Waits until a top-level window mapped since Reset is covered by
    // drawing; width and height 0 take a window of any size. The time it
    // took from start in milliseconds, or -1 when running() turned false
    // or the deadline passed first.
    double WaitForPaint(Clock::time_point start, Clock::time_point deadline, int width, int height,
        const std::function<bool()>& running)
    {
        m_nWidth = width;
        m_nHeight = height;
        while (Clock::now() < deadline) {
            if (Drain())
                return std::chrono::duration<double, std::milli>(m_painted - start).count();
            if (!running())
                return -1;
            pollfd fd { xcb_get_file_descriptor(m_pConnection), POLLIN, 0 };
            (void)poll(&fd, 1, 5);
        }
        return -1;
    }

private:
    struct SWindow {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        bool mapped = false;
        std::vector<bool> drawn;
        size_t count = 0;
    };

    void Close()
    {
        if (m_pConnection)
            xcb_disconnect(m_pConnection);
        m_pConnection = nullptr;
    }

    bool Sync()
    {
        std::free(xcb_get_input_focus_reply(m_pConnection, xcb_get_input_focus(m_pConnection), nullptr));
        return !xcb_connection_has_error(m_pConnection);
    }

    bool Wanted(const SWindow& window) const
    {
        if (!window.mapped || window.width <= 1 || window.height <= 1)
            return false;
        return m_nWidth == 0 || (window.width == m_nWidth && window.height == m_nHeight);
    }

    void Place(SWindow* pWindow, int x, int y, int width, int height)
    {
        if (pWindow->x == x && pWindow->y == y && pWindow->width == width && pWindow->height == height)
            return;
        // Drawing counts only where the window now lies.
        *pWindow = { x, y, width, height, pWindow->mapped, {}, 0 };
        pWindow->drawn.assign(size_t(width) * size_t(height), false);
    }

    // Marks a rectangle of the root as drawn; true once a wanted window
    // is covered.
    bool Draw(int x, int y, int width, int height)
    {
        for (auto& [id, window] : m_windows) {
            if (!Wanted(window))
                continue;
            const int left = std::max(x, window.x) - window.x;
            const int top = std::max(y, window.y) - window.y;
            const int right = std::min(x + width, window.x + window.width) - window.x;
            const int bottom = std::min(y + height, window.y + window.height) - window.y;
            for (int row = top; row < bottom; ++row) {
                for (int column = left; column < right; ++column) {
                    auto pixel = window.drawn[size_t(row) * size_t(window.width) + size_t(column)];
                    if (!pixel) {
                        pixel = true;
                        ++window.count;
                    }
                }
            }
            if (double(window.count) >= kCovered * double(window.width) * double(window.height))
                return true;
        }
        return false;
    }

    // Handles every waiting event; true once a window is covered.
    bool Drain()
    {
        bool covered = false;
        while (std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> pEvent {
            xcb_poll_for_event(m_pConnection), &std::free }) {
            const uint8_t type = pEvent->response_type & 0x7F;
            if (type == XCB_CREATE_NOTIFY) {
                const auto* p = reinterpret_cast<xcb_create_notify_event_t*>(pEvent.get());
                if (p->parent == m_root && !p->override_redirect)
                    Place(&m_windows[p->window], p->x, p->y, p->width, p->height);
            } else if (type == XCB_CONFIGURE_NOTIFY) {
                const auto* p = reinterpret_cast<xcb_configure_notify_event_t*>(pEvent.get());
                if (const auto it = m_windows.find(p->window); it != m_windows.end())
                    Place(&it->second, p->x, p->y, p->width, p->height);
            } else if (type == XCB_MAP_NOTIFY) {
                const auto* p = reinterpret_cast<xcb_map_notify_event_t*>(pEvent.get());
                if (const auto it = m_windows.find(p->window); it != m_windows.end())
                    it->second.mapped = true;
            } else if (type == XCB_UNMAP_NOTIFY || type == XCB_DESTROY_NOTIFY) {
                const auto* p = reinterpret_cast<xcb_unmap_notify_event_t*>(pEvent.get());
                if (const auto it = m_windows.find(p->window); it != m_windows.end())
                    it->second.mapped = false;
            } else if (type == m_nDamageEvent + XCB_DAMAGE_NOTIFY) {
                const auto* p = reinterpret_cast<xcb_damage_notify_event_t*>(pEvent.get());
                if (!covered && Draw(p->area.x, p->area.y, p->area.width, p->area.height)) {
                    covered = true;
                    m_painted = Clock::now();
                }
            }
        }
        return covered;
    }

    xcb_connection_t* m_pConnection = nullptr;
    xcb_window_t m_root = 0;
    xcb_damage_damage_t m_damage = 0;
    uint8_t m_nDamageEvent = 0;
    std::map<xcb_window_t, SWindow> m_windows;
    int m_nWidth = 0;
    int m_nHeight = 0;
    Clock::time_point m_painted;
};
