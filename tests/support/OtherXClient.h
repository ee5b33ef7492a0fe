#pragma once

// Links xcb: include only from tests registered with LIBS PkgConfig::XCB.
#include "system/HotkeyConfig.h"
#include "system/KeyCodeTable.h"
#include "system/X11Modifiers.h"

#include "QtWait.h"

#include <cstdlib>
#include <xcb/xcb.h>

namespace palaverly::test {

// Another program on the same display: holds its own passive grabs and sees the keys they catch.
class OtherXClient {
public:
    OtherXClient()
        : m_connection(xcb_connect(nullptr, nullptr))
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root)
        , m_modifiers(X11Modifiers::query(m_connection))
    {
    }
    ~OtherXClient() { xcb_disconnect(m_connection); }
    OtherXClient(const OtherXClient&) = delete;
    OtherXClient& operator=(const OtherXClient&) = delete;

    // Grabs the combination without lock variants; false when someone else holds it.
    bool grab(const HotkeyConfig& config)
    {
        xcb_generic_error_t* error = xcb_request_check(m_connection,
            xcb_grab_key_checked(m_connection, 1, m_root, m_modifiers.fromCarbon(config.modifiers),
                static_cast<xcb_keycode_t>(*keycodes::toX11(config.keyCode)), XCB_GRAB_MODE_ASYNC,
                XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }

    // Whether a press of the combination's key reached this client within the time.
    bool sawPress(const HotkeyConfig& config, int timeoutMs = 3000)
    {
        const auto key = *keycodes::toX11(config.keyCode);
        return waitUntil(
            [&] {
                bool seen = false;
                while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                    if ((event->response_type & 0x7f) == XCB_KEY_PRESS
                        && reinterpret_cast<xcb_key_press_event_t*>(event)->detail == key)
                        seen = true;
                    std::free(event);
                }
                return seen;
            },
            timeoutMs);
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    X11Modifiers m_modifiers;
};

} // namespace palaverly::test
