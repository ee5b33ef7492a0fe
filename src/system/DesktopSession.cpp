#include "system/DesktopSession.h"

#include <QtGlobal>

namespace palaverly {

SessionType detectSessionType(const std::function<QByteArray(const char* name)>& variable)
{
    const QByteArray declared = variable("XDG_SESSION_TYPE").trimmed().toLower();
    if (declared == "wayland")
        return SessionType::wayland;
    if (declared == "x11")
        return SessionType::x11;
    // "tty" or unset: a session started by hand, or a nested one; the sockets tell.
    if (!variable("WAYLAND_DISPLAY").isEmpty())
        return SessionType::wayland;
    if (!variable("DISPLAY").isEmpty())
        return SessionType::x11;
    return SessionType::none;
}

SessionType currentSessionType()
{
    return detectSessionType([](const char* name) { return qgetenv(name); });
}

QString sessionName(SessionType type)
{
    switch (type) {
    case SessionType::x11:
        return QStringLiteral("X11");
    case SessionType::wayland:
        return QStringLiteral("Wayland");
    case SessionType::none:
        break;
    }
    return QStringLiteral("без графического сеанса");
}

} // namespace palaverly
