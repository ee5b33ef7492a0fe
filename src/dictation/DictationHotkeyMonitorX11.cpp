#include "dictation/DictationHotkeyMonitor.h"

#include "common/Log.h"
#include "system/KeyCodeTable.h"
#include "system/SyntheticInputProbe.h"
#include "system/X11KeyGrab.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <optional>
#include <xcb/xcb.h>

Q_DECLARE_LOGGING_CATEGORY(lcDictationHotkeyMonitor)

namespace palaverly {

namespace {

// For every key code, the modifier bit its key sets (0 for keys that are not modifiers). Lock keys
// are left out: Caps Lock and Num Lock toggle a state and are no part of a combination.
std::array<uint16_t, 256> modifierKeys(xcb_connection_t* connection, const X11Modifiers& modifiers)
{
    std::array<uint16_t, 256> keys{};
    XcbPtr<xcb_get_modifier_mapping_reply_t> map(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!map)
        return keys;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
    const int perModifier = map->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        const auto bit = static_cast<uint16_t>(1u << modifier);
        if (bit == XCB_MOD_MASK_LOCK || bit == modifiers.numLock)
            continue;
        for (int k = 0; k < perModifier; ++k)
            if (const xcb_keycode_t code = codes[modifier * perModifier + k])
                keys[code] |= bit;
    }
    return keys;
}

// A passive grab of the combination on the root window, with every lock state. When the
// combination goes down, the server makes the grab active: from then until its key goes up, every
// key event of the keyboard comes to this connection and to no other client. That is how the
// combination's own events are kept from the focused window. A modifier let go first ends the
// hold; the active grab is given up then, so the rest of the keys reach the focused window again.
class X11DictationHotkeyMonitor final : public DictationHotkeyMonitor {
public:
    X11DictationHotkeyMonitor(Accessibility access, xcb_connection_t* connection, xcb_window_t root)
        : DictationHotkeyMonitor(std::move(access))
        , m_connection(connection)
        , m_root(root)
    {
        readKeyboardMapping();
        enableDetectableAutoRepeat(m_connection);
        m_xkbEvent = selectKeyboardChanges(m_connection);
        m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readEvents(); });
    }

    ~X11DictationHotkeyMonitor() override
    {
        m_notifier.reset();
        removeTap();
        xcb_flush(m_connection);
        xcb_disconnect(m_connection);
    }

protected:
    TapResult createTap(const HotkeyConfig& hotkey) override
    {
        const TapResult result = grabCombination(hotkey);
        // The replies of the grab may have pulled events into xcb's queue, where the notifier
        // does not see them. They are read from the event loop: a grab may be taken while
        // events are being read, and one of them must not change the grab under it.
        if (result == TapResult::installed)
            QTimer::singleShot(0, m_notifier.get(), [this] { readEvents(); });
        return result;
    }

    void removeTap() override
    {
        if (!m_grab)
            return;
        // Ends an active grab of a held combination too; a passive grab going away does not.
        xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
        ungrabKeyInAllLockStates(m_connection, m_root, m_modifiers, m_grab->key, m_grab->modifiers);
        xcb_flush(m_connection);
        m_grab.reset();
    }

private:
    struct Grab {
        xcb_keycode_t key = 0;
        uint16_t modifiers = 0;
    };

    // Takes the passive grabs of `hotkey` with the current keymap; m_grab holds them on success.
    TapResult grabCombination(const HotkeyConfig& hotkey)
    {
        const auto key = keycodes::toX11(hotkey.keyCode);
        if (!key || *key > 255)
            return TapResult::noSuchKey;
        const Grab grab{static_cast<xcb_keycode_t>(*key), m_modifiers.fromCarbon(hotkey.modifiers)};
        if (!grabKeyInAllLockStates(m_connection, m_root, m_modifiers, grab.key, grab.modifiers, false))
            return TapResult::taken;
        m_grab = grab;
        return TapResult::installed;
    }

    void readKeyboardMapping()
    {
        m_modifiers = X11Modifiers::query(m_connection);
        m_modifierKeys = modifierKeys(m_connection, m_modifiers);
    }

    // Main thread, from the socket notifier or after a grab.
    void readEvents()
    {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(m_connection)) {
            XcbPtr<xcb_generic_event_t> event(raw);
            if (isKeyboardChange(raw, m_xkbEvent)) {
                keyboardMappingChanged();
                continue;
            }
            switch (event->response_type & 0x7f) {
            case XCB_KEY_PRESS: {
                const auto& key = *reinterpret_cast<const xcb_key_press_event_t*>(raw);
                keyEvent(key.detail, key.state, true);
                break;
            }
            case XCB_KEY_RELEASE: {
                const auto& key = *reinterpret_cast<const xcb_key_release_event_t*>(raw);
                keyEvent(key.detail, key.state, false);
                break;
            }
            default:
                break;
            }
        }
        if (xcb_connection_has_error(m_connection) && m_notifier)
            m_notifier->setEnabled(false);
    }

    // `state` is the modifier state before the event, as X reports it.
    void keyEvent(xcb_keycode_t code, uint16_t state, bool down)
    {
        if (!m_grab)
            return;
        // The combination's own key first: it may be a modifier key itself (Right Alt alone).
        if (const uint16_t bit = m_modifierKeys[code]; bit && code != m_grab->key) {
            if (!keyHeld())
                return;
            const auto after = static_cast<uint16_t>(down ? (state | bit) : (state & ~bit));
            modifiersChanged(m_modifiers.toCarbon(after));
            if (!keyHeld()) {
                // The hold is over: let the rest of the keys (the combination's key going up
                // later) reach the focused window.
                xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
                xcb_flush(m_connection);
            }
            return;
        }
        const auto keyCode = keycodes::fromX11(code);
        if (!keyCode)
            return;
        // Every event that reaches this connection was taken by the grab, so the verdict is
        // already carried out. Other keys typed during a hold are lost to the focused window.
        if (down)
            keyDown(*keyCode, m_modifiers.toCarbon(state));
        else
            keyUp(*keyCode);
    }

    // The keymap changed (another layout, modifiers moved): the old grab goes with the old
    // modifier bits, and the monitor takes the combination again with the new ones.
    void keyboardMappingChanged()
    {
        removeTap();
        readKeyboardMapping();
        keyboardChanged();
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    uint8_t m_xkbEvent = 0; // XKB's event code on this connection (keyboard changes)
    X11Modifiers m_modifiers;
    std::array<uint16_t, 256> m_modifierKeys{};
    std::optional<Grab> m_grab;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace

std::unique_ptr<DictationHotkeyMonitor> DictationHotkeyMonitor::create(
    Accessibility access, const QByteArray& displayName)
{
    if (!access.isTrusted) {
        access.isTrusted = [probe = std::shared_ptr<SyntheticInputProbe>(SyntheticInputProbe::create(displayName))] {
            return probe->available();
        };
    }
    if (const auto display = connectToDisplay(displayName))
        return std::make_unique<X11DictationHotkeyMonitor>(std::move(access), display->connection, display->root);
    log::info(lcDictationHotkeyMonitor(), QStringLiteral("Dictation key is off: no X11 display"));
    return std::make_unique<NullDictationHotkeyMonitor>(std::move(access));
}

} // namespace palaverly
