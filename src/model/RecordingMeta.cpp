#include "model/RecordingMeta.h"

#include "model/RecordDecoding.h"

namespace palaverly {

nlohmann::json RecordingMeta::toJson() const
{
    return {{"id", id.toString()}, {"name", name}, {"createdAt", formatIsoDate(createdAt)}, {"duration", duration},
        {"kind", rawValue(kind)}};
}

std::optional<RecordingMeta> RecordingMeta::fromJson(std::string_view text)
{
    return json::decodeText(text, json::decodeMeta);
}

namespace json {

std::optional<RecordingMeta> decodeMeta(dom::object object)
{
    RecordingMeta meta;
    bool hasID = false, hasName = false, hasDate = false, hasDuration = false;
    const bool read = forEachMember(object, [&](std::string_view key, dom::element value) {
        if (key == "id") {
            std::string_view text;
            if (!readString(value, text))
                return false;
            const auto id = Uuid::parse(text);
            if (!id)
                return false;
            meta.id = *id;
            return hasID = true;
        }
        if (key == "name")
            return hasName = readString(value, meta.name);
        if (key == "createdAt")
            return hasDate = readDate(value, meta.createdAt);
        if (key == "duration")
            return hasDuration = readNumber(value, meta.duration);
        if (key == "kind") {
            // Anything but the string "note" is a meeting: a missing kind, null, another string
            // or a value of another type.
            std::string_view raw;
            meta.kind = readString(value, raw) ? recordingKindFromRaw(raw) : RecordingKind::meeting;
            return true;
        }
        return true;
    });
    if (!read || !hasID || !hasName || !hasDate || !hasDuration)
        return std::nullopt;
    return meta;
}

} // namespace json

} // namespace palaverly
