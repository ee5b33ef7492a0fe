#pragma once

#include "system/Permissions.h"

#include <QObject>
#include <functional>
#include <memory>

class QSettings;

namespace palaverly {

class SessionInput;
class SoundServerProbe;
class SyntheticInputProbe;

// The observable state of the three permissions, read at creation and on refresh(). Each
// property notifies only when its value changes. Screen recording and accessibility cannot tell
// "refused" from "never asked" by themselves; the two "has prompted" flags in the settings store,
// set by request(), make the difference. Main thread only.
class PermissionsSnapshot : public QObject {
    Q_OBJECT
    Q_PROPERTY(palaverly::PermissionStatus microphone READ microphone NOTIFY microphoneChanged)
    Q_PROPERTY(palaverly::PermissionStatus screenRecording READ screenRecording NOTIFY screenRecordingChanged)
    Q_PROPERTY(palaverly::PermissionStatus accessibility READ accessibility NOTIFY accessibilityChanged)
public:
    static constexpr char kHasPromptedScreenRecordingKey[] = "permissions.hasPromptedScreenRecording";
    static constexpr char kHasPromptedAccessibilityKey[] = "permissions.hasPromptedAccessibility";

    struct Probes {
        std::unique_ptr<SoundServerProbe> sound;
        std::unique_ptr<SyntheticInputProbe> input;
        // How keys and the paste work in this session; must outlive the snapshot. In a Wayland
        // session accessibility follows its portals and a request asks them; the views also list
        // what works here from it. May be null.
        SessionInput* session = nullptr;
    };

    // Probes of the session's sound server and display.
    explicit PermissionsSnapshot(QSettings& store, QObject* parent = nullptr);
    // `store` must outlive the snapshot. Creation blocks for the probes (see SoundServerProbe).
    PermissionsSnapshot(QSettings& store, Probes probes, QObject* parent = nullptr);
    ~PermissionsSnapshot() override;

    PermissionStatus microphone() const { return m_microphone; }
    PermissionStatus screenRecording() const { return m_screenRecording; }
    PermissionStatus accessibility() const { return m_accessibility; }

    PermissionStatus status(PermissionKind kind) const;
    SessionInput* sessionInput() const { return m_probes.session; }
    bool allGranted() const;

    // Reads the three states again and assigns those that changed.
    void refresh();

    // Asks for a permission: records that screen recording or accessibility was asked for, checks
    // again and passes granted or denied to `done`, later on the main thread (not if the snapshot
    // is destroyed first). The snapshot's own properties are left alone; callers refresh().
    void request(PermissionKind kind, std::function<void(PermissionStatus)> done);

    // Opens the desktop's sound settings (microphone, system sound) or our help page; in a
    // Wayland session asks the desktop's portals again for accessibility.
    void openSystemSettings(PermissionKind kind) const;

signals:
    void microphoneChanged(palaverly::PermissionStatus status);
    void screenRecordingChanged(palaverly::PermissionStatus status);
    void accessibilityChanged(palaverly::PermissionStatus status);

private:
    struct States {
        PermissionStatus microphone;
        PermissionStatus screenRecording;
        PermissionStatus accessibility;
    };
    States readStates() const;
    bool portalSession() const;
    PermissionStatus readAccessibility() const;
    void refreshAccessibility();
    bool flag(const char* key) const;
    PermissionStatus withPromptFlag(bool granted, const char* key) const;

    QSettings& m_store;
    Probes m_probes;
    PermissionStatus m_microphone = PermissionStatus::notDetermined;
    PermissionStatus m_screenRecording = PermissionStatus::notDetermined;
    PermissionStatus m_accessibility = PermissionStatus::notDetermined;
};

} // namespace palaverly
