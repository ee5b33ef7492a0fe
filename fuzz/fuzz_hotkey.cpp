// A hotkey as the settings store keeps it.
#include "system/HotkeyConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace palaverly;
    if (const auto hotkey
        = HotkeyConfig::fromJson(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))))
        (void)HotkeyConfig::fromJson(hotkey->toJson());
    return 0;
}
