#include "ui/dictation/DictationPanelWindow.h"

namespace palaverly {

void preparePanelWindow(QWidget&) { }

} // namespace palaverly
