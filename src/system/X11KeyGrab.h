#pragma once

#include "system/X11Modifiers.h"
#include "system/XcbPtr.h"

#include <QByteArray>
#include <optional>
#include <xcb/xcb.h>

namespace palaverly {

// A connection of its own to an X display and the root window of its default screen.
struct XcbDisplay {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
};

// Connects to `displayName` (or $DISPLAY when empty). Nothing when there is no X11 display; no
// connection is left open then.
std::optional<XcbDisplay> connectToDisplay(const QByteArray& displayName);

// The atom of `name`, made when the server does not know it yet; XCB_ATOM_NONE on failure.
xcb_atom_t internAtom(xcb_connection_t* connection, const char* name);

// Asks the server to report a held key as repeated presses without the releases in between, so a
// repeat neither ends a hold nor counts as a new press. Without XKB nothing changes.
void enableDetectableAutoRepeat(xcb_connection_t* connection);

// Asks for a notice of every change of the keyboard's mapping (another layout, keys or modifiers
// moved). A connection that uses XKB, as every one that enables detectable auto-repeat does, gets
// no core MappingNotify for them. Returns the code of XKB's events on this connection; 0 when
// the server has no XKB (the core MappingNotify comes then).
uint8_t selectKeyboardChanges(xcb_connection_t* connection);
// Whether `event` is one of those notices; `xkbEvent` is what selectKeyboardChanges returned.
bool isKeyboardChange(const xcb_generic_event_t* event, uint8_t xkbEvent);

// Passive grabs of `key` with `modifiers` on the root window, one for every Caps Lock / Num Lock
// state so that the locks do not defeat the combination. All or nothing: when another client holds
// any of them (BadAccess on the checked requests) the granted ones are released again and the
// result is false. Replies are waited for, so key events may be left in xcb's queue: callers that
// read events through a socket notifier poll the queue afterwards.
bool grabKeyInAllLockStates(xcb_connection_t* connection, xcb_window_t root, const X11Modifiers& layout,
    xcb_keycode_t key, uint16_t modifiers, bool ownerEvents);

void ungrabKeyInAllLockStates(
    xcb_connection_t* connection, xcb_window_t root, const X11Modifiers& layout, xcb_keycode_t key, uint16_t modifiers);

} // namespace palaverly
