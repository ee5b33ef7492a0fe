#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

// Writing the library's JSON files, and strict readers for the fields of small documents (the
// chat-completions answer, the upload answer): a value of the wrong type yields nothing. The
// library's own files are read by RecordDecoding.h.
namespace palaverly::json {

// Pretty-printed, keys sorted, UTF-8 kept as is; how every file of the library is written.
std::string encodePretty(const nlohmann::json& value);

// Parses a whole document; nothing on any syntax error.
std::optional<nlohmann::json> parse(std::string_view text);

std::optional<std::string> string(const nlohmann::json& object, const char* key);
// The key is missing or null.
bool absent(const nlohmann::json& object, const char* key);

} // namespace palaverly::json
