#pragma once

#include "common/IsoDate.h"

#include <simdjson.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Strict reading of JSON documents with simdjson's on-demand parser. Every value of a document
// is looked at, including the ones of unknown keys, so that a document with any syntax error
// anywhere fails as a whole, as with a parser that builds the whole tree. A key that occurs twice
// counts with its last value.
namespace palaverly::json {

namespace od = simdjson::ondemand;

// A document's bytes followed by the padding the parser may read past their end. Reused from
// file to file, it allocates only when a larger file comes.
class PaddedText {
public:
    PaddedText() = default;
    explicit PaddedText(std::string_view text) { assign(text); }

    void assign(std::string_view text);
    // Reads a regular file of at most `maxBytes`; false on any failure, errno telling why when a
    // system call failed (0 for a file too large).
    bool readFile(const std::filesystem::path& path, std::uintmax_t maxBytes);
    std::string_view text() const { return {m_bytes.data(), m_size}; }
    std::size_t capacity() const { return m_bytes.size(); }

private:
    void reserve(std::size_t size);

    std::string m_bytes;
    std::size_t m_size = 0;
};

// Parses `text` as one JSON object and nothing after it, and hands the object to
// `decode(od::object&)`, which returns an optional; nothing when the text is not such a document
// or `decode` gives nothing.
template <typename Decode>
auto decodeObject(od::parser& parser, const PaddedText& text, Decode&& decode)
    -> decltype(decode(std::declval<od::object&>()))
{
    od::document document;
    if (parser.iterate(text.text(), text.capacity()).get(document))
        return std::nullopt;
    od::object object;
    if (document.get_object().get(object))
        return std::nullopt;
    auto decoded = decode(object);
    // A second value after the object leaves the parser somewhere inside the text.
    if (!decoded || !document.current_location().error())
        return std::nullopt;
    return decoded;
}

// Walks the members of an object, calling `member(key, value)` for each; `member` returns false to
// stop with a failure. False also on a syntax error.
template <typename Member> bool forEachMember(od::object& object, Member&& member)
{
    for (auto result : object) {
        od::field field;
        if (std::move(result).get(field))
            return false;
        std::string_view key;
        if (field.unescaped_key().get(key))
            return false;
        if (!member(key, field.value()))
            return false;
    }
    return true;
}

// Readers of one value; false when the value has another type or is malformed.
bool readString(od::value value, std::string_view& out);
bool readString(od::value value, std::string& out);
bool readNumber(od::value value, double& out);
// An internet date-time string with whole seconds.
bool readDate(od::value value, Timestamp& out);
// A number with no fractional part that fits 64 bits.
bool readInteger(od::value value, long long& out);
// Whether the value is null; false when it is malformed.
bool readNull(od::value value, bool& isNull);
// Checks a value of any type, all of it, without keeping it.
bool skip(od::value value);

} // namespace palaverly::json
