#include "model/Transcript.h"

#include "model/JsonCoding.h"

namespace palaverly {

std::string Transcript::displayName(const std::string& speaker) const
{
    if (speakerLabels) {
        const auto it = speakerLabels->find(speaker);
        if (it != speakerLabels->end() && !it->second.empty())
            return it->second;
    }
    return speaker;
}

std::string Transcript::plainText() const
{
    if (!segments || segments->empty())
        return text.value_or(std::string{});
    std::string out;
    for (const auto& segment : *segments) {
        if (!out.empty())
            out += "\n\n";
        out += displayName(segment.speaker);
        out += ": ";
        out += segment.text;
    }
    return out;
}

nlohmann::json Transcript::toJson() const
{
    nlohmann::json object = nlohmann::json::object();
    object["duration_sec"] = durationSec;
    object["processing_time_sec"] = processingTimeSec;
    object["rtf"] = rtf;
    if (text)
        object["text"] = *text;
    if (numSpeakers)
        object["num_speakers"] = *numSpeakers;
    if (segments) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& segment : *segments)
            list.push_back(
                {{"speaker", segment.speaker}, {"text", segment.text}, {"start", segment.start}, {"end", segment.end}});
        object["segments"] = std::move(list);
    }
    if (speakerLabels)
        object["speaker_labels"] = *speakerLabels;
    return object;
}

std::optional<Transcript> Transcript::fromJson(const nlohmann::json& object)
{
    if (!object.is_object())
        return std::nullopt;
    Transcript transcript;
    const auto duration = json::number(object, "duration_sec");
    const auto processing = json::number(object, "processing_time_sec");
    const auto rtf = json::number(object, "rtf");
    if (!duration || !processing || !rtf)
        return std::nullopt;
    transcript.durationSec = *duration;
    transcript.processingTimeSec = *processing;
    transcript.rtf = *rtf;

    if (!json::absent(object, "text")) {
        transcript.text = json::string(object, "text");
        if (!transcript.text)
            return std::nullopt;
    }
    if (!json::absent(object, "num_speakers")) {
        transcript.numSpeakers = json::integer(object, "num_speakers");
        if (!transcript.numSpeakers)
            return std::nullopt;
    }
    if (!json::absent(object, "segments")) {
        const auto& list = object.at("segments");
        if (!list.is_array())
            return std::nullopt;
        std::vector<TranscriptSegment> segments;
        segments.reserve(list.size());
        for (const auto& item : list) {
            auto speaker = json::string(item, "speaker");
            auto text = json::string(item, "text");
            const auto start = json::number(item, "start");
            const auto end = json::number(item, "end");
            if (!speaker || !text || !start || !end)
                return std::nullopt;
            segments.push_back({std::move(*speaker), std::move(*text), *start, *end});
        }
        transcript.segments = std::move(segments);
    }
    if (!json::absent(object, "speaker_labels")) {
        const auto& labels = object.at("speaker_labels");
        if (!labels.is_object())
            return std::nullopt;
        std::map<std::string, std::string> map;
        for (const auto& [key, value] : labels.items()) {
            if (!value.is_string())
                return std::nullopt;
            map.emplace(key, value.get<std::string>());
        }
        transcript.speakerLabels = std::move(map);
    }
    return transcript;
}

} // namespace palaverly
