#include "system/GlobalHotkeyManager.h"

#include "system/PortalShortcuts.h"

#include <QObject>
#include <set>

namespace palaverly {

namespace {

struct ActionShortcut {
    GlobalHotkeyManager::Action action;
    const char* id;
    const char* description;
};

constexpr ActionShortcut kShortcuts[] = {
    {GlobalHotkeyManager::Action::meeting, "meeting", "Новая встреча"},
    {GlobalHotkeyManager::Action::note, "note", "Быстрая заметка"},
    {GlobalHotkeyManager::Action::stop, "stop", "Остановить запись"},
};

const ActionShortcut& shortcutOf(GlobalHotkeyManager::Action action)
{
    for (const ActionShortcut& shortcut : kShortcuts)
        if (shortcut.action == action)
            return shortcut;
    return kShortcuts[0];
}

// The three recording hotkeys as shortcuts of the portal session. A press is the shortcut's
// activation; its release means nothing here. The registrations end with the session.
class PortalGlobalHotkeyManager final : public GlobalHotkeyManager {
public:
    explicit PortalGlobalHotkeyManager(std::shared_ptr<PortalShortcuts> shortcuts)
        : m_shortcuts(std::move(shortcuts))
    {
        QObject::connect(m_shortcuts.get(), &PortalShortcuts::activated, &m_context, [this](const QString& id) {
            for (const ActionShortcut& shortcut : kShortcuts) {
                if (id != QLatin1String(shortcut.id) || !m_assigned.contains(shortcut.action))
                    continue;
                // Deferred like the X11 back end's: onTrigger never runs inside the D-Bus dispatch.
                QMetaObject::invokeMethod(
                    &m_context,
                    [this, action = shortcut.action] {
                        if (const auto callback = onTrigger)
                            callback(action);
                    },
                    Qt::QueuedConnection);
            }
        });
    }

    void registerHotkey(Action action, const HotkeyConfig& config) override
    {
        const ActionShortcut& shortcut = shortcutOf(action);
        if (config.isAssigned())
            m_assigned.insert(action);
        else
            m_assigned.erase(action);
        m_shortcuts->setShortcut(QLatin1String(shortcut.id), QString::fromUtf8(shortcut.description), config);
    }

    bool isRegistered(Action action) const override
    {
        return m_shortcuts->isBound(QLatin1String(shortcutOf(action).id));
    }

private:
    std::shared_ptr<PortalShortcuts> m_shortcuts;
    std::set<Action> m_assigned;
    // Receiver of the activations and the deferred calls; those still queued die with it.
    QObject m_context;
};

} // namespace

std::unique_ptr<GlobalHotkeyManager> GlobalHotkeyManager::createPortal(std::shared_ptr<PortalShortcuts> shortcuts)
{
    return std::make_unique<PortalGlobalHotkeyManager>(std::move(shortcuts));
}

} // namespace palaverly
