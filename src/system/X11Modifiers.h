#pragma once

#include <QtGlobal>
#include <array>
#include <xcb/xcb.h>

namespace palaverly {

// Which X11 modifier bits carry Alt, Super and Num Lock on a server (Mod1, Mod4 and Mod2 on a
// standard keymap), and the translation between X11 key-event states and the Carbon mask of
// HotkeyConfig: command = Control, option = Alt, control = Super, shift = Shift.
struct X11Modifiers {
    uint16_t alt = XCB_MOD_MASK_1;
    uint16_t super = XCB_MOD_MASK_4;
    uint16_t numLock = XCB_MOD_MASK_2;

    // Reads the server's modifier map; keeps the standard bits for a modifier it cannot find.
    // Blocks for two round trips.
    static X11Modifiers query(xcb_connection_t* connection);

    // The X11 modifier mask for a Carbon mask; Carbon bits outside the four are ignored.
    uint16_t fromCarbon(quint32 carbon) const;

    // The Carbon mask of an event state; locks, buttons and other modifiers are ignored.
    quint32 toCarbon(uint16_t state) const;

    // The bits that take part in a combination (Shift, Control, Alt, Super).
    uint16_t significant() const;

    // The lock states a passive grab must cover so that Caps Lock and Num Lock do not defeat it.
    std::array<uint16_t, 4> lockVariants() const;
};

} // namespace palaverly
