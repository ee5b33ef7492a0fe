#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace palaverly {

// The kind of graphical session the program was started in. In an X11 session global keys and the
// synthetic paste go through the X server; in a Wayland session the X server (XWayland) only sees
// our own windows, so they go through the desktop portals instead.
enum class SessionType {
    x11,
    wayland,
    none, // no display at all (a test, a console)
};

// Decides from the environment: XDG_SESSION_TYPE when it names x11 or wayland (the login manager
// sets it), otherwise WAYLAND_DISPLAY, then DISPLAY. `variable` returns a variable's value, empty
// when unset.
SessionType detectSessionType(const std::function<QByteArray(const char* name)>& variable);

// The session of this process's environment.
SessionType currentSessionType();

// "X11", "Wayland" or "без графического сеанса", for the status texts.
QString sessionName(SessionType type);

} // namespace palaverly
