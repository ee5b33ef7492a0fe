#pragma once

#include "audio/CaptureBackend.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace palaverly {

// Keeps a recording going through a sound server that dies or restarts. Wraps another back end:
// when its connection is lost, a thread of its own closes it and connects again every
// kRetryInterval, opening every stream of the request anew in the format it had. Meanwhile, up to
// the moment the wrapped back end is started again (from which on it hands on each stream's time
// itself, silence for a stream that starts late), each stream's time is filled with silence
// (delivered through the stream's own callback), so what comes after the gap stays in time with
// the wall clock. A stop during the gap fills it up to the stop.
//
// The owner's request sees onConnectionLost when the server goes and onReconnected when every
// stream records again. Threads as CaptureBackend says, with one widening: buffers come one at a
// time, from the wrapped back end's delivery thread or, while it is closed, from the reconnect
// thread, and the silence up to a stop from the stopping thread before stop returns.
class ReconnectingCaptureBackend final : public CaptureBackend {
public:
    static constexpr std::chrono::milliseconds kRetryInterval{200};

    explicit ReconnectingCaptureBackend(std::unique_ptr<CaptureBackend> inner);
    ~ReconnectingCaptureBackend() override; // stops

    std::optional<StartError> start(Request request) override;
    void stop() override;
    // From a successful start to stop, also while the server is away.
    bool isRunning() const override { return m_running; }

private:
    using Clock = std::chrono::steady_clock;

    // What one stream has delivered, in time. Touched by whichever thread delivers at the moment.
    struct StreamTime {
        AudioFormat format;
        // The moment up to which the stream's audio reached its owner: the last buffer's delivery,
        // or the end of the silence filled in for it.
        Clock::time_point coveredUntil;
    };

    Request innerRequest();
    // Delivery thread.
    void deliver(size_t index, const AudioBuffer& buffer);
    void connectionLost(const std::string& reason);
    // Reconnect thread.
    void superviseConnection(std::stop_token stop);
    // While nothing else delivers: silence for every stream up to `until`.
    void fillSilence(size_t index, Clock::time_point until);

    std::unique_ptr<CaptureBackend> m_inner;
    Request m_request; // the owner's; set before the threads start, read by them
    std::vector<StreamTime> m_streams;
    bool m_running = false;

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    bool m_lost = false; // under m_mutex
    std::jthread m_reconnect;
};

} // namespace palaverly
