#pragma once

#include "common/IsoDate.h"

#include <simdjson.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// Strict reading of JSON documents with simdjson's DOM parser, which checks the whole document
// (with the fastest kernel the processor has) before any value is read: a document with a syntax
// error anywhere fails as a whole. A key that occurs twice counts with its last value.
namespace palaverly::json {

namespace dom = simdjson::dom;

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

private:
    void reserve(std::size_t size);

    std::string m_bytes;
    std::size_t m_size = 0;
};

// Parses `text` as one JSON object and hands the object to `decode(dom::object)`, which returns an
// optional; nothing when the text is not such a document or `decode` gives nothing.
template <typename Decode>
auto decodeObject(dom::parser& parser, const PaddedText& text, Decode&& decode)
    -> decltype(decode(std::declval<dom::object>()))
{
    dom::element root;
    if (parser.parse(text.text().data(), text.text().size(), false).get(root))
        return std::nullopt;
    dom::object object;
    if (root.get_object().get(object))
        return std::nullopt;
    return decode(object);
}

// Calls `member(key, value)` for each member of an object in order; false as soon as `member`
// returns false.
template <typename Member> bool forEachMember(dom::object object, Member&& member)
{
    for (auto [key, value] : object)
        if (!member(key, value))
            return false;
    return true;
}

// Readers of one value; false when the value has another type.
bool readString(dom::element value, std::string_view& out);
bool readString(dom::element value, std::string& out);
bool readNumber(dom::element value, double& out);
// An internet date-time string with whole seconds.
bool readDate(dom::element value, Timestamp& out);
// A number with no fractional part that fits 64 bits.
bool readInteger(dom::element value, long long& out);

} // namespace palaverly::json
