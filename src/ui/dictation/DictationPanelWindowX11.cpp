#include "ui/dictation/DictationPanelWindow.h"

#include "system/X11KeyGrab.h"

#include <QGuiApplication>
#include <QWidget>
#include <array>
#include <xcb/xcb.h>

namespace palaverly {

void preparePanelWindow(QWidget& window)
{
    // Only when the toolkit itself talks to an X server (not on Wayland or off screen).
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId()); // creates the native window

    // The toolkit adds its own states (above) to these when it maps the window.
    const std::array<xcb_atom_t, 3> states{internAtom(connection, "_NET_WM_STATE_STICKY"),
        internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"), internAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, internAtom(connection, "_NET_WM_STATE"), XCB_ATOM_ATOM,
        32, static_cast<uint32_t>(states.size()), states.data());
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, internAtom(connection, "_NET_WM_DESKTOP"),
        XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    xcb_flush(connection);
}

} // namespace palaverly
