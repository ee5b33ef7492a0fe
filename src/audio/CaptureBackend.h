#pragma once

#include "audio/AudioBuffer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace palaverly {

// What a record stream listens to. Either follows the system's default when the user switches
// devices during a recording (headphones plugged in), keeping its sample format.
enum class CaptureDevice {
    // The sound other programs play through the default output; this process's own playback
    // (the library's player) is left out. Silence comes at the output's pace when nothing plays.
    systemSound,
    defaultInput, // the default microphone
};

// The platform seam of audio capture: one connection to the sound server and its record
// streams, all delivering on one thread of the back end (the capture queue). Samples come as
// interleaved 32-bit float at the device's own rate and channel count. Implementations: PulseAudio
// (also served by PipeWire), and a null one for builds without it, whose start always fails.
//
// The streams of a request share one timeline that begins when start is called and ends when
// stop is called: each stream hands on the sound captured between those two moments, placed by
// the server's timing, whatever latency the server chose for it. A stream that starts late, leaves
// a hole or falls behind is filled with silence; sound from before the start or after the stop is
// left out. So the streams of one request stay aligned with each other, sample for sample.
//
// Threads: start and stop on one owner thread at a time (any thread; the main thread or a worker);
// the callbacks of the request on the back end's delivery thread, one at a time, never after stop
// has returned. The last buffers of a take are handed on inside stop, on the caller's thread,
// while the delivery thread is held.
class CaptureBackend {
public:
    struct Stream {
        CaptureDevice device = CaptureDevice::defaultInput;
        // 0: buffers as the server hands them out (a few milliseconds each); else exactly this
        // many frames per buffer, except the last one of a take, which holds what is left.
        uint32_t framesPerBuffer = 0;
        // Never called with an empty buffer.
        std::function<void(const AudioBuffer&)> onBuffer;
        // Record at this rate and channel count (the server converts) instead of the device's own;
        // a stream opened again after a lost connection keeps the format it had.
        std::optional<AudioFormat> format;
    };

    struct Request {
        std::vector<Stream> streams;
        // On the owner's thread, during start: the format of stream `index` once the device is
        // known, before the stream is opened.
        std::function<void(size_t index, const AudioFormat& format)> onStreamFormat;
        // On the delivery thread: a running stream failed by itself; the text is the server's
        // reason. The other streams go on.
        std::function<void(const std::string& reason)> onStreamError;
        // On the delivery thread: the connection to the sound server is gone (the server died or
        // restarted), so every stream has stopped; the text is the connection's reason. Called
        // once; the back end stays running until stopped. (ReconnectingCaptureBackend builds
        // its reconnection on this.)
        std::function<void(const std::string& reason)> onConnectionLost;
        // Only from back ends that reconnect, on their own thread: every stream records again.
        std::function<void()> onReconnected;
    };

    struct StartError {
        enum class Kind {
            failed, // no server, refused, a stream would not start; `reason` says why
            noOutputMonitor, // no default output whose sound could be recorded
        };
        Kind kind = Kind::failed;
        std::string reason;
    };

    // The back end this build was made with. `threadName` names the delivery thread.
    static std::unique_ptr<CaptureBackend> create(const std::string& threadName);

    virtual ~CaptureBackend() = default;

    // Connects and opens every stream, waiting until all of them record. On failure nothing is
    // left open. Calling start while running fails.
    virtual std::optional<StartError> start(Request request) = 0;
    // Waits (briefly) until every stream has brought the sound captured up to this moment, hands
    // it on, then closes the streams and the connection and waits for the delivery thread. Does
    // nothing when not running.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

} // namespace palaverly
