#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace palaverly {

// One speaker turn. Times are seconds from the start of the audio.
struct TranscriptSegment {
    std::string speaker;
    std::string text;
    double start = 0;
    double end = 0;

    bool operator==(const TranscriptSegment&) const = default;
};

// The speech-recognition result; the content of transcript.json and the "result" of a job.
struct Transcript {
    std::optional<std::string> text;
    std::optional<std::vector<TranscriptSegment>> segments;
    std::optional<long long> numSpeakers;
    double durationSec = 0;
    double processingTimeSec = 0;
    double rtf = 0;
    // User-given names by speaker id; absent when no speaker has one.
    std::optional<std::map<std::string, std::string>> speakerLabels;

    // The user-given name of a speaker when there is a non-empty one, else the id.
    std::string displayName(const std::string& speaker) const;
    // "Name: text" per turn, turns separated by a blank line; the plain text without turns.
    std::string plainText() const;

    nlohmann::json toJson() const;
    // All or nothing: a missing required key or a value of the wrong type yields nothing.
    static std::optional<Transcript> fromJson(std::string_view text);

    bool operator==(const Transcript&) const = default;
};

} // namespace palaverly
