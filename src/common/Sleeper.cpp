#include "common/Sleeper.h"

#include <condition_variable>
#include <mutex>

namespace palaverly {

bool SteadySleeper::wait(std::chrono::milliseconds duration, std::stop_token stop)
{
    if (stop.stop_requested())
        return false;
    const auto deadline = std::chrono::steady_clock::now() + duration;
    // Nothing ever notifies this variable: the wait ends at the deadline or through the stop
    // callback that condition_variable_any installs for the token.
    std::mutex mutex;
    std::condition_variable_any wakeUp;
    std::unique_lock lock(mutex);
    while (std::chrono::steady_clock::now() < deadline) {
        if (wakeUp.wait_until(lock, stop, deadline, [] { return false; }); stop.stop_requested())
            return false;
    }
    return !stop.stop_requested();
}

} // namespace palaverly
