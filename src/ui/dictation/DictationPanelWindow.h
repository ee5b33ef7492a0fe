#pragma once

class QWidget;

namespace palaverly {

// What the window system needs beyond the toolkit's flags for the dictation panel: on X11 it is
// put on every desktop and kept out of the task bar and the pager. Call before the first show.
// Back ends: DictationPanelWindowX11.cpp, DictationPanelWindowNull.cpp (nothing to add).
void preparePanelWindow(QWidget& window);

} // namespace palaverly
