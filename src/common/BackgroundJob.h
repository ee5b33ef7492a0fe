#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <stop_token>
#include <thread>
#include <utility>

namespace palaverly {

// Work that runs off the main thread (network calls, sleeps between retries) and reports back
// to the main thread. Cancelling requests a stop on the token the work receives; the clients
// abort their transfers and sleeps when it is requested. Destroying the job cancels it and
// waits for the thread, so the owner destroys jobs only once they have reported back or from
// its own destructor.
class BackgroundJob {
public:
    explicit BackgroundJob(std::function<void(std::stop_token)> work)
        : m_thread(std::move(work))
    {
    }
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    void cancel() { m_thread.request_stop(); }

private:
    std::jthread m_thread;
};

// Runs `function` on the thread of `context` (the main thread for our models) from any thread.
// Nothing runs when `context` is destroyed before the event loop gets to it, so a job that
// finishes after its owner is gone changes nothing.
template <typename Function> void postTo(QObject* context, Function&& function)
{
    QMetaObject::invokeMethod(context, std::forward<Function>(function), Qt::QueuedConnection);
}

} // namespace palaverly
