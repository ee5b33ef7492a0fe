#include "ui/logic/NgramFilter.h"

#include "ui/logic/SearchFolder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace palaverly {

namespace {

constexpr int kHashBits = 24;

std::uint32_t ngramHash(int n, char32_t a, char32_t b, char32_t c)
{
    const std::uint32_t h = (static_cast<std::uint32_t>(a) * 0x9E3779B1u)
        ^ (static_cast<std::uint32_t>(b) * 0x85EBCA77u) ^ (static_cast<std::uint32_t>(c) * 0xC2B2AE3Du)
        ^ (static_cast<std::uint32_t>(n) * 0x27D4EB2Fu);
    return (h ^ (h >> 15) ^ (h >> 27)) & ((1u << kHashBits) - 1);
}

// Calls visit(hash) for every single character, pair and triple of a folded text.
template <typename Visit> void forEachNgram(std::string_view folded, Visit visit)
{
    char32_t a = 0, b = 0;
    std::size_t seen = 0;
    for (std::size_t i = 0; i < folded.size();) {
        const char32_t c = decodeUtf8(folded, i);
        ++seen;
        visit(ngramHash(1, 0, 0, c));
        if (seen >= 2)
            visit(ngramHash(2, 0, b, c));
        if (seen >= 3)
            visit(ngramHash(3, a, b, c));
        a = b;
        b = c;
    }
}

// The k-th bit of a hash (double hashing: the low bits give the first, the high bits the step).
std::size_t bitOf(std::uint32_t hash, int k)
{
    const std::uint32_t step = ((hash >> 15) << 1) | 1;
    return (hash + static_cast<std::uint32_t>(k) * step) & (NgramFilter::kBits - 1);
}

} // namespace

void NgramSet::add(std::string_view foldedUtf8)
{
    if (m_seen.empty())
        m_seen.assign((std::size_t{1} << kHashBits) / 64, 0);
    forEachNgram(foldedUtf8, [this](std::uint32_t hash) {
        std::uint64_t& word = m_seen[hash / 64];
        const std::uint64_t bit = std::uint64_t{1} << (hash % 64);
        if (!(word & bit)) {
            word |= bit;
            m_hashes.push_back(hash);
        }
    });
}

void NgramSet::clear()
{
    for (const std::uint32_t hash : m_hashes)
        m_seen[hash / 64] = 0;
    m_hashes.clear();
}

NgramFilter::NgramFilter(const NgramSet& grams)
{
    // The number of bits per n-gram that makes false positives rarest: ln 2 times bits per n-gram.
    const double perGram
        = static_cast<double>(kBits) / static_cast<double>(std::max<std::size_t>(1, grams.hashes().size()));
    m_hashCount = std::clamp(static_cast<int>(std::lround(perGram * std::log(2.0))), 1, kMaxHashes);
    for (const std::uint32_t hash : grams.hashes())
        for (int k = 0; k < m_hashCount; ++k) {
            const std::size_t bit = bitOf(hash, k);
            m_words[bit / 64] |= std::uint64_t{1} << (bit % 64);
        }
}

bool NgramFilter::mayContain(const std::vector<std::uint32_t>& queryHashes) const
{
    for (const std::uint32_t hash : queryHashes)
        for (int k = 0; k < m_hashCount; ++k) {
            const std::size_t bit = bitOf(hash, k);
            if (!(m_words[bit / 64] & (std::uint64_t{1} << (bit % 64))))
                return false;
        }
    return true;
}

std::vector<std::uint32_t> NgramFilter::hashesOf(std::string_view foldedUtf8)
{
    std::vector<std::uint32_t> out;
    forEachNgram(foldedUtf8, [&](std::uint32_t hash) { out.push_back(hash); });
    return out;
}

std::string NgramFilter::bytes() const
{
    std::string out(kBits / 8 + 1, '\0');
    std::memcpy(out.data(), m_words.data(), kBits / 8);
    out.back() = static_cast<char>(m_hashCount);
    return out;
}

std::optional<NgramFilter> NgramFilter::fromBytes(std::string_view bytes)
{
    if (bytes.size() != kBits / 8 + 1 || bytes.back() < 1 || bytes.back() > kMaxHashes)
        return std::nullopt;
    NgramFilter filter;
    std::memcpy(filter.m_words.data(), bytes.data(), kBits / 8);
    filter.m_hashCount = bytes.back();
    return filter;
}

} // namespace palaverly
