#include "ui/widgets/TrayIcon.h"

#include "system/X11KeyGrab.h"

#include <QGuiApplication>
#include <QRgba64>
#include <xcb/xcb.h>

namespace palaverly {

std::optional<QColor> trayPanelForeground()
{
    // Asked on the toolkit's own connection, only when it talks to an X server.
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return std::nullopt;
    xcb_connection_t* connection = x11->connection();
    // The tray of the first screen: the one the toolkit docks its tray icon into.
    XcbPtr<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, internAtom(connection, "_NET_SYSTEM_TRAY_S0")), nullptr));
    if (!owner || owner->owner == XCB_NONE)
        return std::nullopt;
    // Twelve cardinals, 16 bits of each used: the foreground, error, warning and success colours.
    XcbPtr<xcb_get_property_reply_t> colors(xcb_get_property_reply(connection,
        xcb_get_property(
            connection, 0, owner->owner, internAtom(connection, "_NET_SYSTEM_TRAY_COLORS"), XCB_ATOM_CARDINAL, 0, 12),
        nullptr));
    if (!colors || colors->format != 32 || xcb_get_property_value_length(colors.get()) < 3 * 4)
        return std::nullopt;
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(colors.get()));
    return QColor(QRgba64::fromRgba64(
        static_cast<quint16>(values[0]), static_cast<quint16>(values[1]), static_cast<quint16>(values[2]), 0xFFFF));
}

} // namespace palaverly
