#pragma once

namespace palaverly {

class DictationHotkeyMonitor;
class DictationManager;
class DictationPanelController;

// Connects the three dictation pieces the way the program runs them: the key going down starts a
// dictation and going up stops it, and every change of the manager's state shows or hides the
// panel (hidden when idle) as a queued task of the main thread; a dictated text the clipboard
// would not take is offered in the panel controller's notice. The objects must outlive the
// wiring, except the panel controller, whose connection goes with it. The owner still installs
// the hotkey on the monitor and sets the manager's canStart. Main thread.
void wireDictation(DictationHotkeyMonitor& monitor, DictationManager& manager, DictationPanelController& panel);

} // namespace palaverly
