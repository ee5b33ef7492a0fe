#include "system/GlobalHotkeyManager.h"

namespace palaverly {

std::unique_ptr<GlobalHotkeyManager> GlobalHotkeyManager::create(const QByteArray&)
{
    return std::make_unique<NullGlobalHotkeyManager>();
}

} // namespace palaverly
