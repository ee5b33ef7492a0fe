#pragma once

#include "audio/CaptureBackend.h"

#include <atomic>
#include <functional>
#include <memory>

namespace palaverly::test {

// A capture back end that opens nothing: start answers with `startError` (or succeeds) and keeps
// the request, so a test can play the capture thread by calling the request's callbacks itself.
// The test keeps a pointer to `Control` after handing the back end to its owner.
class FakeCaptureBackend final : public CaptureBackend {
public:
    struct Control {
        std::optional<StartError> startError;
        // Runs first in every start, on the thread that starts (a test holds a start up here).
        std::function<void()> beforeStart;
        Request request;
        std::atomic<int> starts{0};
        std::atomic<int> stops{0};
        std::atomic<bool> running{false};
    };

    explicit FakeCaptureBackend(std::shared_ptr<Control> control)
        : m_control(std::move(control))
    {
    }

    std::optional<StartError> start(Request request) override
    {
        if (m_control->beforeStart)
            m_control->beforeStart();
        ++m_control->starts;
        if (m_control->startError)
            return m_control->startError;
        for (size_t i = 0; i < request.streams.size(); ++i)
            if (request.onStreamFormat)
                request.onStreamFormat(i, {48000, 1, SampleType::float32, SampleLayout::interleaved});
        m_control->request = std::move(request);
        m_control->running = true;
        return std::nullopt;
    }
    void stop() override
    {
        if (!m_control->running)
            return;
        ++m_control->stops;
        m_control->running = false;
    }
    bool isRunning() const override { return m_control->running; }

private:
    std::shared_ptr<Control> m_control;
};

} // namespace palaverly::test
