#include "dictation/DictationHotkeyMonitor.h"

#include "common/Log.h"
#include "system/SyntheticInputProbe.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDictationHotkeyMonitor, "DictationHotkeyMonitor")

namespace palaverly {

DictationHotkeyMonitor::DictationHotkeyMonitor(Accessibility access)
    : m_access(std::move(access))
{
    if (!m_access.isTrusted) {
        m_access.isTrusted = [probe = std::shared_ptr<SyntheticInputProbe>(SyntheticInputProbe::create())] {
            return probe->available();
        };
    }
    m_retry.setInterval(kRetryInterval);
    QObject::connect(&m_retry, &QTimer::timeout, &m_context, [this] {
        if (m_hasTap || m_hotkey.keyCode == 0 || takeCombination(true))
            m_retry.stop();
    });
}

// The back end's destructor has removed its tap by now.
DictationHotkeyMonitor::~DictationHotkeyMonitor() = default;

void DictationHotkeyMonitor::install(const HotkeyConfig& hotkey)
{
    m_retry.stop();
    m_hotkey = hotkey;
    if (m_hasTap) {
        removeTap();
        m_hasTap = false;
    }
    m_keyHeld = false;
    if (m_hotkey.keyCode == 0)
        return;
    if (m_access.isTrusted()) {
        installTap();
        return;
    }
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            if (m_access.request)
                m_access.request();
        },
        Qt::QueuedConnection);
}

void DictationHotkeyMonitor::installTap()
{
    if (!m_access.isTrusted()) {
        log::info(
            lcDictationHotkeyMonitor(), QStringLiteral("Skipping key grab install — no Accessibility permission"));
        return;
    }
    if (m_hasTap || m_hotkey.keyCode == 0)
        return;
    takeCombination(false);
}

bool DictationHotkeyMonitor::takeCombination(bool quietly)
{
    const TapResult result = createTap(m_hotkey);
    m_hasTap = result == TapResult::installed;
    if (m_hasTap || quietly)
        return m_hasTap;
    switch (result) {
    case TapResult::installed:
        break;
    case TapResult::taken:
        log::error(
            lcDictationHotkeyMonitor(), QStringLiteral("XGrabKey failed — combination taken by another program"));
        break;
    case TapResult::noSuchKey:
        log::error(lcDictationHotkeyMonitor(),
            QStringLiteral("XGrabKey failed — key %1 is not on this keyboard").arg(m_hotkey.keyCode));
        break;
    case TapResult::unavailable:
        log::info(lcDictationHotkeyMonitor(), QStringLiteral("Dictation key is off: no X11 display"));
        break;
    }
    return false;
}

void DictationHotkeyMonitor::keyboardChanged()
{
    if (m_keyHeld) {
        m_keyHeld = false;
        schedule(onPressUp);
    }
    if (!m_hasTap && !m_retry.isActive())
        return; // nothing was watched
    m_hasTap = false;
    if (!m_retry.isActive() && !takeCombination(false))
        m_retry.start();
}

DictationHotkeyMonitor::Verdict DictationHotkeyMonitor::keyDown(quint32 keyCode, quint32 modifiers)
{
    if (keyCode != m_hotkey.keyCode || modifiers != m_hotkey.modifiers)
        return Verdict::pass;
    if (m_keyHeld)
        return Verdict::swallow; // key repeat
    m_keyHeld = true;
    schedule(onPressDown);
    return Verdict::swallow;
}

DictationHotkeyMonitor::Verdict DictationHotkeyMonitor::keyUp(quint32 keyCode)
{
    // The modifiers do not matter here: one of them may already be up when the key goes up.
    if (keyCode != m_hotkey.keyCode || !m_keyHeld)
        return Verdict::pass;
    m_keyHeld = false;
    schedule(onPressUp);
    return Verdict::swallow;
}

DictationHotkeyMonitor::Verdict DictationHotkeyMonitor::modifiersChanged(quint32 modifiers)
{
    if (m_keyHeld && modifiers != m_hotkey.modifiers) {
        m_keyHeld = false;
        schedule(onPressUp);
    }
    return Verdict::pass;
}

void DictationHotkeyMonitor::schedule(const std::function<void()>& callback)
{
    // The callback is read when the call runs, so one replaced in the meantime is the one called.
    const std::function<void()>* slot = &callback;
    QMetaObject::invokeMethod(
        &m_context,
        [slot] {
            if (const auto call = *slot)
                call();
        },
        Qt::QueuedConnection);
}

} // namespace palaverly
