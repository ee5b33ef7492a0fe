#include "system/GlobalHotkeyManager.h"

#include "common/Log.h"
#include "system/KeyCodeTable.h"
#include "system/X11KeyGrab.h"

#include <QLoggingCategory>
#include <QObject>
#include <QSocketNotifier>
#include <map>
#include <xcb/xcb.h>

Q_LOGGING_CATEGORY(lcGlobalHotkeyManager, "GlobalHotkeyManager")

namespace palaverly {

namespace {

// Passive grabs on the root window: the server hands us the key press (and its release) of the
// combination whichever window has the focus, and no other client sees it. A grab that another
// client already holds fails with BadAccess on the checked request, which is how a combination
// taken by another program is detected without a process-wide error handler.
class X11GlobalHotkeyManager final : public GlobalHotkeyManager {
public:
    X11GlobalHotkeyManager(xcb_connection_t* connection, xcb_window_t root)
        : m_connection(connection)
        , m_root(root)
        , m_modifiers(X11Modifiers::query(connection))
    {
        enableDetectableAutoRepeat(m_connection);
        m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &m_context, [this] { readEvents(); });
    }

    ~X11GlobalHotkeyManager() override
    {
        m_notifier.reset();
        for (const auto& [action, grab] : m_refs)
            ungrab(grab);
        xcb_flush(m_connection);
        xcb_disconnect(m_connection);
    }

    void registerHotkey(Action action, const HotkeyConfig& config) override
    {
        if (const auto it = m_refs.find(action); it != m_refs.end()) {
            ungrab(it->second);
            m_refs.erase(it);
            xcb_flush(m_connection);
        }
        if (config.keyCode == 0)
            return;
        const auto key = keycodes::toX11(config.keyCode);
        if (!key)
            return;
        const Grab grab{static_cast<xcb_keycode_t>(*key), m_modifiers.fromCarbon(config.modifiers)};
        for (const auto& [other, existing] : m_refs)
            if (existing.key == grab.key && existing.modifiers == grab.modifiers)
                return; // the server would let us grab it twice; the first action keeps it

        if (grabKeyInAllLockStates(m_connection, m_root, m_modifiers, grab.key, grab.modifiers, true))
            m_refs.emplace(action, grab);
        // The replies above may have pulled key events into xcb's queue, where the socket
        // notifier does not see them.
        readEvents();
    }

    bool isRegistered(Action action) const override { return m_refs.contains(action); }

private:
    struct Grab {
        xcb_keycode_t key = 0;
        uint16_t modifiers = 0;
        bool held = false;
    };

    void ungrab(const Grab& grab)
    {
        ungrabKeyInAllLockStates(m_connection, m_root, m_modifiers, grab.key, grab.modifiers);
    }

    // Main thread, from the socket notifier or after a registration.
    void readEvents()
    {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(m_connection)) {
            XcbPtr<xcb_generic_event_t> event(raw);
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_KEY_PRESS)
                keyPressed(*reinterpret_cast<const xcb_key_press_event_t*>(raw));
            else if (type == XCB_KEY_RELEASE)
                keyReleased(*reinterpret_cast<const xcb_key_release_event_t*>(raw));
        }
        if (xcb_connection_has_error(m_connection) && m_notifier)
            m_notifier->setEnabled(false);
    }

    void keyPressed(const xcb_key_press_event_t& event)
    {
        const auto modifiers = static_cast<uint16_t>(event.state & m_modifiers.significant());
        for (auto& [action, grab] : m_refs) {
            if (grab.key != event.detail || grab.modifiers != modifiers)
                continue;
            if (grab.held)
                return; // key repeat
            grab.held = true;
            QMetaObject::invokeMethod(
                &m_context,
                [this, action = action] {
                    if (const auto callback = onTrigger)
                        callback(action);
                },
                Qt::QueuedConnection);
            return;
        }
    }

    void keyReleased(const xcb_key_release_event_t& event)
    {
        for (auto& [action, grab] : m_refs)
            if (grab.key == event.detail)
                grab.held = false;
    }

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    X11Modifiers m_modifiers;
    std::map<Action, Grab> m_refs;
    // Receiver of the deferred onTrigger calls; calls still queued die with it.
    QObject m_context;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace

std::unique_ptr<GlobalHotkeyManager> GlobalHotkeyManager::create(const QByteArray& displayName)
{
    const auto display = connectToDisplay(displayName);
    if (!display) {
        log::info(lcGlobalHotkeyManager(), QStringLiteral("Global hotkeys are off: no X11 display"));
        return std::make_unique<NullGlobalHotkeyManager>();
    }
    return std::make_unique<X11GlobalHotkeyManager>(display->connection, display->root);
}

} // namespace palaverly
