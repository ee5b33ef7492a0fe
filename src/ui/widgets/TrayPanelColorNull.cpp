#include "ui/widgets/TrayIcon.h"

namespace palaverly {

std::optional<QColor> trayPanelForeground()
{
    return std::nullopt;
}

} // namespace palaverly
