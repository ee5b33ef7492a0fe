#include "system/KeyboardLayout.h"

#include "system/KeyCodeTable.h"
#include "system/XcbPtr.h"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include "system/XcbXkb.h" // last: see there

namespace palaverly {

namespace {

struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};

// Reads the keyboard description straight from the X server through XKB, so a layout switch
// (setxkbmap, the desktop's layout indicator) is seen at the next lookup.
class X11KeyboardLayout final : public KeyboardLayout {
public:
    X11KeyboardLayout(xcb_connection_t* connection, int32_t deviceId)
        : m_connection(connection)
        , m_deviceId(deviceId)
        , m_context(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
    {
    }

    ~X11KeyboardLayout() override { xcb_disconnect(m_connection); }

    std::optional<QString> unshiftedText(quint32 virtualKeyCode) override
    {
        const auto x11KeyCode = keycodes::toX11(virtualKeyCode);
        if (!x11KeyCode || !m_context || xcb_connection_has_error(m_connection))
            return std::nullopt;
        // The keymap is fetched anew for every lookup: names are asked for rarely (menus and
        // the settings window), and a cached map would go stale when the user switches layouts.
        std::unique_ptr<xkb_keymap, KeymapDeleter> keymap(
            xkb_x11_keymap_new_from_device(m_context.get(), m_connection, m_deviceId, XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (!keymap)
            return std::nullopt;
        const xkb_keycode_t key = *x11KeyCode;
        const xkb_layout_index_t layoutCount = xkb_keymap_num_layouts_for_key(keymap.get(), key);
        if (layoutCount == 0)
            return std::nullopt;
        const xkb_layout_index_t layout = currentGroup() % layoutCount;
        // Keypad keys keep their digits on the second level (the Num Lock level); every other key
        // that has text has it on the first.
        for (xkb_level_index_t level : {0u, 1u}) {
            const xkb_keysym_t* symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap.get(), key, layout, level, &symbols);
            if (count < 1)
                continue;
            const char32_t text = xkb_keysym_to_utf32(symbols[0]);
            if (text >= 0x20 && text != 0x7F)
                return QString::fromUcs4(&text, 1);
        }
        return std::nullopt;
    }

private:
    xkb_layout_index_t currentGroup()
    {
        const xcb_xkb_get_state_cookie_t cookie = xcb_xkb_get_state(m_connection, static_cast<uint16_t>(m_deviceId));
        XcbPtr<xcb_xkb_get_state_reply_t> reply(xcb_xkb_get_state_reply(m_connection, cookie, nullptr));
        return reply ? reply->group : 0;
    }

    xcb_connection_t* m_connection = nullptr;
    int32_t m_deviceId = -1;
    std::unique_ptr<xkb_context, ContextDeleter> m_context;
};

} // namespace

std::unique_ptr<KeyboardLayout> KeyboardLayout::create(const QByteArray& displayName)
{
    xcb_connection_t* connection = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return std::make_unique<NullKeyboardLayout>();
    }
    const int ok = xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
        XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr);
    const int32_t deviceId = ok ? xkb_x11_get_core_keyboard_device_id(connection) : -1;
    if (deviceId < 0) {
        xcb_disconnect(connection);
        return std::make_unique<NullKeyboardLayout>();
    }
    return std::make_unique<X11KeyboardLayout>(connection, deviceId);
}

} // namespace palaverly
