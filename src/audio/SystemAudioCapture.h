#pragma once

#include "audio/AudioBuffer.h"
#include "audio/CaptureBackend.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace palaverly {

// Captures, for a meeting, both the sound the computer plays (the other side of a call: what
// other programs play through the default output, this program's own playback left out) and the
// default microphone, delivering on one capture thread. The two sides start together at start
// and end together at stop, sample for sample, whatever latencies the sound server gave them;
// the system side keeps coming at the output's pace, silence included, when nothing plays.
// Buffers are handed out in the format they arrive in (32-bit float, interleaved, the device's
// own rate and channels); converting them is the session's business. When the user switches the
// default output or input during a recording, the streams follow. When the sound server dies,
// capture goes on: silence until the server is back, then both streams again
// (ReconnectingCaptureBackend).
//
// Threads: construct, start, stop and destroy on one owner thread (the main thread, or a worker
// that starts and stops it). onSystemBuffer and onMicBuffer are set before start and called on the
// capture thread, one buffer at a time (the last ones inside stop, on the owner's thread); they
// must only hand the buffer on (RecordingSession::append*, AudioLevelMeter::feed) and return.
// onServerLost and onServerBack likewise, on a capture thread, in the order the events happened.
class SystemAudioCapture {
public:
    struct CaptureError {
        enum class Kind {
            startFailed, // `reason` is the sound server's (or connection's) own text
            noSystemSource, // no default output whose monitor could be recorded
        };
        Kind kind = Kind::startFailed;
        std::string reason;
        // The sentence for the user.
        std::string description() const;
    };

    using BufferHandler = std::function<void(const AudioBuffer&)>;

    // The platform back end of this build by default; tests may pass their own.
    explicit SystemAudioCapture(std::unique_ptr<CaptureBackend> backend = {});
    ~SystemAudioCapture(); // stops
    SystemAudioCapture(const SystemAudioCapture&) = delete;
    SystemAudioCapture& operator=(const SystemAudioCapture&) = delete;

    BufferHandler onSystemBuffer;
    BufferHandler onMicBuffer;
    std::function<void()> onServerLost;
    std::function<void()> onServerBack;

    // Opens both streams and waits until they record; logs
    // "PulseAudio capture started (system audio + mic)". On failure nothing keeps running.
    std::optional<CaptureError> start();
    // Waits until no callback runs any more, resets the counters and logs
    // "PulseAudio capture stopped". Does nothing when not capturing.
    void stop();
    bool isCapturing() const;

    // Buffers delivered since start (0 after stop). Any thread.
    long systemBufferCount() const { return m_systemBufferCounter.load(std::memory_order_relaxed); }
    long micBufferCount() const { return m_micBufferCounter.load(std::memory_order_relaxed); }

private:
    // Capture thread: counts the buffer of one side, logs its peak now and then, hands it on.
    void deliver(const AudioBuffer& buffer, std::atomic<long>& counter, const char* side, const BufferHandler& handler);

    std::unique_ptr<CaptureBackend> m_backend;
    std::atomic<long> m_systemBufferCounter{0};
    std::atomic<long> m_micBufferCounter{0};
};

} // namespace palaverly
