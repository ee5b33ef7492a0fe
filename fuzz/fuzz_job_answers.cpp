// The speech-recognition service's answers: the upload answer and the poll answer.
#include "services/ServiceAnswers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace palaverly;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    (void)decodeJobId(body);
    if (const auto job = decodeJobStatus(body); job && job->result)
        (void)job->result->plainText();
    return 0;
}
