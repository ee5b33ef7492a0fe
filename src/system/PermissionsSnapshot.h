#pragma once

#include "system/Permissions.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class QSettings;

namespace palaverly {

class SessionInput;
class SoundServerProbe;
class SyntheticInputProbe;

// The observable state of the three permissions. The probes behind it wait on the sound server
// and the display (up to two seconds each when one of them hangs), so they run on a worker thread:
// the snapshot shows the last known answer at once and changes when the probe answers. Each
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

    // What one round of the probes found.
    struct Reading {
        bool defaultInput = false;
        bool outputMonitor = false;
        bool syntheticInput = false;
    };

    // Missing probes answer "no". The probes are used from worker threads, one round at a time
    // per snapshot; a round outlives a snapshot destroyed meanwhile.
    struct Probes {
        std::shared_ptr<SoundServerProbe> sound;
        std::shared_ptr<SyntheticInputProbe> input;
        // How keys and the paste work in this session; must outlive the snapshot. In a Wayland
        // session accessibility follows its portals and a request asks them; the views also list
        // what works here from it. May be null.
        SessionInput* session = nullptr;
        // The last answer of these probes, shared by the snapshots made over them, so that a
        // window opened later starts from it. Empty until the first answer. Main thread.
        std::shared_ptr<std::optional<Reading>> lastReading;
    };

    // Probes of the session's sound server and display.
    explicit PermissionsSnapshot(QSettings& store, QObject* parent = nullptr);
    // `store` must outlive the snapshot. Starts with the last known reading (without one, nothing
    // counts as granted) and probes at once.
    PermissionsSnapshot(QSettings& store, Probes probes, QObject* parent = nullptr);
    ~PermissionsSnapshot() override;

    PermissionStatus microphone() const { return m_microphone; }
    PermissionStatus screenRecording() const { return m_screenRecording; }
    PermissionStatus accessibility() const { return m_accessibility; }

    PermissionStatus status(PermissionKind kind) const;
    SessionInput* sessionInput() const { return m_probes.session; }
    bool allGranted() const;

    // Applies the prompt flags to the last reading at once, then probes again and assigns the
    // states that changed when the answer comes. A refresh while a probe runs asks for one more
    // round after it, not for a round of its own.
    void refresh();
    // A probe round is under way.
    bool isProbing() const { return m_probing; }

    // Asks for a permission: records that screen recording or accessibility was asked for, probes
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
    States statesOf(const std::optional<Reading>& reading) const;
    void assign(const States& states);
    bool portalSession() const;
    PermissionStatus accessibilityOf(const std::optional<Reading>& reading) const;
    void refreshAccessibility();
    bool flag(const char* key) const;
    PermissionStatus withPromptFlag(bool granted, const char* key) const;
    // Runs one round of the probes on a worker thread; `answered` gets the reading on the main
    // thread, after it has become the last reading, unless the snapshot is gone by then.
    void probe(std::function<void(const Reading&)> answered);
    void probeFinished();

    QSettings& m_store;
    Probes m_probes;
    bool m_probing = false;
    bool m_probeAgain = false;
    PermissionStatus m_microphone = PermissionStatus::notDetermined;
    PermissionStatus m_screenRecording = PermissionStatus::notDetermined;
    PermissionStatus m_accessibility = PermissionStatus::notDetermined;
};

} // namespace palaverly
