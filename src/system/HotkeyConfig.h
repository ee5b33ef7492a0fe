#pragma once

#include <QByteArray>
#include <QHashFunctions>
#include <QMetaType>
#include <QString>
#include <Qt>
#include <cstdint>
#include <functional>
#include <optional>

class QKeyEvent;

namespace palaverly {

class KeyboardLayout;

// One keyboard shortcut: a physical key in the Mac virtual key numbering (15 = R, 45 = N,
// 49 = Space; see KeyCodeTable.h) and a Carbon modifier mask. Key code 0 means "no shortcut".
// The Carbon bits map onto a PC keyboard the way Qt maps a Mac one: command = Ctrl,
// option = Alt, control = Meta (Super), shift = Shift.
struct HotkeyConfig {
    static constexpr quint32 kCommand = 256;
    static constexpr quint32 kShift = 512;
    static constexpr quint32 kOption = 2048;
    static constexpr quint32 kControl = 4096;

    quint32 keyCode = 0;
    quint32 modifiers = 0;

    friend bool operator==(const HotkeyConfig&, const HotkeyConfig&) = default;

    bool isAssigned() const { return keyCode != 0; }

    // The shortcut as menus on Linux show it: "Ctrl+Alt+R", "Ctrl+.", "Meta+Shift+Space" (the
    // modifiers in the toolkit's order and words, then keyName(keyCode)); empty when the key code
    // is 0. Main thread (reads the session's keyboard layout).
    QString displayString() const;
    QString displayString(KeyboardLayout* layout) const;

    // Display name of a key: the toolkit's names of the special keys ("Return", "Tab", "Space",
    // "Left", "F1", ...), otherwise the key's unshifted symbol in the current keyboard layout,
    // upper case; "?" when there is no layout, no symbol, or the code is beyond 16 bits.
    // Main thread.
    static QString keyName(quint32 code);
    static QString keyName(quint32 code, KeyboardLayout* layout);
    // The toolkit's key of a special key (Return, Tab, arrows, F1-F12, ...); Qt::Key_unknown for
    // the keys named by the layout.
    static Qt::Key specialKey(quint32 code);

    // Builds a value from a key press of the toolkit: the native (X11/xkb) key code translated
    // to our numbering (0 for a key outside the table) and Ctrl/Alt/Meta/Shift translated to
    // command/option/control/shift. Keypad, lock and group-switch states are dropped.
    static HotkeyConfig fromKeyEvent(const QKeyEvent& event);
    static HotkeyConfig fromNative(quint32 nativeKeyCode, Qt::KeyboardModifiers modifiers);

    // Carbon mask -> Qt modifiers (command -> Ctrl, option -> Alt, control -> Meta, shift -> Shift).
    Qt::KeyboardModifiers menuModifierFlags() const;
    static quint32 carbonModifiers(Qt::KeyboardModifiers modifiers);

    // The compact JSON object {"keyCode":..,"modifiers":..}. Decoding needs both members as
    // integers that fit in 32 unsigned bits; anything else gives nothing.
    QByteArray toJson() const;
    static std::optional<HotkeyConfig> fromJson(const QByteArray& json);
};

inline size_t qHash(const HotkeyConfig& config, size_t seed = 0) noexcept
{
    return qHashMulti(seed, config.keyCode, config.modifiers);
}

} // namespace palaverly

Q_DECLARE_METATYPE(palaverly::HotkeyConfig)

template <> struct std::hash<palaverly::HotkeyConfig> {
    size_t operator()(const palaverly::HotkeyConfig& config) const noexcept { return palaverly::qHash(config); }
};
