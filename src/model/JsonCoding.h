#pragma once

#include "common/IsoDate.h"
#include "common/Uuid.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

// Strict readers for the fields of the library's JSON files: a value of the wrong type yields
// nothing, so a record decodes whole or not at all.
namespace palaverly::json {

// Pretty-printed, keys sorted, UTF-8 kept as is; how every file of the library is written.
std::string encodePretty(const nlohmann::json& value);

// Parses a whole document; nothing on any syntax error.
std::optional<nlohmann::json> parse(std::string_view text);

std::optional<std::string> string(const nlohmann::json& object, const char* key);
std::optional<double> number(const nlohmann::json& object, const char* key);
// A number with no fractional part that fits 64 bits.
std::optional<long long> integer(const nlohmann::json& object, const char* key);
std::optional<Timestamp> date(const nlohmann::json& object, const char* key);
std::optional<Uuid> uuid(const nlohmann::json& object, const char* key);
// The key is missing or null.
bool absent(const nlohmann::json& object, const char* key);

} // namespace palaverly::json
