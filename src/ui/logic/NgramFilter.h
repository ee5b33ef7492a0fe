#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace palaverly {

// The distinct character n-grams (single characters, pairs and triples) of folded texts, each as a
// 24-bit hash. Made to be reused from text to text: clear() forgets them without freeing memory.
class NgramSet {
public:
    void add(std::string_view foldedUtf8);
    void clear();
    const std::vector<std::uint32_t>& hashes() const { return m_hashes; }

private:
    // One bit per possible hash, so that each is kept once.
    std::vector<std::uint64_t> m_seen;
    std::vector<std::uint32_t> m_hashes;
};

// A Bloom filter of an NgramSet in a fixed number of bits: a query with an n-gram that is not
// there cannot be contained, so most texts are ruled out without reading them. A text with few
// distinct n-grams sets several bits for each (up to kMaxHashes), which rules out more; a long
// text of many sets one or two, which keeps the filter from filling up.
class NgramFilter {
public:
    static constexpr std::size_t kBits = 1 << 15;
    static constexpr int kMaxHashes = 8;

    NgramFilter() = default;
    explicit NgramFilter(const NgramSet& grams);

    bool mayContain(const std::vector<std::uint32_t>& queryHashes) const;
    // The hashed n-grams of a folded query.
    static std::vector<std::uint32_t> hashesOf(std::string_view foldedUtf8);
    // The bits, then one byte with the number of bits per n-gram.
    std::string bytes() const;
    // Nothing when `bytes` is not what bytes() gives.
    static std::optional<NgramFilter> fromBytes(std::string_view bytes);

private:
    std::array<std::uint64_t, kBits / 64> m_words{};
    int m_hashCount = 1;
};

} // namespace palaverly
