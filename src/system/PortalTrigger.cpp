#include "system/PortalTrigger.h"

#include "system/KeyCodeTable.h"

#include <QStringList>
#include <memory>
#include <xkbcommon/xkbcommon.h>

namespace palaverly {

namespace {

struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};

// The keys are named by the physical key, as our key numbering means it, so always through the US
// layout whatever the user's layout is: the R key is "r" for a Russian user too, and the desktop
// shows it in the user's layout itself.
xkb_keymap* usKeymap()
{
    static const std::unique_ptr<xkb_keymap, KeymapDeleter> keymap = [] {
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        if (!context)
            return std::unique_ptr<xkb_keymap, KeymapDeleter>();
        const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        std::unique_ptr<xkb_keymap, KeymapDeleter> made(
            xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
        xkb_context_unref(context);
        return made;
    }();
    return keymap.get();
}

QString keysymName(quint32 virtualKeyCode)
{
    const auto key = keycodes::toX11(virtualKeyCode);
    xkb_keymap* keymap = usKeymap();
    if (!key || !keymap)
        return {};
    const xkb_keysym_t* symbols = nullptr;
    if (xkb_keymap_key_get_syms_by_level(keymap, *key, 0, 0, &symbols) < 1)
        return {};
    char name[64] = {};
    if (xkb_keysym_get_name(symbols[0], name, sizeof name) <= 0)
        return {};
    return QString::fromLatin1(name);
}

} // namespace

QString portalTrigger(const HotkeyConfig& hotkey)
{
    if (!hotkey.isAssigned())
        return {};
    const QString key = keysymName(hotkey.keyCode);
    if (key.isEmpty())
        return {};
    QStringList parts;
    if (hotkey.modifiers & HotkeyConfig::kCommand)
        parts << QStringLiteral("CTRL");
    if (hotkey.modifiers & HotkeyConfig::kOption)
        parts << QStringLiteral("ALT");
    if (hotkey.modifiers & HotkeyConfig::kShift)
        parts << QStringLiteral("SHIFT");
    if (hotkey.modifiers & HotkeyConfig::kControl)
        parts << QStringLiteral("LOGO");
    parts << key;
    return parts.join(QLatin1Char('+'));
}

} // namespace palaverly
