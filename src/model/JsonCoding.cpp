#include "model/JsonCoding.h"

#include <cmath>

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

std::optional<double> number(const nlohmann::json& object, const char* key)
{
    const auto* value = member(object, key);
    if (!value || !value->is_number())
        return std::nullopt;
    return value->get<double>();
}

std::optional<long long> integer(const nlohmann::json& object, const char* key)
{
    const auto* value = member(object, key);
    if (!value || !value->is_number())
        return std::nullopt;
    if (value->is_number_integer()) {
        if (value->is_number_unsigned() && value->get<unsigned long long>() > 9223372036854775807ull)
            return std::nullopt;
        return value->get<long long>();
    }
    const double d = value->get<double>();
    if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 9.2e18)
        return std::nullopt;
    return static_cast<long long>(d);
}

std::optional<Timestamp> date(const nlohmann::json& object, const char* key)
{
    const auto text = string(object, key);
    return text ? parseIsoDate(*text) : std::nullopt;
}

std::optional<Uuid> uuid(const nlohmann::json& object, const char* key)
{
    const auto text = string(object, key);
    return text ? Uuid::parse(*text) : std::nullopt;
}

} // namespace palaverly::json
