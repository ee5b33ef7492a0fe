#pragma once

#include "common/Sleeper.h"

#include <functional>
#include <mutex>
#include <vector>

namespace palaverly::test {

// A Sleeper that returns at once and remembers every requested delay. A hook, run inside each
// wait on the waiting thread, lets a test act at that moment (request a stop, change a script).
// Thread-safe.
class RecordingSleeper final : public Sleeper {
public:
    // Gets the number of the wait (1 for the first) and its delay.
    using Hook = std::function<void(int waitNumber, std::chrono::milliseconds delay)>;

    bool wait(std::chrono::milliseconds duration, std::stop_token stop) override
    {
        Hook hook;
        int number = 0;
        {
            std::lock_guard lock(m_mutex);
            m_delays.push_back(duration);
            number = static_cast<int>(m_delays.size());
            hook = m_hook;
        }
        if (hook)
            hook(number, duration);
        return !stop.stop_requested();
    }

    void setHook(Hook hook)
    {
        std::lock_guard lock(m_mutex);
        m_hook = std::move(hook);
    }

    std::vector<std::chrono::milliseconds> delays() const
    {
        std::lock_guard lock(m_mutex);
        return m_delays;
    }

    // The delays in whole seconds, for compact assertions.
    std::vector<long> delaySeconds() const
    {
        std::vector<long> out;
        for (auto delay : delays())
            out.push_back(static_cast<long>(delay.count() / 1000));
        return out;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::chrono::milliseconds> m_delays;
    Hook m_hook;
};

} // namespace palaverly::test
