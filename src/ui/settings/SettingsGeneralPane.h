#pragma once

#include <QWidget>
#include <map>

class QCheckBox;
class QLabel;
class QPushButton;

namespace palaverly {

class AppSettings;
class AutostartEntry;
class PermissionsSnapshot;
class ShortcutRecorderField;

// The "Общие" pane: the three global hotkeys, the dictation hotkey with the accessibility state,
// the automatic update check, and whether the program starts at login. In a Wayland session each
// hotkey also shows the trigger the desktop gave it, which the user may have changed there. Every control writes
// its setting at once and follows changes made elsewhere. Main thread; the objects passed in
// must outlive the pane.
class SettingsGeneralPane : public QWidget {
    Q_OBJECT
public:
    SettingsGeneralPane(
        AppSettings& settings, PermissionsSnapshot& snapshot, AutostartEntry& autostart, QWidget* parent = nullptr);

    ShortcutRecorderField* meetingField() const { return m_meeting; }
    ShortcutRecorderField* noteField() const { return m_note; }
    ShortcutRecorderField* stopField() const { return m_stop; }
    ShortcutRecorderField* dictationField() const { return m_dictation; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void updateAccessibility();
    QWidget* withDesktopTrigger(ShortcutRecorderField* field, const char* shortcutId);
    void updateDesktopTriggers();
    void setAutostart(bool enabled);

    AppSettings& m_settings;
    PermissionsSnapshot& m_snapshot;
    AutostartEntry& m_autostart;
    ShortcutRecorderField* m_meeting = nullptr;
    ShortcutRecorderField* m_note = nullptr;
    ShortcutRecorderField* m_stop = nullptr;
    ShortcutRecorderField* m_dictation = nullptr;
    QLabel* m_accessibilityIcon = nullptr;
    QLabel* m_accessibilityText = nullptr;
    QPushButton* m_accessibilityButton = nullptr;
    QCheckBox* m_autoCheck = nullptr;
    QCheckBox* m_autostartBox = nullptr;
    QLabel* m_autostartError = nullptr;
    std::map<QString, QLabel*> m_desktopTriggers; // by portal shortcut id
};

} // namespace palaverly
