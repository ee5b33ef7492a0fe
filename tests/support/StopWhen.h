#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

namespace palaverly::test {

// Runs `operation` on a worker thread, requests the stop once `ready` holds (and 50 ms more) and
// returns the outcome with the time from the stop request to the end of the operation.
template <class Result>
std::pair<Result, std::chrono::steady_clock::duration> stopWhen(
    const std::function<Result(std::stop_token)>& operation, const std::function<bool()>& ready)
{
    using Clock = std::chrono::steady_clock;
    std::optional<Result> result;
    Clock::time_point finished;
    std::jthread worker([&](std::stop_token stop) {
        result.emplace(operation(stop));
        finished = Clock::now();
    });
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!ready() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto stoppedAt = Clock::now();
    worker.request_stop();
    worker.join();
    return {std::move(*result), finished - stoppedAt};
}

} // namespace palaverly::test
