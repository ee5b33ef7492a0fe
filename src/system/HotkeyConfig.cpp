#include "system/HotkeyConfig.h"

#include "system/KeyCodeTable.h"
#include "system/KeyboardLayout.h"

#include <QKeyEvent>
#include <array>
#include <limits>
#include <nlohmann/json.hpp>

namespace palaverly {

namespace {

struct SpecialKey {
    quint32 code;
    const char* name;
};

constexpr std::array kSpecialKeys{
    SpecialKey{36, "⏎"},
    SpecialKey{48, "⇥"},
    SpecialKey{49, "Space"},
    SpecialKey{51, "⌫"},
    SpecialKey{53, "⎋"},
    SpecialKey{96, "F5"},
    SpecialKey{97, "F6"},
    SpecialKey{98, "F7"},
    SpecialKey{99, "F3"},
    SpecialKey{100, "F8"},
    SpecialKey{101, "F9"},
    SpecialKey{103, "F11"},
    SpecialKey{109, "F10"},
    SpecialKey{111, "F12"},
    SpecialKey{115, "↖"},
    SpecialKey{116, "⇞"},
    SpecialKey{117, "⌦"},
    SpecialKey{118, "F4"},
    SpecialKey{119, "↘"},
    SpecialKey{120, "F2"},
    SpecialKey{121, "⇟"},
    SpecialKey{122, "F1"},
    SpecialKey{123, "←"},
    SpecialKey{124, "→"},
    SpecialKey{125, "↓"},
    SpecialKey{126, "↑"},
};

constexpr quint32 kLargestKeyCode = 0xFFFF;

// The names that do not depend on the layout: special keys, and "?" for codes no key produces.
std::optional<QString> fixedName(quint32 code)
{
    for (const SpecialKey& key : kSpecialKeys)
        if (key.code == code)
            return QString::fromUtf8(key.name);
    if (code > kLargestKeyCode)
        return QStringLiteral("?");
    return std::nullopt;
}

std::optional<quint32> readUInt32(const nlohmann::json& object, const char* member)
{
    const auto it = object.find(member);
    if (it == object.end())
        return std::nullopt;
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value <= std::numeric_limits<quint32>::max())
            return static_cast<quint32>(value);
        return std::nullopt;
    }
    if (it->is_number_integer())
        return std::nullopt; // negative
    if (it->is_number_float()) {
        // 15.0 is accepted as 15, the way a strict numeric decoder reads an exact integral value.
        const double value = it->get<double>();
        if (value >= 0 && value <= std::numeric_limits<quint32>::max() && value == static_cast<quint32>(value))
            return static_cast<quint32>(value);
    }
    return std::nullopt;
}

} // namespace

QString HotkeyConfig::displayString() const
{
    if (keyCode == 0)
        return {};
    return displayString(&KeyboardLayout::session());
}

QString HotkeyConfig::displayString(KeyboardLayout* layout) const
{
    if (keyCode == 0)
        return {};
    QString text;
    if (modifiers & kControl)
        text += QStringLiteral("⌃");
    if (modifiers & kOption)
        text += QStringLiteral("⌥");
    if (modifiers & kShift)
        text += QStringLiteral("⇧");
    if (modifiers & kCommand)
        text += QStringLiteral("⌘");
    return text + keyName(keyCode, layout);
}

QString HotkeyConfig::keyName(quint32 code)
{
    if (const auto name = fixedName(code))
        return *name;
    return keyName(code, &KeyboardLayout::session());
}

QString HotkeyConfig::keyName(quint32 code, KeyboardLayout* layout)
{
    if (const auto name = fixedName(code))
        return *name;
    const std::optional<QString> text = layout ? layout->unshiftedText(code) : std::nullopt;
    if (!text || text->isEmpty())
        return QStringLiteral("?");
    return text->toUpper();
}

HotkeyConfig HotkeyConfig::fromKeyEvent(const QKeyEvent& event)
{
    return fromNative(event.nativeScanCode(), event.modifiers());
}

HotkeyConfig HotkeyConfig::fromNative(quint32 nativeKeyCode, Qt::KeyboardModifiers modifiers)
{
    return HotkeyConfig{keycodes::fromX11(nativeKeyCode).value_or(0), carbonModifiers(modifiers)};
}

quint32 HotkeyConfig::carbonModifiers(Qt::KeyboardModifiers modifiers)
{
    quint32 mask = 0;
    if (modifiers & Qt::ControlModifier)
        mask |= kCommand;
    if (modifiers & Qt::AltModifier)
        mask |= kOption;
    if (modifiers & Qt::MetaModifier)
        mask |= kControl;
    if (modifiers & Qt::ShiftModifier)
        mask |= kShift;
    return mask;
}

Qt::KeyboardModifiers HotkeyConfig::menuModifierFlags() const
{
    Qt::KeyboardModifiers flags;
    if (modifiers & kCommand)
        flags |= Qt::ControlModifier;
    if (modifiers & kOption)
        flags |= Qt::AltModifier;
    if (modifiers & kControl)
        flags |= Qt::MetaModifier;
    if (modifiers & kShift)
        flags |= Qt::ShiftModifier;
    return flags;
}

QByteArray HotkeyConfig::toJson() const
{
    const nlohmann::json object{{"keyCode", keyCode}, {"modifiers", modifiers}};
    return QByteArray::fromStdString(object.dump());
}

std::optional<HotkeyConfig> HotkeyConfig::fromJson(const QByteArray& json)
{
    const nlohmann::json object = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
    if (!object.is_object())
        return std::nullopt;
    const auto code = readUInt32(object, "keyCode");
    const auto mask = readUInt32(object, "modifiers");
    if (!code || !mask)
        return std::nullopt;
    return HotkeyConfig{*code, *mask};
}

} // namespace palaverly
