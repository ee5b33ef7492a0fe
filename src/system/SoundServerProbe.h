#pragma once

#include <QByteArray>
#include <chrono>
#include <memory>

namespace palaverly {

// Asks the sound server whether recording can work at all. One back end per sound system
// (SoundServerProbe_pulse.cpp, which also serves PipeWire through pipewire-pulse); the null
// probe answers "no" to everything.
class SoundServerProbe {
public:
    struct Result {
        bool defaultInput = false; // the server answered and has a default input that exists
        bool outputMonitor = false; // a record stream on the default output's monitor opened
    };

    static constexpr std::chrono::milliseconds kTimeout{2000};

    virtual ~SoundServerProbe() = default;

    // Blocks the calling thread until the server answered, at most kTimeout. Any thread, also
    // several at once.
    virtual Result check() = 0;

    // A probe of the server at `server` (libpulse server string; $PULSE_SERVER or the user's
    // default server when empty).
    static std::unique_ptr<SoundServerProbe> create(const QByteArray& server = {});
};

class NullSoundServerProbe final : public SoundServerProbe {
public:
    Result check() override { return {}; }
};

} // namespace palaverly
