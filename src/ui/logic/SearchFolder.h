#pragma once

#include <QLocale>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace palaverly {

class NgramSet;

// Decodes the UTF-8 code point at `i` and moves past it; malformed bytes read as U+FFFD, one at a
// time.
char32_t decodeUtf8(std::string_view text, std::size_t& i);

// Turns texts into the form the search compares: case folded under a locale and composed
// (NFC), in UTF-8, so that a case-insensitive containment test is a plain substring search.
// Letters that differ other than by case (ё and е) stay different. Folding is per character,
// without context (a final sigma folds like any sigma). One thread at a time.

class SearchFolder {
public:
    explicit SearchFolder(const QLocale& locale);

    // With `grams`, also adds the folded text's n-grams to them.
    std::string fold(std::string_view utf8, NgramSet* grams = nullptr);
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
    std::string foldSlowly(std::string_view utf8, NgramSet* grams);

    QLocale m_locale;
    std::unique_ptr<std::array<Mapping, 0x10000>> m_table;
};

} // namespace palaverly
