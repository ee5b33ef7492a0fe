#pragma once

#include "audio/AudioBuffer.h"
#include "audio/CaptureBackend.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace palaverly {

// Captures the default microphone alone, for notes and dictation, in buffers of 4096 frames of
// 32-bit float at the device's own rate and channel count (the last one of a take holds what is
// left). The take holds what the microphone heard from the moment start is called to the moment
// stop is called (see CaptureBackend). Follows the default input when the user switches it during
// a recording. When the sound server dies, delivers silence until it is back, then the microphone
// again (ReconnectingCaptureBackend).
//
// Threads: construct, start, stop and destroy on one owner thread (the main thread, or a worker).
// onBuffer is set before start and called on the tap's own capture thread (the last buffers inside
// stop, on the owner's thread); it must only hand the buffer on and return. Every buffer handed
// out is a fresh copy owned by the receiver's copy of it. onServerLost and onServerBack likewise,
// on a capture thread, in the order the events happened.
class MicrophoneTap {
public:
    static constexpr uint32_t kFramesPerBuffer = 4096;

    struct MicError {
        std::string reason; // the sound server's (or connection's) own text
        // The sentence for the user.
        std::string description() const;
    };

    using BufferHandler = std::function<void(const AudioBuffer&)>;

    // The platform back end of this build by default; tests may pass their own.
    explicit MicrophoneTap(std::unique_ptr<CaptureBackend> backend = {});
    ~MicrophoneTap(); // stops
    MicrophoneTap(const MicrophoneTap&) = delete;
    MicrophoneTap& operator=(const MicrophoneTap&) = delete;

    BufferHandler onBuffer;
    std::function<void()> onServerLost;
    std::function<void()> onServerBack;

    // Logs "Mic format: <rate> Hz, <n> ch" once the device is known, opens the stream and waits
    // until it records, then logs "Mic capture started". On failure nothing keeps running.
    std::optional<MicError> start();
    // Hands on the rest of the take (the sound up to this moment), waits until no callback runs
    // any more, resets the counter and logs "Mic capture stopped" (also when it was not running).
    void stop();
    bool isRunning() const;

    // Buffers delivered since start (0 after stop). Any thread.
    long bufferCount() const { return m_bufferCounter.load(std::memory_order_relaxed); }

private:
    // Capture thread.
    void deliver(const AudioBuffer& buffer);

    std::unique_ptr<CaptureBackend> m_backend;
    std::atomic<long> m_bufferCounter{0};
};

} // namespace palaverly
