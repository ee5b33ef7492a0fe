#pragma once

#include <QtGlobal>
#include <optional>

// Our key numbering is the Mac virtual key code set (kVK_*), kept so that stored shortcuts mean
// the same physical key everywhere. On Linux a key is identified by its X11 key code, which on
// every current server (Xorg with evdev/libinput, Xvfb, Xwayland) is the evdev code plus 8;
// Wayland toolkits report the same xkb key codes.
//
// The table covers a full ANSI/ISO keyboard: letters, digits, punctuation, the ISO key next to
// the left Shift, F1-F20, arrows, the navigation block, the keypad, Return, Tab, Space, Delete,
// Escape, the modifier keys and the volume keys. The modifier keys follow the same pairing as the
// modifier bits: Ctrl is the command key, Alt the option key, Super the control key.
namespace palaverly::keycodes {

// X11 key code for one of our key codes; nothing for a code without a PC key.
std::optional<quint32> toX11(quint32 virtualKeyCode);

// Our key code for an X11 key code; nothing for a key outside the table.
std::optional<quint32> fromX11(quint32 x11KeyCode);

} // namespace palaverly::keycodes
