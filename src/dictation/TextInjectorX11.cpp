#include "dictation/TextInjector.h"

#include "system/KeyCodeTable.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <vector>

namespace palaverly {

namespace {

constexpr quint32 kVirtualKeyV = 9;

bool isPressed(const char (&keys)[32], KeyCode code)
{
    return (keys[code / 8] >> (code % 8)) & 1;
}

// Lock keys toggle a state when pressed; sending them again would flip Caps Lock or Num Lock.
bool isLockKey(Display* display, KeyCode code)
{
    switch (XkbKeycodeToKeysym(display, code, 0, 0)) {
    case XK_Caps_Lock:
    case XK_Shift_Lock:
    case XK_Num_Lock:
    case XK_Scroll_Lock:
        return true;
    default:
        return false;
    }
}

// The modifier keys that are down at this moment (Shift, Ctrl, Alt, Super, AltGr...).
std::vector<KeyCode> heldModifierKeys(Display* display)
{
    std::vector<KeyCode> held;
    char keys[32] = {};
    XQueryKeymap(display, keys);
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map)
        return held;
    for (int modifier = 0; modifier < 8; ++modifier) {
        if (modifier == LockMapIndex)
            continue;
        for (int k = 0; k < map->max_keypermod; ++k) {
            const KeyCode code = map->modifiermap[modifier * map->max_keypermod + k];
            if (code != 0 && isPressed(keys, code) && !isLockKey(display, code)
                && std::find(held.begin(), held.end(), code) == held.end())
                held.push_back(code);
        }
    }
    XFreeModifiermap(map);
    return held;
}

// The key that gives "v" in the current layout, else the physical V key (a Cyrillic layout has
// "м" there, and toolkits match Ctrl+V on it through its Latin fallback).
KeyCode pasteKey(Display* display)
{
    if (const KeyCode code = XKeysymToKeycode(display, XK_v))
        return code;
    if (const auto code = keycodes::toX11(kVirtualKeyV))
        return static_cast<KeyCode>(*code);
    return 0;
}

// XTest on the display of the session. A new connection per paste, so a display that went away
// and came back (a restarted session) does not leave a dead connection behind.
class XTestKeySender final : public TextInjector::KeySender {
public:
    explicit XTestKeySender(QByteArray displayName)
        : m_displayName(std::move(displayName))
    {
    }

    void sendPaste(Done done) override
    {
        if (!post()) {
            done(Failure{QStringLiteral("Failed to open XTest for paste"),
                QStringLiteral("X-сервер не даёт нажимать клавиши: нет расширения XTest.")});
            return;
        }
        done(std::nullopt);
    }

private:
    bool post()
    {
        Display* display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
        if (!display)
            return false;
        int eventBase = 0;
        int errorBase = 0;
        int major = 0;
        int minor = 0;
        if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
            XCloseDisplay(display);
            return false;
        }
        const std::vector<KeyCode> held = heldModifierKeys(display);
        for (KeyCode code : held)
            XTestFakeKeyEvent(display, code, False, CurrentTime);

        const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
        const KeyCode v = pasteKey(display);
        // A key the keymap lacks is skipped, as an event that cannot be made.
        if (control)
            XTestFakeKeyEvent(display, control, True, CurrentTime);
        if (v) {
            XTestFakeKeyEvent(display, v, True, CurrentTime);
            XTestFakeKeyEvent(display, v, False, CurrentTime);
        }
        if (control)
            XTestFakeKeyEvent(display, control, False, CurrentTime);

        for (KeyCode code : held)
            XTestFakeKeyEvent(display, code, True, CurrentTime);
        XSync(display, False);
        XCloseDisplay(display);
        return true;
    }

    QByteArray m_displayName;
};

} // namespace

std::unique_ptr<TextInjector::KeySender> TextInjector::createKeySender(const QByteArray& displayName)
{
    return std::make_unique<XTestKeySender>(displayName);
}

} // namespace palaverly
