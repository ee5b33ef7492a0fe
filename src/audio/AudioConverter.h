#pragma once

#include "audio/AudioBuffer.h"

#include <memory>
#include <string>
#include <vector>

struct soxr;

namespace palaverly {

// Streams one input (any rate, channel count, sample type and layout) to the recording format:
// 48 kHz, mono, 32-bit float. Channels are averaged to one, then resampled with libsoxr.
//
// The converter is made for the format of the first buffer of a stream and keeps its filter
// history and fractional position from one buffer to the next; it is never flushed, so the last
// few milliseconds of a stream stay inside it. A later buffer in another format is still read by
// its own channel count, sample type and layout, but resampled as if it had the first rate.
//
// Not thread-safe: one converter belongs to one thread at a time (the session's write queue).
class AudioConverter {
public:
    static constexpr double kOutputRate = 48000.0;
    // Input rates outside this range are refused (creation fails and the caller drops buffers).
    static constexpr double kMinInputRate = 1000.0;
    static constexpr double kMaxInputRate = 1'000'000.0;
    // An output block larger than this cannot be allocated; such a buffer is dropped.
    static constexpr uint32_t kMaxOutputFrames = 1u << 24;

    enum class Status {
        converted, // samples appended (possibly none)
        dropped, // no room for the output: nothing appended, nothing to report
        failed, // the resampler reported an error: nothing appended, see the error text
    };

    // Nothing when the format cannot be converted (invalid, or a rate outside the range above).
    static std::unique_ptr<AudioConverter> create(const AudioFormat& input);
    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    // Room reserved for the output of one input buffer: 48000 / rate x frames + 1024, computed in
    // double precision and truncated; saturates at the largest 32-bit count.
    static uint32_t outputCapacity(double inputRate, uint32_t inputFrames);

    // Converts one buffer and appends the 48 kHz mono samples to `output`. NaN and infinite
    // samples are read as silence, so they never reach the filter state.
    Status convert(const AudioBuffer& input, std::vector<float>& output, std::string* error = nullptr);

    double inputRate() const { return m_inputRate; }

private:
    AudioConverter(double inputRate, soxr* resampler);
    void downmix(const AudioBuffer& input);

    double m_inputRate = 0;
    soxr* m_resampler = nullptr;
    std::vector<float> m_mono; // scratch: the input averaged to one channel
    std::vector<float> m_out; // scratch: the resampler's output
};

} // namespace palaverly
