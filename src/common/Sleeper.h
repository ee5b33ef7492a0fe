#pragma once

#include <chrono>
#include <stop_token>

namespace palaverly {

// Waits between retries and polls. Production code uses SteadySleeper; tests substitute one
// that records the requested delays and returns at once.
class Sleeper {
public:
    virtual ~Sleeper() = default;

    // Blocks the calling thread for `duration` or until a stop is requested on `stop`, whichever
    // comes first. Returns true when the whole duration passed, false when stopped (also when the
    // stop was requested before the call). Safe to call from several threads at once.
    virtual bool wait(std::chrono::milliseconds duration, std::stop_token stop) = 0;
};

// Sleeps on the monotonic clock, so a change of the wall clock neither shortens nor stretches a
// wait; wakes at once when the stop is requested.
class SteadySleeper final : public Sleeper {
public:
    bool wait(std::chrono::milliseconds duration, std::stop_token stop) override;
};

} // namespace palaverly
