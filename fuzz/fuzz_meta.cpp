// meta.json: decodes whole or not at all; a decoded meta survives writing and reading back.
#include "model/RecordingMeta.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace palaverly;
    const auto meta = RecordingMeta::fromJson({reinterpret_cast<const char*>(data), size});
    if (meta) {
        const auto again = RecordingMeta::fromJson(meta->toJson().dump());
        if (!again || !(*again == *meta))
            std::abort();
    }
    return 0;
}
