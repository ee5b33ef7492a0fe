#pragma once

#include "FakeHttpServer.h"

#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

namespace palaverly::test {

// A speech-recognition service with the asynchronous job interface, on 127.0.0.1:
//   POST /api/diarize/async and POST /api/transcribe/async take a multipart/form-data body with
//     a part named "audio" that carries a file; the answer is 200 {"job_id": "<id>"}. A body that
//     is not such a form gets 400.
//   GET /api/jobs/<id> answers 200 {"status": ..., "result": ..., "error": ...}; an id the
//     service never gave out gets 404.
// Unscripted, an accepted upload starts a job that reports "processing" to its first poll and
// "completed" with the current transcript from then on. Scripts override answers one at a time.
// Thread-safe: the test thread scripts and inspects while server threads answer.
class FakeSpeechService {
public:
    // A well-formed upload as the service read it.
    struct Upload {
        std::string endpoint;
        std::string boundary;
        std::string fieldName;
        std::string filename;
        // The part's own Content-Type header; empty when it had none.
        std::string contentType;
        std::string audio;
    };

    FakeSpeechService();

    std::string baseUrl() const { return m_server.baseUrl(); }
    FakeHttpServer& server() { return m_server; }

    // Answers for the next well-formed uploads, in order, instead of accepting them. A 2xx answer
    // whose JSON carries "job_id" registers that job. stallWhileReceiving and reset take effect
    // before the body is read. Once used up, uploads are accepted again.
    void scriptUploads(std::vector<FakeAnswer> answers);
    // Answers for the next polls (of any job id), in order; afterwards jobs progress as usual.
    void scriptPolls(std::vector<FakeAnswer> answers);
    // The "result" of completed jobs (the transcript.json object); sampleTranscript() by default.
    void setTranscript(nlohmann::json result);
    // How many polls of a job report "processing" before it completes (1 by default).
    void setPollsBeforeCompletion(int polls);

    static FakeAnswer accepted(const std::string& jobId);
    static FakeAnswer jobStatus(const std::string& status);
    static FakeAnswer jobCompleted(const nlohmann::json& result);
    // "failed", with "error" when given.
    static FakeAnswer jobFailed(const std::optional<std::string>& error);
    // Two speakers, three turns, every field of a result.
    static nlohmann::json sampleTranscript();

    std::vector<RecordedRequest> requests() const { return m_server.requests(); }
    std::vector<Upload> uploads() const;
    std::vector<RecordedRequest> uploadRequests() const;
    std::vector<RecordedRequest> pollRequests() const;

private:
    FakeAnswer respond(const RecordedRequest& request);
    std::optional<FakeAnswer> respondBeforeBody(const RecordedRequest& request);
    FakeAnswer answerUpload(const RecordedRequest& request);
    FakeAnswer answerPoll(const std::string& jobId);
    void registerJobIn(const FakeAnswer& answer);

    mutable std::mutex m_mutex;
    std::deque<FakeAnswer> m_uploadScript;
    std::deque<FakeAnswer> m_pollScript;
    nlohmann::json m_transcript;
    int m_pollsBeforeCompletion = 1;
    std::map<std::string, int> m_pollsByJob;
    int m_nextJob = 1;
    std::vector<Upload> m_uploads;
    // Last member: destroyed first, so no server thread runs while the state above goes away.
    FakeHttpServer m_server;
};

} // namespace palaverly::test
