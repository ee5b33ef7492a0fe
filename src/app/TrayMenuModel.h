#pragma once

#include "model/RecordingKind.h"
#include "system/HotkeyConfig.h"

#include <QKeySequence>
#include <QString>
#include <optional>
#include <vector>

namespace palaverly {

// The tray menu as data: what the controller turns into QActions each time the menu opens.
struct TrayMenuItem {
    enum class Kind { status, command, separator };
    enum class Command { none, startMeeting, startNote, stop, quit, openLibrary, openSettings, checkUpdates };
    enum class Tint { none, red, orange, accent };
    enum class Font { menu, small, monospacedDigits };

    Kind kind = Kind::separator;
    QString text; // one line; texts from outside are cut (see toolTip)
    QString toolTip; // the whole of a text from outside (an error, the update's version)
    QString symbol; // empty: no image; "blank": an empty image that keeps the text aligned
    Tint tint = Tint::none;
    Font font = Font::menu;
    Command command = Command::none;
    QKeySequence shortcut;
    bool isElapsed = false; // the line the clock refreshes
};

struct TrayMenuState {
    bool isRecording = false;
    std::optional<RecordingKind> currentKind;
    std::optional<long long> elapsedSeconds; // while recording, when the start time is known
    // While recording: what the user should know about the sound (no sound server, the other
    // side not heard).
    std::optional<std::string> captureWarning;
    // Transcription line: a running job's stage, else a failed job's text.
    std::optional<std::string> runningStage;
    std::optional<std::string> failedTranscription;
    std::optional<std::string> lastError;
    HotkeyConfig meetingHotkey;
    HotkeyConfig noteHotkey;
    HotkeyConfig stopHotkey;
    std::optional<QString> pendingUpdateVersion;
};

std::vector<TrayMenuItem> buildTrayMenu(const TrayMenuState& state);

// "7:05", "1:00:00": whole seconds, never negative.
QString elapsedText(long long seconds);
// "7:05 прошло": the menu's clock line while recording.
QString elapsedLine(long long seconds);

// The shortcut shown next to a command: the key's name with the hotkey's modifiers; none when
// the hotkey is unassigned.
QKeySequence menuShortcut(const HotkeyConfig& hotkey);

} // namespace palaverly
