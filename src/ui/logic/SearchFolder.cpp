#include "ui/logic/SearchFolder.h"

#include "ui/logic/NgramFilter.h"

#include <QString>
#include <cstring>

namespace palaverly {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

} // namespace

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

namespace {

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

std::string SearchFolder::fold(std::string_view utf8, NgramSet* grams)
{
    std::string out;
    out.resize(utf8.size() + 16);
    std::size_t length = 0;
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
            return foldSlowly(utf8, grams);
        const Mapping& entry = mapping(static_cast<char16_t>(cp));
        if (entry.needsContext)
            return foldSlowly(utf8, grams);
        if (length + entry.length > out.size())
            out.resize(out.size() * 2 + entry.length);
        std::memcpy(out.data() + length, entry.bytes, entry.length);
        length += entry.length;
    }
    out.resize(length);
    if (grams)
        grams->add(out);
    return out;
}

std::string SearchFolder::foldSlowly(std::string_view utf8, NgramSet* grams)
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
    if (grams)
        grams->add(out);
    return out;
}

} // namespace palaverly
