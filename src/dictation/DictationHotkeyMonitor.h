#pragma once

#include "system/HotkeyConfig.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

namespace palaverly {

class PortalShortcuts;

// Follows the press and the release of the push-to-talk combination anywhere in the session, apart
// from the global hotkeys, and keeps the combination's own key events from the focused window.
// The owner connects onPressDown / onPressUp, calls install() with the dictation hotkey at start-up
// and after each change of the hotkeys, and installTap() when the permission may have been granted
// since (the program became active, onboarding ended).
//
// The matching rules live here; a back end per kind of session only takes the keys and reports
// each key event: key grabs of the X server (DictationHotkeyMonitorX11.cpp) or the GlobalShortcuts
// portal of a Wayland desktop (DictationHotkeyMonitorPortal.cpp). A null back end serves a session
// without either. Main thread only, including the destructor.
class DictationHotkeyMonitor {
public:
    struct Accessibility {
        // Whether the session lets this program take keys and post the paste keystroke. Empty:
        // a probe of the display (an X11 display with XTest).
        std::function<bool()> isTrusted;
        // Asks the user for that permission (shows the explanation and records that it was shown).
        // Empty: nothing is asked.
        std::function<void()> request;
    };

    virtual ~DictationHotkeyMonitor();
    DictationHotkeyMonitor(const DictationHotkeyMonitor&) = delete;
    DictationHotkeyMonitor& operator=(const DictationHotkeyMonitor&) = delete;

    // Called on the main thread from a queued call, never inside the handling of the key event:
    // once when the combination goes down (key repeat is not a press), and once when it is let go,
    // which is the release of its key or the release (or addition) of a modifier, whichever
    // comes first.
    std::function<void()> onPressDown;
    std::function<void()> onPressUp;

    // Makes `hotkey` the watched combination. Whatever was watched before is dropped first and
    // a held combination forgotten without a release. Key code 0 watches nothing. Without the
    // permission the request for it is queued and nothing is watched yet.
    void install(const HotkeyConfig& hotkey);

    // Starts watching the stored combination when the permission is there. Logs "Skipping key
    // grab install — no Accessibility permission" without it, and "XGrabKey failed — combination
    // taken by another program" when another program holds the combination.
    void installTap();

    const HotkeyConfig& hotkey() const { return m_hotkey; }
    // Whether the combination is being watched.
    bool hasTap() const { return m_hasTap; }
    // A press was reported and its release not yet.
    bool keyHeld() const { return m_keyHeld; }

    // The back end of the session on `displayName` ($DISPLAY when empty), or the null back end
    // when there is no display.
    static std::unique_ptr<DictationHotkeyMonitor> create(
        Accessibility access = {}, const QByteArray& displayName = {});

    // The combination as the "dictation" shortcut of the portal session `shortcuts` (a Wayland
    // session); its activation is the press and its deactivation the release.
    static std::unique_ptr<DictationHotkeyMonitor> createPortal(std::shared_ptr<PortalShortcuts> shortcuts);

protected:
    explicit DictationHotkeyMonitor(Accessibility access);

    enum class TapResult {
        installed,
        taken, // another program holds the combination
        noSuchKey, // the key code has no key on this keyboard
        unavailable, // no display to watch
    };
    // Back end: starts watching `hotkey` (key code not 0). Nothing is left half-installed on
    // failure.
    virtual TapResult createTap(const HotkeyConfig& hotkey) = 0;
    // Back end: stops watching, including a combination that is held at this moment.
    virtual void removeTap() = 0;

    // What should happen to one key event of the session, decided by the rules of the monitor.
    enum class Verdict {
        pass, // the focused window should get it
        swallow, // nobody else should see it
    };
    // The back end reports every key event it receives while a tap exists, with the key in our key
    // numbering and the modifiers as a Carbon mask: for key events, the modifiers held at the
    // event; for a modifier key going up or down, the modifiers held after it.
    Verdict keyDown(quint32 keyCode, quint32 modifiers);
    Verdict keyUp(quint32 keyCode);
    Verdict modifiersChanged(quint32 modifiers);
    // The back end reports that the keyboard's mapping changed (another layout, modifiers moved)
    // after it has let go of the old grab and read the new mapping. A held combination ends as a
    // release would (its key going up may never reach us now); the combination is taken again,
    // and while another program holds it in its new form, tried again every second.
    void keyboardChanged();

private:
    static constexpr std::chrono::milliseconds kRetryInterval{1000};

    void schedule(const std::function<void()>& callback);
    // Takes the stored combination; false when that failed. Logs the failure unless `quietly`.
    bool takeCombination(bool quietly);

    Accessibility m_access;
    HotkeyConfig m_hotkey;
    bool m_hasTap = false;
    bool m_keyHeld = false;
    // Takes the combination again after a keyboard change that left it to another program.
    QTimer m_retry;
    // Receiver of the queued callbacks and requests; those still queued die with the monitor.
    QObject m_context;
};

// Watches nothing: for a session without a display.
class NullDictationHotkeyMonitor final : public DictationHotkeyMonitor {
public:
    explicit NullDictationHotkeyMonitor(Accessibility access = {})
        : DictationHotkeyMonitor(std::move(access))
    {
    }

protected:
    TapResult createTap(const HotkeyConfig&) override { return TapResult::unavailable; }
    void removeTap() override { }
};

} // namespace palaverly
