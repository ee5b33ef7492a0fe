#pragma once

#include "system/DesktopSession.h"
#include "system/Permissions.h"
#include "system/PortalRequest.h"

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>

namespace palaverly {

class PortalKeyboard;
class PortalShortcuts;
class SyntheticInputProbe;

// How keys reach the program and the paste keystroke reaches other windows in this session: the
// X server in an X11 session, the desktop portals (GlobalShortcuts, RemoteDesktop) in a Wayland
// one. The permission views read it to say what works here and to ask for the portals' approval.
// Main thread only.
class SessionInput : public QObject {
    Q_OBJECT
public:
    struct State {
        SessionType session = SessionType::none;
        bool xtest = false; // X11: the display offers XTest
        portal::State shortcuts = portal::State::idle; // Wayland: the GlobalShortcuts session
        bool hotkeysBound = false; // Wayland: a recording hotkey is bound in it
        bool dictationBound = false; // Wayland: the dictation key is bound in it
        // Wayland: the compositor hands the clipboard of an X window to the other windows only
        // while an X window has the focus (KWin up to at least Plasma 6.3).
        bool clipboardNeedsFocus = false;
        portal::State keyboard = portal::State::idle; // Wayland: the RemoteDesktop keyboard
        bool operator==(const State&) const = default;
    };

    // An X11 (or display-less) session: keys through the X server, `xtest` tells whether the
    // display lets us post the paste.
    SessionInput(SessionType session, std::unique_ptr<SyntheticInputProbe> xtest, QObject* parent = nullptr);
    // A Wayland session: keys and paste through the two portals. `desktop` is $XDG_CURRENT_DESKTOP.
    SessionInput(std::shared_ptr<PortalShortcuts> shortcuts, std::shared_ptr<PortalKeyboard> keyboard,
        const QByteArray& desktop = qgetenv("XDG_CURRENT_DESKTOP"), QObject* parent = nullptr);
    ~SessionInput() override;

    State state() const;
    // The accessibility permission as the permission views show it. In a Wayland session it is
    // granted when both portals work, not asked while the keyboard was never asked for, and
    // denied when a portal is missing, refused or silent.
    PermissionStatus accessibility() const;
    // Probes XTest again (X11); the portals report changes by themselves.
    void refresh();
    // Asks for the portals' approval again (Wayland): the keyboard session, and the shortcuts when
    // their binding failed. `done` runs once the answers are in. X11: nothing to ask.
    void request(std::function<void()> done);

    std::shared_ptr<PortalShortcuts> shortcuts() const { return m_shortcuts; }
    std::shared_ptr<PortalKeyboard> keyboard() const { return m_keyboard; }

signals:
    void changed();

private:
    SessionType m_session;
    std::unique_ptr<SyntheticInputProbe> m_xtest;
    bool m_xtestPresent = false;
    std::shared_ptr<PortalShortcuts> m_shortcuts;
    std::shared_ptr<PortalKeyboard> m_keyboard;
    bool m_clipboardNeedsFocus = false;
};

} // namespace palaverly
