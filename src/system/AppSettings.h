#pragma once

#include "system/HotkeyConfig.h"

#include <QObject>

class QSettings;

namespace palaverly {

class NotificationCenter;

// The user's choices: four hotkeys and the automatic update check. Loaded once from the settings
// store at construction (which writes and posts nothing) and written back on every assignment.
// Each hotkey assignment posts "palaverly.hotkeysChanged" once, changed or not; listeners read the
// new values from here. Main thread only. The store and the centre must outlive this object.
class AppSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool autoCheckUpdates READ autoCheckUpdates WRITE setAutoCheckUpdates NOTIFY autoCheckUpdatesChanged)
    Q_PROPERTY(
        palaverly::HotkeyConfig meetingHotkey READ meetingHotkey WRITE setMeetingHotkey NOTIFY meetingHotkeyChanged)
    Q_PROPERTY(palaverly::HotkeyConfig noteHotkey READ noteHotkey WRITE setNoteHotkey NOTIFY noteHotkeyChanged)
    Q_PROPERTY(palaverly::HotkeyConfig stopHotkey READ stopHotkey WRITE setStopHotkey NOTIFY stopHotkeyChanged)
    Q_PROPERTY(palaverly::HotkeyConfig dictationHotkey READ dictationHotkey WRITE setDictationHotkey NOTIFY
            dictationHotkeyChanged)
public:
    static constexpr char kAutoCheckUpdatesKey[] = "autoCheckUpdates";
    static constexpr char kMeetingHotkeyKey[] = "meetingHotkey";
    static constexpr char kNoteHotkeyKey[] = "noteHotkey";
    static constexpr char kStopHotkeyKey[] = "stopHotkey";
    static constexpr char kDictationHotkeyKey[] = "dictationHotkey";

    static constexpr HotkeyConfig kDefaultMeetingHotkey{15, HotkeyConfig::kCommand | HotkeyConfig::kOption};
    static constexpr HotkeyConfig kDefaultNoteHotkey{45, HotkeyConfig::kCommand | HotkeyConfig::kOption};

    // `store` is the application's QSettings (organisation "palaverly"); tests pass one on a
    // temporary file.
    AppSettings(QSettings& store, NotificationCenter& notifications, QObject* parent = nullptr);

    bool autoCheckUpdates() const { return m_autoCheckUpdates; }
    HotkeyConfig meetingHotkey() const { return m_meetingHotkey; }
    HotkeyConfig noteHotkey() const { return m_noteHotkey; }
    HotkeyConfig stopHotkey() const { return m_stopHotkey; }
    HotkeyConfig dictationHotkey() const { return m_dictationHotkey; }

    void setAutoCheckUpdates(bool value);
    void setMeetingHotkey(const HotkeyConfig& value);
    void setNoteHotkey(const HotkeyConfig& value);
    void setStopHotkey(const HotkeyConfig& value);
    void setDictationHotkey(const HotkeyConfig& value);

signals:
    // Emitted only when the value differs from the previous one.
    void autoCheckUpdatesChanged(bool value);
    void meetingHotkeyChanged(const palaverly::HotkeyConfig& value);
    void noteHotkeyChanged(const palaverly::HotkeyConfig& value);
    void stopHotkeyChanged(const palaverly::HotkeyConfig& value);
    void dictationHotkeyChanged(const palaverly::HotkeyConfig& value);

private:
    HotkeyConfig loadHotkey(const char* key, HotkeyConfig fallback) const;
    void assignHotkey(HotkeyConfig& field, const HotkeyConfig& value, const char* key,
        void (AppSettings::*changed)(const HotkeyConfig&));

    QSettings& m_store;
    NotificationCenter& m_notifications;
    bool m_autoCheckUpdates = true;
    HotkeyConfig m_meetingHotkey;
    HotkeyConfig m_noteHotkey;
    HotkeyConfig m_stopHotkey;
    HotkeyConfig m_dictationHotkey;
};

} // namespace palaverly
