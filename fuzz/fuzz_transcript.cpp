// transcript.json (also the result of a finished job): the full decoder and the one that keeps
// only what the list shows must accept the same documents and agree on what they keep; a decoded
// transcript survives writing and reading back.
#include "model/RecordDecoding.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace palaverly;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto full = Transcript::fromJson(text);
    const auto info = json::decodeText(text, json::decodeTranscriptInfo);
    if (full.has_value() != info.has_value())
        std::abort();
    if (!full)
        return 0;
    if (!(TranscriptInfo::of(*full) == *info))
        std::abort();
    (void)full->plainText();
    const auto again = Transcript::fromJson(full->toJson().dump());
    if (!again || !(*again == *full))
        std::abort();
    return 0;
}
