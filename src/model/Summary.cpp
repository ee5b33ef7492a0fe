#include "model/Summary.h"

#include "model/RecordDecoding.h"

namespace palaverly {

nlohmann::json Summary::toJson() const
{
    return {{"model", model}, {"createdAt", formatIsoDate(createdAt)}, {"text", text}};
}

std::optional<Summary> Summary::fromJson(std::string_view text)
{
    return json::decodeText(text, json::decodeSummary);
}

namespace json {

std::optional<Summary> decodeSummary(dom::object object)
{
    Summary summary;
    bool hasModel = false, hasDate = false, hasText = false;
    const bool read = forEachMember(object, [&](std::string_view key, dom::element value) {
        if (key == "model")
            return hasModel = readString(value, summary.model);
        if (key == "createdAt")
            return hasDate = readDate(value, summary.createdAt);
        if (key == "text")
            return hasText = readString(value, summary.text);
        return true;
    });
    if (!read || !hasModel || !hasDate || !hasText)
        return std::nullopt;
    return summary;
}

} // namespace json

} // namespace palaverly
