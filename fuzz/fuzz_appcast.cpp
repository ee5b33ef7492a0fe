// The update feed.
#include "updater/Appcast.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace palaverly;
    const auto parsed = parseAppcast(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (const auto* items = std::get_if<std::vector<AppcastItem>>(&parsed))
        for (std::size_t i = 1; i < items->size(); ++i)
            (void)compareVersions((*items)[i - 1].versionString, (*items)[i].versionString);
    return 0;
}
