#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

struct sf_private_tag;

namespace palaverly {

// Writes a mono RIFF/WAVE file of 16-bit little-endian PCM through libsndfile, taking float
// samples (full scale 1.0, clipped, not wrapped).
//
// Crash safety: the header's sizes are brought up to date after every half second of audio and
// at least once a second of wall time while writes come in, so a process killed at any moment
// leaves a file that players open, holding all but at most the last second of what was written.
// The file is closed (and its header made exact) when the writer is destroyed.
//
// Not thread-safe: one writer belongs to one thread at a time.
class WavWriter {
public:
    static constexpr int64_t kHeaderRefreshFrames = 24000;
    static constexpr std::chrono::milliseconds kHeaderRefreshInterval{1000};

    // Creates or truncates `path`. On failure returns nothing and sets `error` to libsndfile's
    // reason (for example "System error : Permission denied.").
    static std::unique_ptr<WavWriter> create(
        const std::filesystem::path& path, int sampleRate, std::string* error = nullptr);
    // Checks that libsndfile can write this format at all.
    static bool formatSupported(int sampleRate);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Appends the samples. Returns libsndfile's reason when not all of them could be written; the
    // ones that were written stay in the file and are counted.
    std::optional<std::string> write(std::span<const float> samples);

    // Frames in the file so far.
    int64_t frames() const { return m_frames; }

private:
    explicit WavWriter(sf_private_tag* file);
    void refreshHeader();

    sf_private_tag* m_file = nullptr;
    int64_t m_frames = 0;
    int64_t m_framesInHeader = 0;
    std::chrono::steady_clock::time_point m_headerTime;
};

// The length of a WAV file's audio in seconds as its header gives it (a file cut off by a crash
// counts what its last header refresh saw); nothing when libsndfile cannot read it.
std::optional<double> wavDurationSeconds(const std::filesystem::path& path);

} // namespace palaverly
