// The back end of builds without PulseAudio: the program runs, and starting a capture says why
// it cannot.
#include "audio/CaptureBackend.h"

namespace palaverly {

namespace {

class NullCaptureBackend final : public CaptureBackend {
public:
    std::optional<StartError> start(Request) override
    {
        return StartError{StartError::Kind::failed, "сборка без поддержки звукового сервера PulseAudio"};
    }
    void stop() override { }
    bool isRunning() const override { return false; }
};

} // namespace

std::unique_ptr<CaptureBackend> CaptureBackend::create(const std::string&)
{
    return std::make_unique<NullCaptureBackend>();
}

} // namespace palaverly
