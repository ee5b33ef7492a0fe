#include "services/ServiceAnswers.h"

#include "common/Text.h"
#include "model/JsonCoding.h"
#include "model/RecordDecoding.h"

namespace palaverly {

Expected<std::string, DecodingError> decodeJobId(std::string_view body)
{
    const auto document = json::parse(body);
    if (!document || !document->is_object())
        return unexpected(DecodingError{DecodingError::Kind::invalidFormat, "upload answer is not a JSON object"});
    if (json::absent(*document, "job_id"))
        return unexpected(DecodingError{DecodingError::Kind::missingData, "job_id"});
    auto jobId = json::string(*document, "job_id");
    if (!jobId)
        return unexpected(DecodingError{DecodingError::Kind::invalidFormat, "job_id"});
    return std::move(*jobId);
}

Expected<JobStatus, DecodingError> decodeJobStatus(std::string_view body)
{
    namespace dom = json::dom;
    DecodingError problem{DecodingError::Kind::invalidFormat, "job answer is not a JSON object"};
    const auto fail = [&](DecodingError::Kind kind, const char* detail) {
        problem = {kind, detail};
        return false;
    };
    auto job = json::decodeText(body, [&](dom::object object) -> std::optional<JobStatus> {
        JobStatus job;
        bool hasStatus = false;
        const bool read = json::forEachMember(object, [&](std::string_view key, dom::element value) {
            const bool isNull = value.is_null();
            if (key == "status") {
                hasStatus = !isNull;
                return isNull || json::readString(value, job.status)
                    || fail(DecodingError::Kind::invalidFormat, "status");
            }
            if (key == "error") {
                job.error.reset();
                std::string message;
                if (isNull)
                    return true;
                if (!json::readString(value, message))
                    return fail(DecodingError::Kind::invalidFormat, "error");
                job.error = std::move(message);
                return true;
            }
            if (key != "result")
                return true;
            job.result.reset();
            if (isNull)
                return true;
            dom::object transcript;
            if (value.get_object().get(transcript))
                return fail(DecodingError::Kind::invalidFormat, "result");
            job.result = json::decodeTranscript(transcript);
            return job.result || fail(DecodingError::Kind::invalidFormat, "result");
        });
        if (read && !hasStatus)
            fail(DecodingError::Kind::missingData, "status");
        return read && hasStatus ? std::optional(std::move(job)) : std::nullopt;
    });
    if (!job)
        return unexpected(std::move(problem));
    return std::move(*job);
}

Expected<std::string, DecodingError> decodeChatContent(std::string_view body)
{
    const auto document = json::parse(body);
    if (!document || !document->is_object())
        return unexpected(DecodingError{DecodingError::Kind::invalidFormat, "answer is not a JSON object"});
    if (json::absent(*document, "choices"))
        return unexpected(DecodingError{DecodingError::Kind::missingData, "choices"});
    const auto& choices = document->at("choices");
    if (!choices.is_array())
        return unexpected(DecodingError{DecodingError::Kind::invalidFormat, "choices"});
    std::string first;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        const auto& choice = choices[i];
        if (!choice.is_object())
            return unexpected(DecodingError{DecodingError::Kind::invalidFormat, "choice"});
        if (json::absent(choice, "message"))
            return unexpected(DecodingError{DecodingError::Kind::missingData, "message"});
        const auto& message = choice.at("message");
        if (!message.is_object())
            return unexpected(DecodingError{DecodingError::Kind::invalidFormat, "message"});
        if (json::absent(message, "content"))
            return unexpected(DecodingError{DecodingError::Kind::missingData, "content"});
        auto content = json::string(message, "content");
        if (!content)
            return unexpected(DecodingError{DecodingError::Kind::invalidFormat, "content"});
        if (i == 0)
            first = std::move(*content);
    }
    return first;
}

std::optional<Transcript> decodeTranscriptionAnswer(std::string_view body, const std::string& speaker)
{
    namespace dom = json::dom;
    const auto readSegment = [&](dom::element value, std::vector<TranscriptSegment>& turns) {
        dom::object object;
        if (value.get_object().get(object))
            return false;
        std::optional<double> start, end;
        std::optional<std::string> words;
        const bool read = json::forEachMember(object, [&](std::string_view key, dom::element member) {
            double number = 0;
            std::string text;
            if (key == "start" || key == "end") {
                if (!json::readNumber(member, number))
                    return false;
                (key == "start" ? start : end) = number;
            } else if (key == "text") {
                if (!json::readString(member, text))
                    return false;
                words = std::move(text);
            }
            return true;
        });
        if (!read || !start || !end || !words)
            return false;
        // The protocol starts most segments with the space that separated them.
        turns.push_back({speaker, trimmedWhitespace(*words), *start, *end});
        return true;
    };
    return json::decodeText(body, [&](dom::object object) -> std::optional<Transcript> {
        std::optional<std::string> text;
        std::optional<std::vector<TranscriptSegment>> segments;
        std::optional<double> duration;
        const bool read = json::forEachMember(object, [&](std::string_view key, dom::element value) {
            if (key == "text") {
                std::string words;
                text.reset();
                if (!json::readString(value, words))
                    return false;
                text = std::move(words);
            } else if (key == "segments") {
                segments.reset();
                if (value.is_null())
                    return true;
                dom::array array;
                if (value.get_array().get(array))
                    return false;
                std::vector<TranscriptSegment> turns;
                for (dom::element segment : array)
                    if (!readSegment(segment, turns))
                        return false;
                segments = std::move(turns);
            } else if (key == "duration") {
                double number = 0;
                duration = json::readNumber(value, number) ? std::optional(number) : std::nullopt;
            }
            return true;
        });
        if (!read || !text)
            return std::nullopt;
        Transcript transcript;
        transcript.text = std::move(*text);
        if (segments) {
            transcript.numSpeakers = segments->empty() ? 0 : 1;
            transcript.segments = std::move(*segments);
        }
        if (duration)
            transcript.durationSec = *duration;
        else if (transcript.segments && !transcript.segments->empty())
            transcript.durationSec = transcript.segments->back().end;
        return transcript;
    });
}

} // namespace palaverly
