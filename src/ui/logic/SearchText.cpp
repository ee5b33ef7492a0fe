#include "ui/logic/SearchText.h"

#include <QString>
#include <cstring>
#include <functional>

namespace palaverly {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `i` and moves past it; malformed bytes read as U+FFFD, one at a time.
char32_t decodeUtf8(std::string_view text, std::size_t& i)
{
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + static_cast<std::size_t>(extra) >= text.size()) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char next = byte(i + static_cast<std::size_t>(k));
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

bool composesWithNeighbours(char16_t c)
{
    return (c >= 0xD800 && c <= 0xDFFF) || (c >= 0x1100 && c <= 0x11FF) || (c >= 0xA960 && c <= 0xA97F)
        || (c >= 0xD7B0 && c <= 0xD7FF) || QChar(c).combiningClass() != 0;
}

QString foldCharacter(const QLocale& locale, const QString& character)
{
    // Upper then lower case folds together the letters whose lower case has no single upper
    // partner (ß and "ss", the sigmas), as a case-insensitive comparison does.
    return locale.toLower(locale.toUpper(character)).normalized(QString::NormalizationForm_C);
}

template <typename Visit> void forEachTrigram(std::string_view folded, Visit visit)
{
    char32_t a = 0, b = 0;
    int seen = 0;
    for (std::size_t i = 0; i < folded.size();) {
        const char32_t c = decodeUtf8(folded, i);
        if (++seen >= 3)
            visit(TrigramFilter::hash(a, b, c));
        a = b;
        b = c;
    }
}

std::size_t combineHash(std::size_t seed, std::string_view part)
{
    seed ^= std::hash<std::string_view>{}(part) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
    seed ^= part.size() + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
    return seed;
}

// Everything the folded texts of a recording are made of, hashed.
std::size_t sourceHash(const Recording& recording)
{
    std::size_t hash = combineHash(0, recording.name);
    if (const auto& transcript = recording.transcript) {
        hash = combineHash(hash, "T");
        hash = combineHash(hash, transcript->text.value_or(""));
        if (transcript->segments)
            for (const auto& segment : *transcript->segments)
                hash = combineHash(combineHash(hash, segment.speaker), segment.text);
        if (transcript->speakerLabels)
            for (const auto& [speaker, label] : *transcript->speakerLabels)
                hash = combineHash(combineHash(hash, speaker), label);
    }
    if (recording.summary)
        hash = combineHash(combineHash(hash, "S"), recording.summary->text);
    return hash;
}

bool contains(std::string_view haystack, std::string_view needle)
{
    return ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

} // namespace

SearchFolder::SearchFolder(const QLocale& locale)
    : m_locale(locale)
    , m_table(std::make_unique<std::array<Mapping, 0x10000>>())
{
}

const SearchFolder::Mapping& SearchFolder::computeMapping(char16_t c)
{
    Mapping& entry = (*m_table)[c];
    entry.known = true;
    entry.needsContext = composesWithNeighbours(c);
    const QString folded = foldCharacter(m_locale, QString(QChar(c)));
    const QByteArray bytes = folded.toUtf8();
    const QList<uint> points = folded.toUcs4();
    if (static_cast<std::size_t>(bytes.size()) > sizeof(entry.bytes) || points.size() > 3) {
        entry.needsContext = true;
        return entry;
    }
    entry.length = static_cast<std::uint8_t>(bytes.size());
    std::memcpy(entry.bytes, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    entry.pointCount = static_cast<std::uint8_t>(points.size());
    for (qsizetype k = 0; k < points.size(); ++k)
        entry.points[k] = points[k];
    return entry;
}

std::string SearchFolder::fold(std::string_view utf8, TrigramFilter* trigrams)
{
    std::string out;
    out.resize(utf8.size() + 16);
    std::size_t length = 0;
    char32_t a = 0, b = 0;
    std::size_t seen = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp;
        // The common one- and two-byte sequences inline, everything else through the decoder.
        if (bytes[i] < 0x80) {
            cp = bytes[i++];
        } else if ((bytes[i] & 0xE0) == 0xC0 && bytes[i] >= 0xC2 && i + 1 < utf8.size()
            && (bytes[i + 1] & 0xC0) == 0x80) {
            cp = (static_cast<char32_t>(bytes[i] & 0x1F) << 6) | (bytes[i + 1] & 0x3F);
            i += 2;
        } else {
            cp = decodeUtf8(utf8, i);
        }
        if (cp > 0xFFFF)
            return foldSlowly(utf8, trigrams);
        const Mapping& entry = mapping(static_cast<char16_t>(cp));
        if (entry.needsContext)
            return foldSlowly(utf8, trigrams);
        if (length + entry.length > out.size())
            out.resize(out.size() * 2 + entry.length);
        std::memcpy(out.data() + length, entry.bytes, entry.length);
        length += entry.length;
        if (trigrams)
            for (std::uint8_t k = 0; k < entry.pointCount; ++k) {
                const char32_t c = entry.points[k];
                if (++seen >= 3)
                    trigrams->set(a, b, c);
                a = b;
                b = c;
            }
    }
    out.resize(length);
    return out;
}

std::string SearchFolder::foldSlowly(std::string_view utf8, TrigramFilter* trigrams)
{
    // Compose first so that a letter and its combining mark fold as the one letter they are,
    // then fold character by character and compose what the folding decomposed.
    const QString composed
        = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).normalized(QString::NormalizationForm_C);
    QString folded;
    folded.reserve(composed.size());
    for (qsizetype i = 0; i < composed.size(); ++i) {
        const QChar c = composed[i];
        if (c.isHighSurrogate() && i + 1 < composed.size() && composed[i + 1].isLowSurrogate()) {
            folded += foldCharacter(m_locale, composed.mid(i, 2));
            ++i;
        } else {
            folded += foldCharacter(m_locale, QString(c));
        }
    }
    std::string out = folded.normalized(QString::NormalizationForm_C).toStdString();
    if (trigrams)
        trigrams->add(out);
    return out;
}

void TrigramFilter::add(std::string_view foldedUtf8)
{
    forEachTrigram(foldedUtf8, [this](std::uint32_t hash) { m_bits.set(hash); });
}

bool TrigramFilter::mayContain(const std::vector<std::uint32_t>& queryTrigrams) const
{
    for (const std::uint32_t hash : queryTrigrams)
        if (!m_bits.test(hash))
            return false;
    return true;
}

std::vector<std::uint32_t> TrigramFilter::trigramsOf(std::string_view foldedUtf8)
{
    std::vector<std::uint32_t> out;
    forEachTrigram(foldedUtf8, [&](std::uint32_t hash) { out.push_back(hash); });
    return out;
}

SearchFolder& SearchIndex::folder()
{
    return *m_folder;
}

void SearchIndex::prepare(const std::vector<Recording>& recordings, const QLocale& locale)
{
    if (!m_folder || m_folder->locale() != locale) {
        m_folder = std::make_unique<SearchFolder>(locale);
        m_entries.clear();
        m_stale = false;
    }
    if (!m_stale)
        return;
    m_stale = false;
    std::unordered_map<Uuid, std::unique_ptr<Entry>> kept;
    for (const Recording& recording : recordings) {
        auto it = m_entries.find(recording.id);
        if (it != m_entries.end() && it->second->sourceHash == sourceHash(recording))
            kept.emplace(recording.id, std::move(it->second));
    }
    m_entries = std::move(kept);
}

bool SearchIndex::warmUp(
    const std::vector<Recording>& recordings, const QLocale& locale, std::chrono::milliseconds budget)
{
    prepare(recordings, locale);
    const auto deadline = std::chrono::steady_clock::now() + budget;
    for (const Recording& recording : recordings) {
        if (m_entries.count(recording.id))
            continue;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        entryFor(recording);
    }
    return true;
}

SearchIndex::Entry& SearchIndex::entryFor(const Recording& recording)
{
    auto& slot = m_entries[recording.id];
    if (!slot) {
        slot = std::make_unique<Entry>();
        slot->sourceHash = sourceHash(recording);
        slot->name = m_folder->fold(recording.name, &slot->trigrams);
        if (recording.transcript)
            slot->transcript = m_folder->fold(recording.transcript->plainText(), &slot->trigrams);
        if (recording.summary)
            slot->summary = m_folder->fold(recording.summary->text, &slot->trigrams);
    }
    return *slot;
}

bool SearchIndex::matches(
    const Recording& recording, std::string_view foldedQuery, const std::vector<std::uint32_t>& trigrams)
{
    const Entry& entry = entryFor(recording);
    if (!entry.trigrams.mayContain(trigrams))
        return false;
    return contains(entry.name, foldedQuery) || (recording.transcript && contains(entry.transcript, foldedQuery))
        || (recording.summary && contains(entry.summary, foldedQuery));
}

} // namespace palaverly
