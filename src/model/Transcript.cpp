#include "model/Transcript.h"

#include "model/RecordDecoding.h"

#include <limits>

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

std::optional<Transcript> Transcript::fromJson(std::string_view text)
{
    return json::decodeText(text, json::decodeTranscript);
}

TranscriptInfo TranscriptInfo::of(const Transcript& transcript, const FileStamp& file)
{
    TranscriptInfo info;
    info.file = file;
    info.hasSegments = transcript.segments && !transcript.segments->empty();
    info.hasText = transcript.text && !transcript.text->empty();
    info.numSpeakers = transcript.numSpeakers;
    if (!info.hasSegments) {
        info.preview = transcript.text.value_or(std::string{});
    } else {
        for (const auto& segment : *transcript.segments) {
            if (!info.preview.empty())
                info.preview += "\n\n";
            info.preview += transcript.displayName(segment.speaker);
            info.preview += ": ";
            info.preview += segment.text;
            if (info.preview.size() >= kPreviewBytes)
                break;
        }
    }
    if (info.preview.size() > kPreviewBytes) {
        // Cut before a continuation byte never splits a character.
        std::size_t cut = kPreviewBytes;
        while (cut > 0 && (static_cast<unsigned char>(info.preview[cut]) & 0xC0) == 0x80)
            --cut;
        info.preview.resize(cut);
    }
    return info;
}

namespace json {

namespace {

// Decodes a transcript into `out`, checking all of it but keeping the segments only until their
// texts add up to `keepBytes` and the text only up to that many bytes (the first segment is
// always kept).
bool decodeTranscriptInto(dom::object object, Transcript& out, std::size_t keepBytes)
{
    bool hasDuration = false, hasProcessing = false, hasRtf = false;
    const bool read = forEachMember(object, [&](std::string_view key, dom::element value) {
        if (key == "duration_sec")
            return hasDuration = readNumber(value, out.durationSec);
        if (key == "processing_time_sec")
            return hasProcessing = readNumber(value, out.processingTimeSec);
        if (key == "rtf")
            return hasRtf = readNumber(value, out.rtf);
        const bool isNull = value.is_null();
        if (key == "text") {
            if (isNull) {
                out.text.reset();
                return true;
            }
            std::string_view text;
            if (!readString(value, text))
                return false;
            // A few bytes more than kept, so that the cut can fall back to a character boundary.
            out.text = std::string(text.substr(0, keepBytes < text.size() ? keepBytes + 4 : text.size()));
            return true;
        }
        if (key == "num_speakers") {
            if (isNull) {
                out.numSpeakers.reset();
                return true;
            }
            long long count = 0;
            if (!readInteger(value, count))
                return false;
            out.numSpeakers = count;
            return true;
        }
        if (key == "segments") {
            if (isNull) {
                out.segments.reset();
                return true;
            }
            dom::array list;
            if (value.get_array().get(list))
                return false;
            std::vector<TranscriptSegment> segments;
            std::size_t kept = 0;
            for (dom::element element : list) {
                dom::object item;
                if (element.get_object().get(item))
                    return false;
                // Views into the parsed document; copied only for the segments that are kept.
                std::string_view speaker, text;
                double start = 0, end = 0;
                bool hasSpeaker = false, hasText = false, hasStart = false, hasEnd = false;
                const bool segmentRead = forEachMember(item, [&](std::string_view name, dom::element field) {
                    if (name == "speaker")
                        return hasSpeaker = readString(field, speaker);
                    if (name == "text")
                        return hasText = readString(field, text);
                    if (name == "start")
                        return hasStart = readNumber(field, start);
                    if (name == "end")
                        return hasEnd = readNumber(field, end);
                    return true;
                });
                if (!segmentRead || !hasSpeaker || !hasText || !hasStart || !hasEnd)
                    return false;
                if (segments.empty() || kept < keepBytes) {
                    kept += text.size() + 4;
                    segments.push_back({std::string(speaker), std::string(text), start, end});
                }
            }
            out.segments = std::move(segments);
            return true;
        }
        if (key == "speaker_labels") {
            if (isNull) {
                out.speakerLabels.reset();
                return true;
            }
            dom::object labels;
            if (value.get_object().get(labels))
                return false;
            std::map<std::string, std::string> map;
            const bool labelsRead = forEachMember(labels, [&](std::string_view speaker, dom::element label) {
                std::string name;
                if (!readString(label, name))
                    return false;
                map[std::string(speaker)] = std::move(name);
                return true;
            });
            if (!labelsRead)
                return false;
            out.speakerLabels = std::move(map);
            return true;
        }
        return true;
    });
    return read && hasDuration && hasProcessing && hasRtf;
}

} // namespace

std::optional<Transcript> decodeTranscript(dom::object object)
{
    Transcript transcript;
    if (!decodeTranscriptInto(object, transcript, std::numeric_limits<std::size_t>::max()))
        return std::nullopt;
    return transcript;
}

std::optional<TranscriptInfo> decodeTranscriptInfo(dom::object object)
{
    Transcript beginning;
    if (!decodeTranscriptInto(object, beginning, TranscriptInfo::kPreviewBytes))
        return std::nullopt;
    return TranscriptInfo::of(beginning);
}

} // namespace json

} // namespace palaverly
