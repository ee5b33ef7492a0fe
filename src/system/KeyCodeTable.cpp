#include "system/KeyCodeTable.h"

#include <array>
#include <utility>

namespace palaverly::keycodes {

namespace {

constexpr quint32 kEvdevToX11 = 8;

struct KeyPair {
    quint32 virtualKeyCode;
    quint32 evdev;
};

// Mac virtual key code -> evdev code (linux/input-event-codes.h), one row per physical key.
constexpr std::array kTable{
    // letters
    KeyPair{0x00, 30}, // A
    KeyPair{0x01, 31}, // S
    KeyPair{0x02, 32}, // D
    KeyPair{0x03, 33}, // F
    KeyPair{0x04, 35}, // H
    KeyPair{0x05, 34}, // G
    KeyPair{0x06, 44}, // Z
    KeyPair{0x07, 45}, // X
    KeyPair{0x08, 46}, // C
    KeyPair{0x09, 47}, // V
    KeyPair{0x0B, 48}, // B
    KeyPair{0x0C, 16}, // Q
    KeyPair{0x0D, 17}, // W
    KeyPair{0x0E, 18}, // E
    KeyPair{0x0F, 19}, // R
    KeyPair{0x10, 21}, // Y
    KeyPair{0x11, 20}, // T
    KeyPair{0x1F, 24}, // O
    KeyPair{0x20, 22}, // U
    KeyPair{0x22, 23}, // I
    KeyPair{0x23, 25}, // P
    KeyPair{0x25, 38}, // L
    KeyPair{0x26, 36}, // J
    KeyPair{0x28, 37}, // K
    KeyPair{0x2D, 49}, // N
    KeyPair{0x2E, 50}, // M
    // digit row
    KeyPair{0x12, 2}, // 1
    KeyPair{0x13, 3}, // 2
    KeyPair{0x14, 4}, // 3
    KeyPair{0x15, 5}, // 4
    KeyPair{0x17, 6}, // 5
    KeyPair{0x16, 7}, // 6
    KeyPair{0x1A, 8}, // 7
    KeyPair{0x1C, 9}, // 8
    KeyPair{0x19, 10}, // 9
    KeyPair{0x1D, 11}, // 0
    KeyPair{0x1B, 12}, // Minus
    KeyPair{0x18, 13}, // Equal
    // punctuation
    KeyPair{0x21, 26}, // Left bracket
    KeyPair{0x1E, 27}, // Right bracket
    KeyPair{0x29, 39}, // Semicolon
    KeyPair{0x27, 40}, // Quote
    KeyPair{0x32, 41}, // Grave (left of 1 on ANSI keyboards)
    KeyPair{0x2A, 43}, // Backslash
    KeyPair{0x2B, 51}, // Comma
    KeyPair{0x2F, 52}, // Period
    KeyPair{0x2C, 53}, // Slash
    KeyPair{0x0A, 86}, // ISO section: the extra key next to the left Shift
    KeyPair{0x5D, 124}, // JIS Yen
    KeyPair{0x5E, 89}, // JIS underscore (Ro)
    // editing
    KeyPair{0x24, 28}, // Return
    KeyPair{0x30, 15}, // Tab
    KeyPair{0x31, 57}, // Space
    KeyPair{0x33, 14}, // Delete (backspace)
    KeyPair{0x35, 1}, // Escape
    KeyPair{0x75, 111}, // Forward delete
    KeyPair{0x72, 110}, // Help, where a PC keyboard has Insert
    KeyPair{0x6E, 127}, // Context menu
    // modifiers (command = Ctrl, option = Alt, control = Super)
    KeyPair{0x37, 29}, // Command: left Ctrl
    KeyPair{0x36, 97}, // Right command: right Ctrl
    KeyPair{0x3A, 56}, // Option: left Alt
    KeyPair{0x3D, 100}, // Right option: right Alt
    KeyPair{0x3B, 125}, // Control: left Super
    KeyPair{0x3E, 126}, // Right control: right Super
    KeyPair{0x38, 42}, // Shift
    KeyPair{0x3C, 54}, // Right shift
    KeyPair{0x39, 58}, // Caps lock
    // function keys
    KeyPair{0x7A, 59}, // F1
    KeyPair{0x78, 60}, // F2
    KeyPair{0x63, 61}, // F3
    KeyPair{0x76, 62}, // F4
    KeyPair{0x60, 63}, // F5
    KeyPair{0x61, 64}, // F6
    KeyPair{0x62, 65}, // F7
    KeyPair{0x64, 66}, // F8
    KeyPair{0x65, 67}, // F9
    KeyPair{0x6D, 68}, // F10
    KeyPair{0x67, 87}, // F11
    KeyPair{0x6F, 88}, // F12
    KeyPair{0x69, 183}, // F13
    KeyPair{0x6B, 184}, // F14
    KeyPair{0x71, 185}, // F15
    KeyPair{0x6A, 186}, // F16
    KeyPair{0x40, 187}, // F17
    KeyPair{0x4F, 188}, // F18
    KeyPair{0x50, 189}, // F19
    KeyPair{0x5A, 190}, // F20
    // navigation
    KeyPair{0x73, 102}, // Home
    KeyPair{0x77, 107}, // End
    KeyPair{0x74, 104}, // Page up
    KeyPair{0x79, 109}, // Page down
    KeyPair{0x7B, 105}, // Left
    KeyPair{0x7C, 106}, // Right
    KeyPair{0x7D, 108}, // Down
    KeyPair{0x7E, 103}, // Up
    // keypad
    KeyPair{0x52, 82}, // 0
    KeyPair{0x53, 79}, // 1
    KeyPair{0x54, 80}, // 2
    KeyPair{0x55, 81}, // 3
    KeyPair{0x56, 75}, // 4
    KeyPair{0x57, 76}, // 5
    KeyPair{0x58, 77}, // 6
    KeyPair{0x59, 71}, // 7
    KeyPair{0x5B, 72}, // 8
    KeyPair{0x5C, 73}, // 9
    KeyPair{0x41, 83}, // Decimal
    KeyPair{0x43, 55}, // Multiply
    KeyPair{0x45, 78}, // Plus
    KeyPair{0x4E, 74}, // Minus
    KeyPair{0x4B, 98}, // Divide
    KeyPair{0x4C, 96}, // Enter
    KeyPair{0x51, 117}, // Equals
    KeyPair{0x47, 69}, // Clear, where a PC keyboard has Num Lock
    KeyPair{0x5F, 95}, // JIS keypad comma
    // media
    KeyPair{0x48, 115}, // Volume up
    KeyPair{0x49, 114}, // Volume down
    KeyPair{0x4A, 113}, // Mute
};

} // namespace

std::optional<quint32> toX11(quint32 virtualKeyCode)
{
    for (const KeyPair& pair : kTable)
        if (pair.virtualKeyCode == virtualKeyCode)
            return pair.evdev + kEvdevToX11;
    return std::nullopt;
}

std::optional<quint32> fromX11(quint32 x11KeyCode)
{
    for (const KeyPair& pair : kTable)
        if (pair.evdev + kEvdevToX11 == x11KeyCode)
            return pair.virtualKeyCode;
    return std::nullopt;
}

} // namespace palaverly::keycodes
