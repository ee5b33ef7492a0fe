#include "system/PermissionsSnapshot.h"

#include "system/SessionInput.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"
#include "system/SystemSettingsPage.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>

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
        m_probes.sound = std::make_shared<NullSoundServerProbe>();
    if (!m_probes.input)
        m_probes.input = std::make_shared<NullSyntheticInputProbe>();
    if (!m_probes.lastReading)
        m_probes.lastReading = std::make_shared<std::optional<Reading>>();
    const States states = statesOf(*m_probes.lastReading);
    m_microphone = states.microphone;
    m_screenRecording = states.screenRecording;
    m_accessibility = states.accessibility;
    // The portals answer later, on their own.
    if (m_probes.session)
        connect(m_probes.session, &SessionInput::changed, this, &PermissionsSnapshot::refreshAccessibility);
    refresh();
}

bool PermissionsSnapshot::portalSession() const
{
    return m_probes.session && m_probes.session->state().session == SessionType::wayland;
}

PermissionStatus PermissionsSnapshot::accessibilityOf(const std::optional<Reading>& reading) const
{
    if (portalSession())
        return m_probes.session->accessibility();
    return withPromptFlag(reading && reading->syntheticInput, kHasPromptedAccessibilityKey);
}

void PermissionsSnapshot::refreshAccessibility()
{
    if (const PermissionStatus status = accessibilityOf(*m_probes.lastReading); status != m_accessibility) {
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

PermissionsSnapshot::States PermissionsSnapshot::statesOf(const std::optional<Reading>& reading) const
{
    // There is no per-application microphone prompt: the input either works or needs fixing in
    // the sound settings. Before the first answer nothing is known about it.
    const PermissionStatus microphone = !reading ? PermissionStatus::notDetermined
        : reading->defaultInput                  ? PermissionStatus::granted
                                                 : PermissionStatus::denied;
    return {microphone, withPromptFlag(reading && reading->outputMonitor, kHasPromptedScreenRecordingKey),
        accessibilityOf(reading)};
}

void PermissionsSnapshot::assign(const States& states)
{
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

void PermissionsSnapshot::refresh()
{
    if (m_probes.session)
        m_probes.session->refresh();
    assign(statesOf(*m_probes.lastReading));
    if (m_probing) {
        m_probeAgain = true;
        return;
    }
    m_probing = true;
    probe([this](const Reading&) { probeFinished(); });
}

void PermissionsSnapshot::probeFinished()
{
    m_probing = false;
    assign(statesOf(*m_probes.lastReading));
    if (m_probeAgain) {
        m_probeAgain = false;
        refresh();
    }
}

void PermissionsSnapshot::probe(std::function<void(const Reading&)> answered)
{
    // Posted through the application object, which outlives every snapshot: the guard is read on
    // the main thread only, where the snapshot is destroyed.
    QThreadPool::globalInstance()->start(
        [sound = m_probes.sound, input = m_probes.input, last = m_probes.lastReading,
            guard = QPointer<PermissionsSnapshot>(this), answered = std::move(answered)]() mutable {
            const SoundServerProbe::Result server = sound->check();
            const Reading reading{server.defaultInput, server.outputMonitor, input->available()};
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [last = std::move(last), guard = std::move(guard), answered = std::move(answered), reading] {
                    *last = reading;
                    if (guard)
                        answered(reading);
                },
                Qt::QueuedConnection);
        });
}

void PermissionsSnapshot::request(PermissionKind kind, std::function<void(PermissionStatus)> done)
{
    if (kind == PermissionKind::screenRecording || kind == PermissionKind::accessibility) {
        m_store.setValue(
            kind == PermissionKind::screenRecording ? kHasPromptedScreenRecordingKey : kHasPromptedAccessibilityKey,
            true);
        m_store.sync();
        if (kind == PermissionKind::accessibility && portalSession()) {
            // The desktop's dialogs answer later; the snapshot may be gone by then.
            m_probes.session->request([self = QPointer<PermissionsSnapshot>(this), done = std::move(done)] {
                if (self && done)
                    done(self->m_probes.session->accessibility());
            });
            return;
        }
    }
    probe([kind, done = std::move(done)](const Reading& reading) {
        const bool granted = kind == PermissionKind::microphone ? reading.defaultInput
            : kind == PermissionKind::screenRecording           ? reading.outputMonitor
                                                                : reading.syntheticInput;
        if (done)
            done(granted ? PermissionStatus::granted : PermissionStatus::denied);
    });
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
