#include "system/HotkeyConfig.h"

#include "system/KeyCodeTable.h"
#include "system/KeyboardLayout.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QStringList>
#include <array>
#include <limits>
#include <nlohmann/json.hpp>

namespace palaverly {

namespace {

struct SpecialKey {
    quint32 code;
    Qt::Key key;
};

constexpr std::array kSpecialKeys{
    SpecialKey{36, Qt::Key_Return},
    SpecialKey{48, Qt::Key_Tab},
    SpecialKey{49, Qt::Key_Space},
    SpecialKey{51, Qt::Key_Backspace},
    SpecialKey{53, Qt::Key_Escape},
    SpecialKey{96, Qt::Key_F5},
    SpecialKey{97, Qt::Key_F6},
    SpecialKey{98, Qt::Key_F7},
    SpecialKey{99, Qt::Key_F3},
    SpecialKey{100, Qt::Key_F8},
    SpecialKey{101, Qt::Key_F9},
    SpecialKey{103, Qt::Key_F11},
    SpecialKey{109, Qt::Key_F10},
    SpecialKey{111, Qt::Key_F12},
    SpecialKey{115, Qt::Key_Home},
    SpecialKey{116, Qt::Key_PageUp},
    SpecialKey{117, Qt::Key_Delete},
    SpecialKey{118, Qt::Key_F4},
    SpecialKey{119, Qt::Key_End},
    SpecialKey{120, Qt::Key_F2},
    SpecialKey{121, Qt::Key_PageDown},
    SpecialKey{122, Qt::Key_F1},
    SpecialKey{123, Qt::Key_Left},
    SpecialKey{124, Qt::Key_Right},
    SpecialKey{125, Qt::Key_Down},
    SpecialKey{126, Qt::Key_Up},
};

constexpr quint32 kLargestKeyCode = 0xFFFF;

// The names that do not depend on the layout: special keys as the toolkit names them in menus
// ("Return", "PgUp"), and "?" for codes no key produces.
std::optional<QString> fixedName(quint32 code)
{
    if (const Qt::Key key = HotkeyConfig::specialKey(code); key != Qt::Key_unknown)
        return QKeySequence(key).toString(QKeySequence::NativeText);
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
    // The names and the order of the toolkit's menus, so that a menu and a field agree.
    QStringList parts;
    if (modifiers & kControl)
        parts << QCoreApplication::translate("QShortcut", "Meta");
    if (modifiers & kCommand)
        parts << QCoreApplication::translate("QShortcut", "Ctrl");
    if (modifiers & kOption)
        parts << QCoreApplication::translate("QShortcut", "Alt");
    if (modifiers & kShift)
        parts << QCoreApplication::translate("QShortcut", "Shift");
    parts << keyName(keyCode, layout);
    return parts.join(QLatin1Char('+'));
}

Qt::Key HotkeyConfig::specialKey(quint32 code)
{
    for (const SpecialKey& key : kSpecialKeys)
        if (key.code == code)
            return key.key;
    return Qt::Key_unknown;
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
