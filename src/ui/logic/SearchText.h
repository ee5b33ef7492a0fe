#pragma once

#include "model/Recording.h"

#include <QLocale>
#include <array>
#include <bitset>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace palaverly {

// Turns texts into the form the search compares: case folded under a locale and composed
// (NFC), in UTF-8, so that a case-insensitive containment test is a plain substring search.
// Letters that differ other than by case (ё and е) stay different. Folding is per character,
// without context (a final sigma folds like any sigma). Main thread only.
class TrigramFilter;

class SearchFolder {
public:
    explicit SearchFolder(const QLocale& locale);

    // With `trigrams`, also adds the folded text's character triples to it.
    std::string fold(std::string_view utf8, TrigramFilter* trigrams = nullptr);
    const QLocale& locale() const { return m_locale; }

private:
    struct Mapping {
        bool known = false;
        // Characters that compose with their neighbours (combining marks, conjoining jamo) or
        // lie outside the basic plane take the slow path over the whole text.
        bool needsContext = false;
        std::uint8_t length = 0;
        std::uint8_t pointCount = 0;
        char bytes[12] = {};
        char32_t points[3] = {};
    };
    const Mapping& mapping(char16_t c)
    {
        const Mapping& entry = (*m_table)[c];
        return entry.known ? entry : computeMapping(c);
    }
    const Mapping& computeMapping(char16_t c);
    std::string foldSlowly(std::string_view utf8, TrigramFilter* trigrams);

    QLocale m_locale;
    std::unique_ptr<std::array<Mapping, 0x10000>> m_table;
};

// A set of character triples of a folded text, hashed into a fixed number of bits: a query
// whose triples are not all present cannot be contained, so most texts are ruled out without
// reading them.
class TrigramFilter {
public:
    void add(std::string_view foldedUtf8);
    void set(char32_t a, char32_t b, char32_t c) { m_bits.set(hash(a, b, c)); }
    static std::uint32_t hash(char32_t a, char32_t b, char32_t c)
    {
        const std::uint32_t h = (static_cast<std::uint32_t>(a) * 0x9E3779B1u)
            ^ (static_cast<std::uint32_t>(b) * 0x85EBCA77u) ^ (static_cast<std::uint32_t>(c) * 0xC2B2AE3Du);
        return (h ^ (h >> 16)) & (kBits - 1);
    }
    bool mayContain(const std::vector<std::uint32_t>& queryTrigrams) const;
    // The hashed triples of a folded query; empty for queries of fewer than three characters.
    static std::vector<std::uint32_t> trigramsOf(std::string_view foldedUtf8);

private:
    static constexpr std::size_t kBits = 1 << 16;
    std::bitset<kBits> m_bits;
};

// Folded texts of the recordings, kept between keystrokes so that typing does not fold every
// transcript again. invalidate() after the recordings changed; the next search then refolds
// only the recordings whose name, transcript or summary differ. Main thread only.
class SearchIndex {
public:
    void invalidate() { m_stale = true; }
    // Drops the entries of recordings that are gone; rechecks the others when invalidated.
    void prepare(const std::vector<Recording>& recordings, const QLocale& locale);
    // Whether the recording's name, transcript text or summary contains the folded query.
    bool matches(const Recording& recording, std::string_view foldedQuery, const std::vector<std::uint32_t>& trigrams);
    SearchFolder& folder();
    // Folds recordings not yet in the index until `budget` is spent, so that the first
    // keystroke finds the work done; true when every recording is in.
    bool warmUp(const std::vector<Recording>& recordings, const QLocale& locale, std::chrono::milliseconds budget);

private:
    struct Entry {
        std::size_t sourceHash = 0;
        std::string name, transcript, summary;
        TrigramFilter trigrams;
    };
    Entry& entryFor(const Recording& recording);

    std::unique_ptr<SearchFolder> m_folder;
    std::unordered_map<Uuid, std::unique_ptr<Entry>> m_entries;
    bool m_stale = false;
};

} // namespace palaverly
