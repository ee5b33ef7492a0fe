#pragma once

#include "common/Sleeper.h"
#include "services/Transcriber.h"

#include <chrono>
#include <memory>
#include <string>

namespace palaverly {

// Client of an OpenAI-compatible transcription endpoint ("POST {address}/v1/audio/transcriptions"),
// such as a recognizer running on the user's own machine. One request carries the WAV file as a
// streamed multipart upload and is answered with the transcript ("verbose_json"). The protocol
// tells no speakers apart: every segment belongs to "SPEAKER_00".
//
// Uploads follow the job client's rules: up to 4 attempts, 2, 4 and 8 seconds apart, never
// after an HTTP 4xx answer or a cancellation, each retry logged as "Submit attempt N failed,
// retrying in Ds: why". An answer that is not a transcript counts like a failed attempt and ends
// as "Сервер расшифровки вернул некорректный ответ"; answers past 16 MiB end the same way.
// Thread rules as for every Transcriber.
class OpenAITranscriptionClient final : public Transcriber {
public:
    struct Service {
        // An origin ("http://127.0.0.1:8000"), the same with "/v1", or the whole endpoint URL.
        std::string address;
        std::string model = kDefaultModel;
        // An ISO-639-1 code such as "ru"; empty lets the service detect the language.
        std::string language;
        // Sent as "Authorization: Bearer <key>" when not empty, and nowhere else.
        std::string apiKey;
        // False: the transcript is the answer's text alone. Dictation pastes a transcript's plain
        // text, which names the speaker of every segment; with one unnamed speaker that would
        // only put "SPEAKER_00:" before the dictated words.
        bool segments = true;
    };

    struct Timeouts {
        // The upload fails when no byte moves for this long.
        std::chrono::milliseconds uploadIdle{std::chrono::seconds(60)};
        // After the upload the service transcribes the whole file before it answers a byte.
        std::chrono::milliseconds answerIdle{std::chrono::hours(4)};
        // Upper bound of one request.
        std::chrono::milliseconds resource{std::chrono::hours(4)};
    };

    static constexpr const char* kDefaultModel = "whisper-1";
    static constexpr const char* kSpeaker = "SPEAKER_00";
    static constexpr const char* kPath = "audio/transcriptions";

    // A null sleeper means real waits.
    OpenAITranscriptionClient(Service service, std::shared_ptr<Sleeper> sleeper);
    OpenAITranscriptionClient(Service service, std::shared_ptr<Sleeper> sleeper, Timeouts timeouts);

    const std::string& endpointUrl() const { return m_endpointUrl; }

    // The transcript in an answer body; invalidResponse unless it is a JSON object with a
    // "text" and, when present, "segments" that each have a "start", an "end" and a "text".
    static Expected<Transcript, ASRError> decodeAnswer(const std::string& body);

protected:
    Result run(const std::filesystem::path& audioFile, std::string_view endpoint, std::stop_token stop,
        const Uploaded& uploaded) const override;

private:
    Result attempt(
        const std::filesystem::path& audioFile, std::stop_token stop, const std::function<void()>& sent) const;

    Service m_service;
    std::string m_endpointUrl;
    std::shared_ptr<Sleeper> m_sleeper;
    Timeouts m_timeouts;
};

} // namespace palaverly
