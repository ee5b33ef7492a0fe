#pragma once

#include <QColor>
#include <QIcon>
#include <optional>

namespace palaverly {

// The program's mark for the tray, as desktop trays expect a status icon: one colour, the
// panel's, drawn anew for every size and device pixel ratio asked, so it is sharp on a 2x screen
// too. When the icon theme has the symbolic icon the package installs ("palaverly-symbolic",
// with the badge "palaverly-update-symbolic"), the icon carries its name, and a tray that colours
// symbolic icons itself draws that one. `badge` adds the update dot in the accent colour in the
// lower right corner. Main thread.
QIcon trayMarkIcon(const QColor& color, bool badge = false);

// The colour the session's tray asks its icons to be drawn in (an X11 tray's
// _NET_SYSTEM_TRAY_COLORS); nothing when there is no such tray or it does not say.
// Back ends: TrayPanelColorX11.cpp, TrayPanelColorNull.cpp. Main thread.
std::optional<QColor> trayPanelForeground();

} // namespace palaverly
