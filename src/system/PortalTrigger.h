#pragma once

#include "system/HotkeyConfig.h"

#include <QString>

namespace palaverly {

// A shortcut in the form the desktop portals take as a preferred trigger: the modifiers CTRL,
// ALT, SHIFT and LOGO, then the key's xkbcommon keysym name on a US layout, joined by "+", e.g.
// "CTRL+ALT+r", "LOGO+SHIFT+space", "CTRL+F5". Empty for an unassigned shortcut or a key without
// a keysym. Main thread.
QString portalTrigger(const HotkeyConfig& hotkey);

} // namespace palaverly
