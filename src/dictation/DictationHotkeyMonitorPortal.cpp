#include "dictation/DictationHotkeyMonitor.h"

#include "system/PortalShortcuts.h"

namespace palaverly {

namespace {

constexpr char kShortcutId[] = "dictation";

// The dictation key as a shortcut of the portal session: the desktop reports its press
// (Activated) and its release (Deactivated), and keeps both from the focused window itself. The
// desktop decides what counts as a release, so the rule of the modifiers let go first is its own.
class PortalDictationHotkeyMonitor final : public DictationHotkeyMonitor {
public:
    explicit PortalDictationHotkeyMonitor(std::shared_ptr<PortalShortcuts> shortcuts)
        : DictationHotkeyMonitor(alwaysAllowed())
        , m_shortcuts(std::move(shortcuts))
    {
        QObject::connect(m_shortcuts.get(), &PortalShortcuts::activated, &m_context, [this](const QString& id) {
            if (m_watching && id == QLatin1String(kShortcutId))
                keyDown(hotkey().keyCode, hotkey().modifiers);
        });
        QObject::connect(m_shortcuts.get(), &PortalShortcuts::deactivated, &m_context, [this](const QString& id) {
            if (m_watching && id == QLatin1String(kShortcutId))
                keyUp(hotkey().keyCode);
        });
    }

protected:
    TapResult createTap(const HotkeyConfig& hotkey) override
    {
        m_shortcuts->setShortcut(QLatin1String(kShortcutId), QStringLiteral("Push-to-talk диктовка"), hotkey);
        m_watching = true;
        return TapResult::installed;
    }

    void removeTap() override
    {
        m_watching = false;
        m_shortcuts->setShortcut(QLatin1String(kShortcutId), {}, {});
    }

private:
    // The desktop asks the user in its own dialog when the shortcuts are bound; there is no
    // permission of ours to wait for.
    static Accessibility alwaysAllowed()
    {
        Accessibility access;
        access.isTrusted = [] { return true; };
        return access;
    }

    std::shared_ptr<PortalShortcuts> m_shortcuts;
    bool m_watching = false;
    QObject m_context;
};

} // namespace

std::unique_ptr<DictationHotkeyMonitor> DictationHotkeyMonitor::createPortal(std::shared_ptr<PortalShortcuts> shortcuts)
{
    return std::make_unique<PortalDictationHotkeyMonitor>(std::move(shortcuts));
}

} // namespace palaverly
