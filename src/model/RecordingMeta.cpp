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
    RecordingKind kind = RecordingKind::meeting;
    if (!json::absent(object, "kind")) {
        // A kind that is not a string at all is a type error, not an unknown kind.
        const auto raw = json::string(object, "kind");
        if (!raw)
            return std::nullopt;
        kind = recordingKindFromRaw(*raw);
    }
    return RecordingMeta{*id, std::move(*name), *createdAt, *duration, kind};
}

} // namespace palaverly
