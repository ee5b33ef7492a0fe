#pragma once

#include "FakeHttpServer.h"

#include <deque>
#include <map>
#include <nlohmann/json.hpp>

namespace palaverly::test {

// An OpenAI-compatible transcription endpoint on 127.0.0.1:
//   POST /v1/audio/transcriptions with a multipart/form-data body: a part "file" with a filename
//   (the audio) and text parts such as "model" and "response_format". With a key set, requests
//   without "Authorization: Bearer <key>" get 401; a body that is not such a form gets 400; other
//   paths 404.
// Unscripted, it answers 200 with a "verbose_json" transcript of the current segments.
// Thread-safe: the test thread scripts and inspects while server threads answer.
class FakeOpenAISpeechService {
public:
    struct Segment {
        double start = 0;
        double end = 0;
        std::string text;
    };
    // A well-formed upload as the endpoint read it.
    struct Upload {
        std::string boundary;
        std::string filename;
        std::string fileContentType;
        std::string audio;
        // The text parts by name.
        std::map<std::string, std::string> fields;
    };

    explicit FakeOpenAISpeechService(std::string apiKey = {});

    std::string baseUrl() const { return m_server.baseUrl(); }
    FakeHttpServer& server() { return m_server; }

    // Answers for the next authorised, well-formed uploads, in order.
    void scriptAnswers(std::vector<FakeAnswer> answers);
    void setSegments(std::vector<Segment> segments, double duration);

    // 200 with the verbose_json answer of these segments (their texts joined as "text").
    static FakeAnswer verboseJson(const std::vector<Segment>& segments, double duration);

    std::vector<RecordedRequest> requests() const { return m_server.requests(); }
    std::vector<Upload> uploads() const;

private:
    FakeAnswer respond(const RecordedRequest& request);

    std::string m_apiKey;
    mutable std::mutex m_mutex;
    std::deque<FakeAnswer> m_script;
    std::vector<Segment> m_segments;
    double m_duration = 0;
    std::vector<Upload> m_uploads;
    // Last member: destroyed first, so no server thread runs while the state above goes away.
    FakeHttpServer m_server;
};

} // namespace palaverly::test
