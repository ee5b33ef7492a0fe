// The answer of an OpenAI-compatible transcription service.
#include "services/ServiceAnswers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace palaverly;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    if (const auto transcript = decodeTranscriptionAnswer(body, "SPEAKER_00"))
        (void)transcript->plainText();
    return 0;
}
