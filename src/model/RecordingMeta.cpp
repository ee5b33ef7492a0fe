#include "model/RecordingMeta.h"

#include "model/JsonCoding.h"

namespace palaverly {

nlohmann::json RecordingMeta::toJson() const
{
    return {{"id", id.toString()}, {"name", name}, {"createdAt", formatIsoDate(createdAt)}, {"duration", duration},
        {"kind", rawValue(kind)}};
}

std::optional<RecordingMeta> RecordingMeta::fromJson(const nlohmann::json& object)
{
    const auto id = json::uuid(object, "id");
    auto name = json::string(object, "name");
    const auto createdAt = json::date(object, "createdAt");
    const auto duration = json::number(object, "duration");
    if (!id || !name || !createdAt || !duration)
        return std::nullopt;
    // Missing, or any other value (another word, a number, an object): a meeting.
    const auto raw = json::string(object, "kind");
    const RecordingKind kind = raw ? recordingKindFromRaw(*raw) : RecordingKind::meeting;
    return RecordingMeta{*id, std::move(*name), *createdAt, *duration, kind};
}

} // namespace palaverly
