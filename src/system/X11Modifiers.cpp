#include "system/X11Modifiers.h"

#include "system/HotkeyConfig.h"
#include "system/XcbPtr.h"

namespace palaverly {

namespace {

constexpr xcb_keysym_t kNumLock = 0xff7f;
constexpr xcb_keysym_t kAltL = 0xffe9;
constexpr xcb_keysym_t kAltR = 0xffea;
constexpr xcb_keysym_t kSuperL = 0xffeb;
constexpr xcb_keysym_t kSuperR = 0xffec;

// Shift, Lock and Control have fixed meanings; the five ModN bits are assigned by the keymap.
constexpr int kFirstAssignableModifier = 3;
constexpr int kModifierCount = 8;

} // namespace

X11Modifiers X11Modifiers::query(xcb_connection_t* connection)
{
    X11Modifiers result;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (!setup)
        return result;
    const auto modifierCookie = xcb_get_modifier_mapping(connection);
    const auto firstKey = setup->min_keycode;
    const auto keyCount = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    const auto keyboardCookie = xcb_get_keyboard_mapping(connection, firstKey, keyCount);
    XcbPtr<xcb_get_modifier_mapping_reply_t> modifierMap(
        xcb_get_modifier_mapping_reply(connection, modifierCookie, nullptr));
    XcbPtr<xcb_get_keyboard_mapping_reply_t> keyboardMap(
        xcb_get_keyboard_mapping_reply(connection, keyboardCookie, nullptr));
    if (!modifierMap || !keyboardMap)
        return result;

    const xcb_keycode_t* modifierKeys = xcb_get_modifier_mapping_keycodes(modifierMap.get());
    const int keysPerModifier = modifierMap->keycodes_per_modifier;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(keyboardMap.get());
    const int symbolCount = xcb_get_keyboard_mapping_keysyms_length(keyboardMap.get());
    const int symbolsPerKey = keyboardMap->keysyms_per_keycode;

    uint16_t alt = 0;
    uint16_t super = 0;
    uint16_t numLock = 0;
    for (int modifier = kFirstAssignableModifier; modifier < kModifierCount; ++modifier) {
        const auto bit = static_cast<uint16_t>(1u << modifier);
        for (int k = 0; k < keysPerModifier; ++k) {
            const xcb_keycode_t key = modifierKeys[modifier * keysPerModifier + k];
            if (key < firstKey)
                continue;
            for (int level = 0; level < symbolsPerKey; ++level) {
                const int index = (key - firstKey) * symbolsPerKey + level;
                if (index >= symbolCount)
                    break;
                switch (symbols[index]) {
                case kNumLock:
                    numLock |= bit;
                    break;
                case kAltL:
                case kAltR:
                    alt |= bit;
                    break;
                case kSuperL:
                case kSuperR:
                    super |= bit;
                    break;
                default:
                    break;
                }
            }
        }
    }
    if (alt)
        result.alt = alt;
    if (super)
        result.super = super;
    if (numLock)
        result.numLock = numLock;
    return result;
}

uint16_t X11Modifiers::fromCarbon(quint32 carbon) const
{
    uint16_t mask = 0;
    if (carbon & HotkeyConfig::kCommand)
        mask |= XCB_MOD_MASK_CONTROL;
    if (carbon & HotkeyConfig::kOption)
        mask |= alt;
    if (carbon & HotkeyConfig::kControl)
        mask |= super;
    if (carbon & HotkeyConfig::kShift)
        mask |= XCB_MOD_MASK_SHIFT;
    return mask;
}

quint32 X11Modifiers::toCarbon(uint16_t state) const
{
    quint32 carbon = 0;
    if (state & XCB_MOD_MASK_CONTROL)
        carbon |= HotkeyConfig::kCommand;
    if (state & alt)
        carbon |= HotkeyConfig::kOption;
    if (state & super)
        carbon |= HotkeyConfig::kControl;
    if (state & XCB_MOD_MASK_SHIFT)
        carbon |= HotkeyConfig::kShift;
    return carbon;
}

uint16_t X11Modifiers::significant() const
{
    return static_cast<uint16_t>(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | alt | super);
}

std::array<uint16_t, 4> X11Modifiers::lockVariants() const
{
    return {0, XCB_MOD_MASK_LOCK, numLock, static_cast<uint16_t>(XCB_MOD_MASK_LOCK | numLock)};
}

} // namespace palaverly
