#include "model/JsonCoding.h"

namespace palaverly::json {

std::string encodePretty(const nlohmann::json& value)
{
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<nlohmann::json> parse(std::string_view text)
{
    nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return value;
}

namespace {
const nlohmann::json* member(const nlohmann::json& object, const char* key)
{
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}
} // namespace

bool absent(const nlohmann::json& object, const char* key)
{
    const auto* value = member(object, key);
    return !value || value->is_null();
}

std::optional<std::string> string(const nlohmann::json& object, const char* key)
{
    const auto* value = member(object, key);
    if (!value || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

} // namespace palaverly::json
