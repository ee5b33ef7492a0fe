#include "dictation/DictationHotkeyMonitor.h"

namespace palaverly {

std::unique_ptr<DictationHotkeyMonitor> DictationHotkeyMonitor::create(Accessibility access, const QByteArray&)
{
    return std::make_unique<NullDictationHotkeyMonitor>(std::move(access));
}

} // namespace palaverly
