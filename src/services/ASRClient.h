#pragma once

#include "common/Expected.h"
#include "common/Sleeper.h"
#include "model/Transcript.h"
#include "services/ServiceFailure.h"
#include "services/Transcriber.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace palaverly {

// Client of the speech-recognition service's job interface: a WAV file is uploaded once to a job
// endpoint ("/api/diarize/async" or "/api/transcribe/async"), which answers with a job id; the
// job is then polled every 3 seconds until it is finished.
//
// Every operation blocks its calling thread until it ends, so it is run on a worker thread
// (std::jthread), never on the GUI thread. The client holds no mutable state: any number of
// operations may run at once on one instance. A stop requested on the operation's token ends it
// promptly (an upload or poll in flight is aborted, a wait is cut short) with Cancelled.
class ASRClient final : public Transcriber {
public:
    using ASRError = palaverly::ASRError;
    using Failure = Transcriber::Failure;
    template <class T> using Result = Expected<T, Failure>;

    struct Timeouts {
        // A poll fails when no byte moves for this long.
        std::chrono::milliseconds requestIdle{std::chrono::seconds(600)};
        // An upload fails when no byte moves for this long.
        std::chrono::milliseconds uploadIdle{std::chrono::seconds(60)};
        // Upper bound of one request of either kind.
        std::chrono::milliseconds resource{std::chrono::hours(4)};
    };

    static constexpr std::chrono::milliseconds kPollInterval{3000};

    // The compiled-in service, real waits.
    ASRClient();
    // `baseUrl` is an origin such as "http://127.0.0.1:8080" (a trailing slash is dropped); a null
    // sleeper means real waits.
    ASRClient(std::string baseUrl, std::shared_ptr<Sleeper> sleeper);
    ASRClient(std::string baseUrl, std::shared_ptr<Sleeper> sleeper, Timeouts timeouts);
    // `apiKey`, when not empty, is sent as "Authorization: Bearer <key>" with every request and
    // appears nowhere else (no log line, no error text).
    ASRClient(std::string baseUrl, std::shared_ptr<Sleeper> sleeper, Timeouts timeouts, std::string apiKey);

    // The one client of the program, created on first use and never destroyed; used by the
    // processing pipeline and by dictation.
    static ASRClient& shared();

    // Uploads the WAV file to `endpoint` (a path beginning with "/") and returns the job id.
    // Up to 4 attempts, 2, 4 and 8 seconds apart; an HTTP 4xx answer or a cancellation ends it at
    // once. After the last attempt its failure is returned (ASRError, TransportError or
    // DecodingError). The file is read, never changed, and never held in memory whole.
    Result<std::string> submitJob(
        const std::filesystem::path& audioFile, std::string_view endpoint, std::stop_token stop) const;

    // Waits 3 seconds, asks for the job's state, and repeats until the job is completed (its
    // transcript), failed or in an unknown state (ASRError), or the stop is requested
    // (Cancelled). Transport failures, answers other than 200 and undecodable answers are
    // logged and polled again; there is no overall deadline. An answer larger than 16 MiB ends it
    // with invalidResponse.
    Result<Transcript> pollJob(const std::string& jobId, std::stop_token stop) const;

    const std::string& baseUrl() const { return m_baseUrl; }

protected:
    // transcribe(): submitJob, then pollJob. Without `uploaded` the client logs "ASR job
    // submitted" itself; a caller that passes it reports the submission in its own words.
    Transcriber::Result run(const std::filesystem::path& audioFile, std::string_view endpoint, std::stop_token stop,
        const Uploaded& uploaded) const override;

private:
    std::vector<std::string> headers() const;
    Result<std::string> submitOnce(
        const std::filesystem::path& audioFile, const std::string& url, std::stop_token stop) const;

    std::string m_baseUrl;
    std::string m_apiKey;
    std::shared_ptr<Sleeper> m_sleeper;
    Timeouts m_timeouts;
};

} // namespace palaverly
