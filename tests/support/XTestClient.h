#pragma once

// Another X client on a test's X server, playing the part of a music player:
// a top-level window of a given class whose title the test sets.

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

class XClient {
public:
    explicit XClient(const std::string& display)
        : m_conn(xcb_connect(display.c_str(), nullptr))
    {
        const xcb_setup_t* setup = xcb_get_setup(m_conn);
        m_root = xcb_setup_roots_iterator(setup).data->root;
    }
    ~XClient() { xcb_disconnect(m_conn); }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool Ok() const { return xcb_connection_has_error(m_conn) == 0; }

    xcb_window_t CreateWindow(const std::string& instance, const std::string& windowClass)
    {
        const xcb_window_t w = xcb_generate_id(m_conn);
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, w, m_root, 0, 0, 100, 20, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
            XCB_COPY_FROM_PARENT, 0, nullptr);
        std::string both = instance + '\0' + windowClass + '\0';
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
            static_cast<uint32_t>(both.size()), both.data());
        xcb_map_window(m_conn, w);
        Sync();
        return w;
    }
    void SetName(xcb_window_t w, const std::string& name)
    {
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
            static_cast<uint32_t>(name.size()), name.data());
        Sync();
    }
    void SetUtf8Name(xcb_window_t w, const std::string& name)
    {
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, w, Atom("_NET_WM_NAME"), Atom("UTF8_STRING"), 8,
            static_cast<uint32_t>(name.size()), name.data());
        Sync();
    }
    // What a window manager would publish as the list of managed windows.
    void SetClientList(const std::vector<xcb_window_t>& windows)
    {
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_root, Atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32,
            static_cast<uint32_t>(windows.size()), windows.data());
        Sync();
    }
    void Destroy(xcb_window_t w)
    {
        xcb_destroy_window(m_conn, w);
        Sync();
    }

private:
    xcb_atom_t Atom(const char* name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_conn, xcb_intern_atom(m_conn, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }
    // A round trip: the server has carried out everything sent before it,
    // so the reader's own connection sees the change.
    void Sync() { std::free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr)); }

    xcb_connection_t* m_conn;
    xcb_window_t m_root = 0;
};
