#include "system/PermissionsSnapshot.h"

#include "system/SessionInput.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"
#include "system/SystemSettingsPage.h"

#include <QPointer>
#include <QSettings>
#include <QStandardPaths>

namespace palaverly {

PermissionsSnapshot::PermissionsSnapshot(QSettings& store, QObject* parent)
    : PermissionsSnapshot(store, Probes{SoundServerProbe::create(), SyntheticInputProbe::create()}, parent)
{
}

PermissionsSnapshot::PermissionsSnapshot(QSettings& store, Probes probes, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_probes(std::move(probes))
{
    if (!m_probes.sound)
        m_probes.sound = std::make_unique<NullSoundServerProbe>();
    if (!m_probes.input)
        m_probes.input = std::make_unique<NullSyntheticInputProbe>();
    const States states = readStates();
    m_microphone = states.microphone;
    m_screenRecording = states.screenRecording;
    m_accessibility = states.accessibility;
    // The portals answer later, on their own.
    if (m_probes.session)
        connect(m_probes.session, &SessionInput::changed, this, &PermissionsSnapshot::refreshAccessibility);
}

bool PermissionsSnapshot::portalSession() const
{
    return m_probes.session && m_probes.session->state().session == SessionType::wayland;
}

PermissionStatus PermissionsSnapshot::readAccessibility() const
{
    if (portalSession())
        return m_probes.session->accessibility();
    return withPromptFlag(m_probes.input->available(), kHasPromptedAccessibilityKey);
}

void PermissionsSnapshot::refreshAccessibility()
{
    if (const PermissionStatus status = readAccessibility(); status != m_accessibility) {
        m_accessibility = status;
        emit accessibilityChanged(m_accessibility);
    }
}

PermissionsSnapshot::~PermissionsSnapshot() = default;

bool PermissionsSnapshot::flag(const char* key) const
{
    // QSettings' INI files hand a stored boolean back as the text "true".
    const QVariant value = m_store.value(key);
    return value.typeId() == QMetaType::Bool ? value.toBool() : value.toString() == QLatin1String("true");
}

PermissionStatus PermissionsSnapshot::withPromptFlag(bool granted, const char* key) const
{
    if (granted)
        return PermissionStatus::granted;
    return flag(key) ? PermissionStatus::denied : PermissionStatus::notDetermined;
}

PermissionStatus PermissionsSnapshot::status(PermissionKind kind) const
{
    switch (kind) {
    case PermissionKind::microphone:
        return m_microphone;
    case PermissionKind::screenRecording:
        return m_screenRecording;
    case PermissionKind::accessibility:
        return m_accessibility;
    }
    return PermissionStatus::notDetermined;
}

bool PermissionsSnapshot::allGranted() const
{
    return m_microphone == PermissionStatus::granted && m_screenRecording == PermissionStatus::granted
        && m_accessibility == PermissionStatus::granted;
}

PermissionsSnapshot::States PermissionsSnapshot::readStates() const
{
    // There is no per-application microphone prompt: the input either works or needs fixing in
    // the sound settings.
    const SoundServerProbe::Result sound = m_probes.sound->check();
    return {sound.defaultInput ? PermissionStatus::granted : PermissionStatus::denied,
        withPromptFlag(sound.outputMonitor, kHasPromptedScreenRecordingKey), readAccessibility()};
}

void PermissionsSnapshot::refresh()
{
    if (m_probes.session)
        m_probes.session->refresh();
    const States states = readStates();
    if (states.microphone != m_microphone) {
        m_microphone = states.microphone;
        emit microphoneChanged(m_microphone);
    }
    if (states.screenRecording != m_screenRecording) {
        m_screenRecording = states.screenRecording;
        emit screenRecordingChanged(m_screenRecording);
    }
    if (states.accessibility != m_accessibility) {
        m_accessibility = states.accessibility;
        emit accessibilityChanged(m_accessibility);
    }
}

void PermissionsSnapshot::request(PermissionKind kind, std::function<void(PermissionStatus)> done)
{
    bool granted = false;
    switch (kind) {
    case PermissionKind::microphone:
        granted = m_probes.sound->check().defaultInput;
        break;
    case PermissionKind::screenRecording:
        m_store.setValue(kHasPromptedScreenRecordingKey, true);
        m_store.sync();
        granted = m_probes.sound->check().outputMonitor;
        break;
    case PermissionKind::accessibility:
        m_store.setValue(kHasPromptedAccessibilityKey, true);
        m_store.sync();
        if (portalSession()) {
            // The desktop's dialogs answer later; the snapshot may be gone by then.
            m_probes.session->request([self = QPointer<PermissionsSnapshot>(this), done = std::move(done)] {
                if (self && done)
                    done(self->m_probes.session->accessibility());
            });
            return;
        }
        granted = m_probes.input->available();
        break;
    }
    const PermissionStatus result = granted ? PermissionStatus::granted : PermissionStatus::denied;
    QMetaObject::invokeMethod(
        this,
        [done = std::move(done), result] {
            if (done)
                done(result);
        },
        Qt::QueuedConnection);
}

void PermissionsSnapshot::openSystemSettings(PermissionKind kind) const
{
    // In a Wayland session the desktop's own dialogs are where the user allows us keys and
    // the keyboard; they come up again when asked again.
    if (kind == PermissionKind::accessibility && portalSession()) {
        m_probes.session->request({});
        return;
    }
    SystemSettingsPage::forPermission(kind, [](const QString& name) {
        return QStandardPaths::findExecutable(name);
    }).open();
}

} // namespace palaverly
