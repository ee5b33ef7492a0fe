#pragma once

#include "system/HotkeyConfig.h"
#include "system/PortalRequest.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <map>

class QDBusMessage;

namespace palaverly {

// The program's one session of the GlobalShortcuts portal, shared by the recording hotkeys and
// the dictation key of a Wayland session. Each shortcut has an id ("meeting", "note", "stop",
// "dictation") and our combination as its preferred trigger; the desktop may let the user
// confirm or change the triggers in a dialog of its own. The portal reports each press and each
// release of a bound shortcut, so push-to-talk works through it.
//
// Changing the shortcuts binds them all again, in a new session, once per turn of the event loop.
// Nothing here blocks: every portal call is answered later or times out. Main thread only.
class PortalShortcuts : public QObject {
    Q_OBJECT
public:
    static constexpr char kInterface[] = "org.freedesktop.portal.GlobalShortcuts";

    explicit PortalShortcuts(
        QDBusConnection bus = QDBusConnection::sessionBus(), portal::Timeouts timeouts = {}, QObject* parent = nullptr);
    // Closes the session.
    ~PortalShortcuts() override;

    // Makes `hotkey` the preferred trigger of shortcut `id`; key code 0 removes the shortcut.
    void setShortcut(const QString& id, const QString& description, const HotkeyConfig& hotkey);
    // Binds the shortcuts again at once, as after a change: the user may say yes this time.
    void rebind();

    portal::State state() const { return m_state; }
    // Whether `id` is bound in the current session.
    bool isBound(const QString& id) const;
    // How the desktop shows the trigger of `id`, in its own words ("Ctrl+Alt+R"); empty when it
    // said nothing or the shortcut is not bound.
    QString triggerDescription(const QString& id) const;

signals:
    // A bound shortcut went down or up.
    void activated(const QString& id);
    void deactivated(const QString& id);
    void stateChanged();
    // The desktop told new trigger descriptions (after binding, or the user changed one).
    void triggersChanged();

private slots:
    void onActivated(const QDBusMessage& message);
    void onDeactivated(const QDBusMessage& message);
    void onShortcutsChanged(const QDBusMessage& message);

private:
    struct Shortcut {
        QString description;
        HotkeyConfig hotkey;
    };

    void scheduleBind();
    void bind();
    void bindInSession(const QString& session);
    void finished(const portal::Reply& reply, const char* step);
    void setState(portal::State state);
    void takeTriggers(const QVariant& shortcuts);
    // The shortcut named by a signal of our session, or empty.
    QString shortcutOf(const QDBusMessage& message) const;

    QDBusConnection m_bus;
    portal::Timeouts m_timeouts;
    std::map<QString, Shortcut> m_shortcuts;
    std::map<QString, QString> m_triggers; // id -> description, of the bound shortcuts
    QString m_session;
    portal::State m_state = portal::State::idle;
    bool m_bindScheduled = false;
    bool m_busy = false; // a session is being made or bound
    bool m_changedWhileBusy = false;
};

} // namespace palaverly
