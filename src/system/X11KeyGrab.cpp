#include "system/X11KeyGrab.h"

#include <cstring>
#include <utility>
#include <vector>

#include "system/XcbXkb.h" // last: see there

namespace palaverly {

std::optional<XcbDisplay> connectToDisplay(const QByteArray& displayName)
{
    int screenNumber = 0;
    xcb_connection_t* connection
        = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (!xcb_connection_has_error(connection)) {
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        if (screens.rem > 0)
            return XcbDisplay{connection, screens.data->root};
    }
    xcb_disconnect(connection);
    return std::nullopt;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    XcbPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

void enableDetectableAutoRepeat(xcb_connection_t* connection)
{
    XcbPtr<xcb_xkb_use_extension_reply_t> use(
        xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr));
    if (!use || !use->supported)
        return;
    const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    XcbPtr<xcb_xkb_per_client_flags_reply_t>(xcb_xkb_per_client_flags_reply(
        connection, xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
}

uint8_t selectKeyboardChanges(xcb_connection_t* connection)
{
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (!xkb || !xkb->present)
        return 0;
    XcbPtr<xcb_xkb_use_extension_reply_t> use(
        xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr));
    if (!use || !use->supported)
        return 0;
    constexpr uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    constexpr uint16_t parts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP
        | XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    XcbPtr<xcb_generic_error_t>(xcb_request_check(connection,
        xcb_xkb_select_events_checked(connection, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, parts, parts, nullptr)));
    return xkb->first_event;
}

bool isKeyboardChange(const xcb_generic_event_t* event, uint8_t xkbEvent)
{
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY)
        return true;
    if (xkbEvent == 0 || type != xkbEvent)
        return false;
    const uint8_t kind = reinterpret_cast<const xcb_xkb_map_notify_event_t*>(event)->xkbType;
    return kind == XCB_XKB_NEW_KEYBOARD_NOTIFY || kind == XCB_XKB_MAP_NOTIFY;
}

bool grabKeyInAllLockStates(xcb_connection_t* connection, xcb_window_t root, const X11Modifiers& layout,
    xcb_keycode_t key, uint16_t modifiers, bool ownerEvents)
{
    std::vector<std::pair<uint16_t, xcb_void_cookie_t>> cookies;
    for (uint16_t locks : layout.lockVariants()) {
        const auto withLocks = static_cast<uint16_t>(modifiers | locks);
        cookies.emplace_back(withLocks,
            xcb_grab_key_checked(
                connection, ownerEvents ? 1 : 0, root, withLocks, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    bool taken = false;
    std::vector<uint16_t> granted;
    for (const auto& [withLocks, cookie] : cookies) {
        if (XcbPtr<xcb_generic_error_t>(xcb_request_check(connection, cookie)))
            taken = true;
        else
            granted.push_back(withLocks);
    }
    if (taken) {
        for (uint16_t withLocks : granted)
            xcb_ungrab_key(connection, key, root, withLocks);
        xcb_flush(connection);
    }
    return !taken;
}

void ungrabKeyInAllLockStates(
    xcb_connection_t* connection, xcb_window_t root, const X11Modifiers& layout, xcb_keycode_t key, uint16_t modifiers)
{
    for (uint16_t locks : layout.lockVariants())
        xcb_ungrab_key(connection, key, root, static_cast<uint16_t>(modifiers | locks));
}

} // namespace palaverly
