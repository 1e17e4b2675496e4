#include "platform/WindowFinder.h"

#include "platform/TextCase.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// A desktop has tens of windows; the bound only keeps a hostile property
// from making us read megabytes.
constexpr uint32_t kMaxWindows = 4096;
// WM_CLASS is two short names; property lengths are counted in 32-bit units.
constexpr uint32_t kMaxClassWords = 256;
constexpr uint32_t kMaxTitleWords = WindowFinder::kMaxTitle / 4;

struct Connection {
    explicit Connection(const char* display)
        : conn(xcb_connect(display, &screenIndex))
    {
    }
    ~Connection() { xcb_disconnect(conn); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    [[nodiscard]] bool Ok() const { return conn && xcb_connection_has_error(conn) == 0; }

    xcb_connection_t* conn;
    int screenIndex = 0;
};

template <typename T> struct Reply {
    explicit Reply(T* reply)
        : p(reply)
    {
    }
    ~Reply() { std::free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
    T* p;
};

xcb_window_t RootWindow(const Connection& c)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c.conn));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == c.screenIndex)
            return it.data->root;
    }
    return XCB_WINDOW_NONE;
}

xcb_atom_t ExistingAtom(const Connection& c, const char* name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c.conn, 1, static_cast<uint16_t>(std::strlen(name)), name);
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c.conn, cookie, nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The window manager's list of managed windows. A bare X server has no
// window manager, and then the root's children are the top-level windows:
// a player started there must still be found, so we walk them instead.
std::vector<xcb_window_t> TopLevelWindows(const Connection& c, xcb_window_t root)
{
    std::vector<xcb_window_t> windows;
    const xcb_atom_t clientList = ExistingAtom(c, "_NET_CLIENT_LIST");
    if (clientList != XCB_ATOM_NONE) {
        const xcb_get_property_cookie_t cookie
            = xcb_get_property(c.conn, 0, root, clientList, XCB_ATOM_WINDOW, 0, kMaxWindows);
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c.conn, cookie, nullptr));
        if (reply && reply->type == XCB_ATOM_WINDOW && reply->format == 32) {
            const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.p));
            const int n = xcb_get_property_value_length(reply.p) / 4;
            windows.assign(ids, ids + n);
            return windows;
        }
    }
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c.conn, xcb_query_tree(c.conn, root), nullptr));
    if (!tree)
        return windows;
    const xcb_window_t* children = xcb_query_tree_children(tree.p);
    const int n = std::min<int>(xcb_query_tree_children_length(tree.p), static_cast<int>(kMaxWindows));
    windows.assign(children, children + n);
    return windows;
}

// WM_CLASS holds "instance\0class\0"; a program may put the name we look
// for in either. Window classes compare without regard to case.
bool ClassMatches(const xcb_get_property_reply_t* reply, std::string_view className)
{
    if (!reply || reply->format != 8)
        return false;
    const char* bytes = static_cast<const char*>(xcb_get_property_value(reply));
    const int len = xcb_get_property_value_length(reply);
    int start = 0;
    for (int part = 0; part < 2 && start < len; ++part) {
        int end = start;
        while (end < len && bytes[end] != '\0')
            ++end;
        if (EqualsNoCase(std::string_view(bytes + start, static_cast<size_t>(end - start)), className))
            return true;
        start = end + 1;
    }
    return false;
}

void AppendLatin1AsUtf8(std::string* out, const char* bytes, int len)
{
    for (int i = 0; i < len; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
        } else {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

// Keeps at most max bytes without splitting a UTF-8 sequence.
void CutUtf8(std::string* text, size_t max)
{
    if (text->size() <= max)
        return;
    size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>((*text)[cut]) & 0xC0) == 0x80)
        --cut;
    text->resize(cut);
}

bool ReadProperty(const Connection& c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint32_t words,
    Reply<xcb_get_property_reply_t>* out)
{
    const xcb_get_property_cookie_t cookie = xcb_get_property(c.conn, 0, window, property, type, 0, words);
    out->p = xcb_get_property_reply(c.conn, cookie, nullptr);
    return out->p && out->p->type != XCB_ATOM_NONE;
}

std::string ReadTitle(const Connection& c, xcb_window_t window)
{
    std::string title;
    const xcb_atom_t netName = ExistingAtom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = ExistingAtom(c, "UTF8_STRING");
    if (netName != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE) {
        Reply<xcb_get_property_reply_t> reply(nullptr);
        if (ReadProperty(c, window, netName, utf8, kMaxTitleWords, &reply) && reply->type == utf8
            && reply->format == 8) {
            title.assign(static_cast<const char*>(xcb_get_property_value(reply.p)),
                static_cast<size_t>(xcb_get_property_value_length(reply.p)));
            CutUtf8(&title, WindowFinder::kMaxTitle - 1);
            return title;
        }
    }
    Reply<xcb_get_property_reply_t> reply(nullptr);
    if (ReadProperty(c, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, kMaxTitleWords, &reply)
        && reply->format == 8) {
        const char* bytes = static_cast<const char*>(xcb_get_property_value(reply.p));
        const int len = xcb_get_property_value_length(reply.p);
        if (reply->type == XCB_ATOM_STRING)
            AppendLatin1AsUtf8(&title, bytes, len);
        else
            title.assign(bytes, static_cast<size_t>(len));
        CutUtf8(&title, WindowFinder::kMaxTitle - 1);
    }
    return title;
}

class WindowFinderXcb final : public WindowFinder {
public:
    explicit WindowFinderXcb(std::string display)
        : m_display(std::move(display))
    {
    }

    bool FindWindowTitle(std::string_view className, std::string* title) override
    {
        if (title)
            title->clear();
        // A connection per call: the player poll runs once a second, and a
        // display that went away or came back needs no bookkeeping.
        Connection c(m_display.empty() ? nullptr : m_display.c_str());
        if (!c.Ok())
            return false;
        const xcb_window_t root = RootWindow(c);
        if (root == XCB_WINDOW_NONE)
            return false;
        const std::vector<xcb_window_t> windows = TopLevelWindows(c, root);
        // All class requests go out before the first reply is awaited.
        std::vector<xcb_get_property_cookie_t> cookies;
        cookies.reserve(windows.size());
        for (xcb_window_t w : windows)
            cookies.push_back(xcb_get_property(c.conn, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, kMaxClassWords));
        xcb_window_t found = XCB_WINDOW_NONE;
        for (size_t i = 0; i < windows.size(); ++i) {
            Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c.conn, cookies[i], nullptr));
            if (found == XCB_WINDOW_NONE && ClassMatches(reply.p, className))
                found = windows[i];
        }
        if (found == XCB_WINDOW_NONE)
            return false;
        if (title)
            *title = ReadTitle(c, found);
        return true;
    }

private:
    const std::string m_display;
};

} // namespace

WindowFinder& WindowFinder::System()
{
    static WindowFinderXcb finder { std::string() };
    return finder;
}

std::unique_ptr<WindowFinder> WindowFinder::ForDisplay(const std::string& display)
{
    return std::make_unique<WindowFinderXcb>(display);
}

} // namespace platform
