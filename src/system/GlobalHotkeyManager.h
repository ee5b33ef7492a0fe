#pragma once

#include "system/HotkeyConfig.h"

#include <QByteArray>
#include <functional>
#include <memory>

namespace palaverly {

class PortalShortcuts;

// System-wide hotkeys for the three recording actions. The owner sets onTrigger, then calls
// registerHotkey() for every action at start-up and after each "palaverly.hotkeysChanged".
// One back end per kind of session: key grabs of the X server (GlobalHotkeyManager_x11.cpp), the
// GlobalShortcuts portal of a Wayland desktop (GlobalHotkeyManager_portal.cpp), and a null back
// end for a session where neither is available. Main thread only, including the destructor.
class GlobalHotkeyManager {
public:
    // The values are the hotkey identifiers and must not change.
    enum class Action : quint32 {
        meeting = 1,
        note = 2,
        stop = 3,
    };

    // The four-character code "pVly" read as a big-endian number: the signature half of the
    // identifier of every registration, for platforms whose hotkey service takes one.
    static constexpr quint32 kSignature = 0x70566C79;

    virtual ~GlobalHotkeyManager() = default;

    // Called once per press of a registered hotkey (key repeat is not a press), on the main
    // thread from a queued call, never inside the event dispatch that saw the key. Empty means
    // presses are dropped.
    std::function<void(Action)> onTrigger;

    // Makes `config` the only registration of `action`: any previous registration of the action
    // goes first; key code 0 leaves the action unregistered; a combination that another program
    // (or another action) already holds also leaves it unregistered, silently.
    virtual void registerHotkey(Action action, const HotkeyConfig& config) = 0;

    // Whether the action currently holds a registration.
    virtual bool isRegistered(Action action) const = 0;

    // The back end of the session on `displayName` ($DISPLAY when empty), or the null back end
    // when there is no display to grab keys on.
    static std::unique_ptr<GlobalHotkeyManager> create(const QByteArray& displayName = {});

    // The three actions as shortcuts of the portal session `shortcuts` (a Wayland session). A
    // registration holds once the desktop has bound it.
    static std::unique_ptr<GlobalHotkeyManager> createPortal(std::shared_ptr<PortalShortcuts> shortcuts);
};

// Registers nothing; every action stays unregistered.
class NullGlobalHotkeyManager final : public GlobalHotkeyManager {
public:
    void registerHotkey(Action, const HotkeyConfig&) override { }
    bool isRegistered(Action) const override { return false; }
};

} // namespace palaverly
