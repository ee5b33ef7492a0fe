#pragma once

// Reads WAV files back with libsndfile. Header-only, so only the tests that include it link
// libsndfile (LIBS PkgConfig::SNDFILE).
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>
#include <span>
#include <vector>

namespace palaverly::test {

struct WavContents {
    SF_INFO info{};
    std::vector<float> samples; // interleaved, full scale 1.0
};

inline std::optional<WavContents> readWav(const std::filesystem::path& path)
{
    WavContents contents;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &contents.info);
    if (!file)
        return std::nullopt;
    contents.samples.resize(static_cast<size_t>(contents.info.frames) * static_cast<size_t>(contents.info.channels));
    const sf_count_t read
        = sf_read_float(file, contents.samples.data(), static_cast<sf_count_t>(contents.samples.size()));
    contents.samples.resize(static_cast<size_t>(read));
    sf_close(file);
    return contents;
}

// Writes mono `samples` as a 16-bit WAV at `rate`; false when the file cannot be written.
inline bool writeWav(const std::filesystem::path& path, std::span<const float> samples, int rate = 48000)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const sf_count_t written = sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return written == static_cast<sf_count_t>(samples.size());
}

// The largest difference between `samples` (from `offset`, `count` of them) and
// amplitude * sin(2 pi f (offset + i) / rate). Small only when frequency, phase, amplitude and
// continuity all match.
inline float maxDeviationFromSine(
    std::span<const float> samples, double frequency, double rate, double amplitude, size_t offset, size_t count)
{
    float worst = 0;
    for (size_t i = offset; i < offset + count && i < samples.size(); ++i) {
        const double expected = amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate);
        worst = std::max(worst, static_cast<float>(std::fabs(samples[i] - expected)));
    }
    return worst;
}

} // namespace palaverly::test
