#include "system/AppSettings.h"

#include "system/NotificationCenter.h"

#include <QSettings>

namespace palaverly {

namespace {

// A boolean written by QSettings comes back from the INI file as the text "true" or "false";
// only those two texts count as a boolean, anything else is unreadable.
std::optional<bool> readBool(const QVariant& value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == QLatin1String("true"))
            return true;
        if (text == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

} // namespace

AppSettings::AppSettings(QSettings& store, NotificationCenter& notifications, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_notifications(notifications)
{
    m_autoCheckUpdates = readBool(m_store.value(kAutoCheckUpdatesKey)).value_or(true);
    m_meetingHotkey = loadHotkey(kMeetingHotkeyKey, kDefaultMeetingHotkey);
    m_noteHotkey = loadHotkey(kNoteHotkeyKey, kDefaultNoteHotkey);
    m_stopHotkey = loadHotkey(kStopHotkeyKey, HotkeyConfig{});
    m_dictationHotkey = loadHotkey(kDictationHotkeyKey, HotkeyConfig{});
}

HotkeyConfig AppSettings::loadHotkey(const char* key, HotkeyConfig fallback) const
{
    // Only data (a byte array) holding the JSON object counts; the unreadable value stays in the
    // store untouched until the user assigns this hotkey.
    const QVariant stored = m_store.value(key);
    if (stored.typeId() != QMetaType::QByteArray)
        return fallback;
    return HotkeyConfig::fromJson(stored.toByteArray()).value_or(fallback);
}

void AppSettings::setAutoCheckUpdates(bool value)
{
    const bool changed = value != m_autoCheckUpdates;
    m_autoCheckUpdates = value;
    if (changed)
        emit autoCheckUpdatesChanged(value);
    m_store.setValue(kAutoCheckUpdatesKey, value);
    m_store.sync();
}

void AppSettings::setMeetingHotkey(const HotkeyConfig& value)
{
    assignHotkey(m_meetingHotkey, value, kMeetingHotkeyKey, &AppSettings::meetingHotkeyChanged);
}

void AppSettings::setNoteHotkey(const HotkeyConfig& value)
{
    assignHotkey(m_noteHotkey, value, kNoteHotkeyKey, &AppSettings::noteHotkeyChanged);
}

void AppSettings::setStopHotkey(const HotkeyConfig& value)
{
    assignHotkey(m_stopHotkey, value, kStopHotkeyKey, &AppSettings::stopHotkeyChanged);
}

void AppSettings::setDictationHotkey(const HotkeyConfig& value)
{
    assignHotkey(m_dictationHotkey, value, kDictationHotkeyKey, &AppSettings::dictationHotkeyChanged);
}

void AppSettings::assignHotkey(
    HotkeyConfig& field, const HotkeyConfig& value, const char* key, void (AppSettings::*changed)(const HotkeyConfig&))
{
    const bool differs = value != field;
    field = value;
    if (differs)
        emit(this->*changed)(value);
    m_store.setValue(key, value.toJson());
    m_store.sync();
    m_notifications.post(QString::fromLatin1(notifications::kHotkeysChanged));
}

} // namespace palaverly
