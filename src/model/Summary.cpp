#include "model/Summary.h"

#include "model/JsonCoding.h"

namespace palaverly {

nlohmann::json Summary::toJson() const
{
    return {{"model", model}, {"createdAt", formatIsoDate(createdAt)}, {"text", text}};
}

std::optional<Summary> Summary::fromJson(const nlohmann::json& object)
{
    auto model = json::string(object, "model");
    const auto createdAt = json::date(object, "createdAt");
    auto text = json::string(object, "text");
    if (!model || !createdAt || !text)
        return std::nullopt;
    return Summary{std::move(*model), *createdAt, std::move(*text)};
}

} // namespace palaverly
