#pragma once

#include "system/PortalRequest.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

class QDBusMessage;
class QSettings;

namespace palaverly {

// A keyboard of the RemoteDesktop portal: the way a program may press keys in a Wayland session,
// where the X server of our windows reaches no other window. The desktop asks the user once for
// the session; it is kept for the rest of the run, and where the portal supports it the desktop's
// restore token is kept in the settings store so that later runs are not asked again.
//
// Nothing here blocks: every portal call is answered later or times out. Main thread only.
class PortalKeyboard : public QObject {
    Q_OBJECT
public:
    static constexpr char kInterface[] = "org.freedesktop.portal.RemoteDesktop";
    static constexpr char kRestoreTokenKey[] = "portal.remoteDesktopRestoreToken";
    // Key codes of the evdev numbering, which the portal takes.
    static constexpr int kLeftControl = 29;
    static constexpr int kV = 47;

    // `store` keeps the restore token; may be null. It must outlive the keyboard.
    explicit PortalKeyboard(QDBusConnection bus = QDBusConnection::sessionBus(), QSettings* store = nullptr,
        portal::Timeouts timeouts = {}, QObject* parent = nullptr);
    // Closes the session.
    ~PortalKeyboard() override;

    // idle until the first request; unavailable as soon as the desktop turns out to have no such
    // portal.
    portal::State state() const { return m_state; }

    // Makes the keyboard usable: starts the session the first time (the desktop may ask the user),
    // waits for one already starting, and answers at once otherwise. `done(true)` when the keyboard
    // is ready; false when it is not and will not be without askAgain(). `done` may run before
    // this returns; it never runs after the keyboard is destroyed.
    void request(std::function<void(bool ready)> done);
    // Like request(), but asks the user again after a refusal or a failure.
    void askAgain(std::function<void(bool ready)> done);

    // Presses Ctrl+V (Ctrl down, V down, V up, Ctrl up) when the keyboard is ready; false otherwise.
    // Each key goes out once the portal has taken the one before: the front end handles calls on
    // several threads and would otherwise hand them on in any order. `sent` runs after the last.
    bool pressPaste(std::function<void()> sent = {});

signals:
    void stateChanged();

private slots:
    void onSessionClosed(const QDBusMessage& message);

private:
    void probe();
    void start();
    void selectDevices();
    void startSession();
    void fail(const portal::Reply& reply, const char* step);
    void settle(bool ready);
    void setState(portal::State state);
    void sendKeys(std::vector<std::pair<int, bool>> keys, std::function<void()> sent);

    QDBusConnection m_bus;
    QSettings* m_store = nullptr;
    portal::Timeouts m_timeouts;
    portal::State m_state = portal::State::idle;
    uint m_version = 0; // the portal's interface version; 0 while unknown
    QString m_session;
    std::vector<std::function<void(bool)>> m_waiting;
};

} // namespace palaverly
