// The chat-completions answer, and the title taken from it.
#include "recorder/ProcessingPrompts.h"
#include "services/ServiceAnswers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace palaverly;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    if (const auto content = decodeChatContent(body))
        (void)prompts::cleanTitle(*content);
    (void)prompts::cleanTitle(body);
    return 0;
}
