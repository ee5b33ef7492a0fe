#pragma once

#include <chrono>
#include <cstddef>
#include <stop_token>
#include <string>

namespace palaverly {

// Downloads the update feed with one HTTP GET over libcurl (redirects followed, http and https
// only). Plain C++ so that it can run on any thread.
struct AppcastFetch {
    enum class Outcome {
        ok,
        transport, // libcurl failed: `curlCode` and `text` say why
        http, // the server answered with a status other than 2xx
        tooLarge,
        cancelled,
    };

    Outcome outcome = Outcome::ok;
    std::string body;
    long status = 0;
    int curlCode = 0;
    std::string text;

    static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;
    static constexpr std::chrono::seconds kConnectTimeout{20};
    static constexpr std::chrono::seconds kTotalTimeout{60};

    // Blocks the calling thread until the transfer ends; a stop requested on `stop` aborts it
    // within a fraction of a second. Safe from several threads at once.
    static AppcastFetch get(const std::string& url, const std::string& userAgent, std::stop_token stop);
};

} // namespace palaverly
