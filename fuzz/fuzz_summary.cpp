// summary.json: decodes whole or not at all; a decoded summary survives writing and reading back.
#include "model/Summary.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace palaverly;
    const auto summary = Summary::fromJson({reinterpret_cast<const char*>(data), size});
    if (summary) {
        const auto again = Summary::fromJson(summary->toJson().dump());
        if (!again || !(*again == *summary))
            std::abort();
    }
    return 0;
}
