#pragma once

#include "common/Expected.h"
#include "model/Transcript.h"
#include "services/ServiceFailure.h"

#include <optional>
#include <string>
#include <string_view>

// The decoders of the remote services' answers. A missing or null required member is
// missingData; anything else that does not fit, a syntax error included, is invalidFormat.
namespace palaverly {

// The "job_id" of the speech-recognition service's upload answer.
Expected<std::string, DecodingError> decodeJobId(std::string_view body);

// A poll answer of the speech-recognition service: "status", with "result" (a transcript) and
// "error" when present and not null.
struct JobStatus {
    std::string status;
    std::optional<Transcript> result;
    std::optional<std::string> error;
};
Expected<JobStatus, DecodingError> decodeJobStatus(std::string_view body);

// The first choice's content of a chat-completions answer; the empty string when there is no
// choice. Every choice must have a string content, or the whole answer is undecodable.
Expected<std::string, DecodingError> decodeChatContent(std::string_view body);

// The transcript of an OpenAI-compatible transcription answer: "text", and when present and not
// null "segments" (each with "start", "end" and "text") and "duration". Every segment goes to
// `speaker`; the duration is the last segment's end when the answer gives none. Nothing unless
// all of these have their types.
std::optional<Transcript> decodeTranscriptionAnswer(std::string_view body, const std::string& speaker);

} // namespace palaverly
