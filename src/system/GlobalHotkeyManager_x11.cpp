#include "system/GlobalHotkeyManager.h"

#include "common/Log.h"
#include "system/KeyCodeTable.h"
#include "system/X11Modifiers.h"

#include <QLoggingCategory>
#include <QObject>
#include <QSocketNotifier>
#include <cstdlib>
#include <map>
#include <vector>
#include <xcb/xcb.h>

#include "system/XcbXkb.h" // last: see there

Q_LOGGING_CATEGORY(lcGlobalHotkeyManager, "GlobalHotkeyManager")

namespace palaverly {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Asks the server to report a held key as repeated presses without the interleaved releases, so a
// held hotkey is one press. Without XKB the repeats arrive as release/press pairs.
void enableDetectableAutoRepeat(xcb_connection_t* connection)
{
    std::unique_ptr<xcb_xkb_use_extension_reply_t, FreeDeleter> use(
        xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr));
    if (!use || !use->supported)
        return;
    const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    std::free(xcb_xkb_per_client_flags_reply(
        connection, xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
}

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

        std::vector<std::pair<uint16_t, xcb_void_cookie_t>> cookies;
        for (uint16_t locks : m_modifiers.lockVariants()) {
            const auto modifiers = static_cast<uint16_t>(grab.modifiers | locks);
            cookies.emplace_back(modifiers,
                xcb_grab_key_checked(
                    m_connection, 1, m_root, modifiers, grab.key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
        bool taken = false;
        std::vector<uint16_t> granted;
        for (const auto& [modifiers, cookie] : cookies) {
            std::unique_ptr<xcb_generic_error_t, FreeDeleter> error(xcb_request_check(m_connection, cookie));
            if (error)
                taken = true;
            else
                granted.push_back(modifiers);
        }
        if (taken) {
            // All or nothing: a half-registered combination would work only with some lock states.
            for (uint16_t modifiers : granted)
                xcb_ungrab_key(m_connection, grab.key, m_root, modifiers);
            xcb_flush(m_connection);
        } else {
            m_refs.emplace(action, grab);
        }
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
        for (uint16_t locks : m_modifiers.lockVariants())
            xcb_ungrab_key(m_connection, grab.key, m_root, static_cast<uint16_t>(grab.modifiers | locks));
    }

    // Main thread, from the socket notifier or after a registration.
    void readEvents()
    {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(m_connection)) {
            std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(raw);
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
    int screenNumber = 0;
    xcb_connection_t* connection
        = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        log::info(lcGlobalHotkeyManager(), QStringLiteral("Global hotkeys are off: no X11 display"));
        return std::make_unique<NullGlobalHotkeyManager>();
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        log::info(lcGlobalHotkeyManager(), QStringLiteral("Global hotkeys are off: no X11 display"));
        return std::make_unique<NullGlobalHotkeyManager>();
    }
    return std::make_unique<X11GlobalHotkeyManager>(connection, screens.data->root);
}

} // namespace palaverly
