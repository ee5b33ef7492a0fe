// Session throughput: feeds N minutes (60 by default) of 44.1 kHz stereo float "system" buffers
// and 48 kHz mono "mic" buffers, 10 to 100 ms each, through a meetingMix RecordingSession, then
// lets sox do the equivalent job (system resampled to 48 kHz mono, mixed with the mic at gain 3,
// written as 16-bit WAV) on the same input written to files. Everything runs pinned to one core.
// The last line is "ratio X realtime Y": X = sox time / our time, Y = our real-time factor.
#include "audio/RecordingSession.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <sched.h>
#include <sndfile.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

using namespace palaverly;
namespace fs = std::filesystem;

namespace {

constexpr double kSystemRate = 44100;
constexpr double kMicRate = 48000;
constexpr double kPatternSeconds = 37; // not a multiple of the talk cycles, so loops do not line up

struct Lcg {
    uint64_t state;
    uint32_t next()
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    double uniform() { return next() / 2147483648.0; }
};

// A voice-like signal: a gliding fundamental with falling harmonics, syllables at about 4 Hz,
// talk spurts separated by pauses, and a little noise. `channels` copies with a small offset.
std::vector<float> speechLike(double rate, uint32_t channels, uint64_t seed, double talkSeconds, double pauseSeconds)
{
    const auto frames = static_cast<size_t>(rate * kPatternSeconds);
    std::vector<float> out(frames * channels);
    Lcg random{seed};
    double phase = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double t = i / rate;
        const double cycle = std::fmod(t, talkSeconds + pauseSeconds);
        const double f0 = 140 + 60 * std::sin(2 * std::numbers::pi * 0.7 * t + seed);
        phase += 2 * std::numbers::pi * f0 / rate;
        double voice = 0;
        for (int h = 1; h <= 8; ++h)
            voice += std::sin(h * phase) / h;
        const double syllable = std::pow(std::sin(std::numbers::pi * 4.3 * t), 2);
        const double talking = cycle < talkSeconds ? 1.0 : 0.0;
        const double noise = (random.uniform() - 0.5) * 0.01;
        const double value = 0.2 * voice * syllable * talking + noise;
        for (uint32_t c = 0; c < channels; ++c)
            out[i * channels + c] = static_cast<float>(value * (c == 0 ? 1.0 : 0.9));
    }
    return out;
}

// Cuts a looping pattern into buffers of 10 to 100 ms.
class Feed {
public:
    Feed(const std::vector<float>& pattern, double rate, uint32_t channels, uint64_t seed)
        : m_pattern(pattern)
        , m_rate(rate)
        , m_channels(channels)
        , m_patternFrames(pattern.size() / channels)
        , m_random{seed}
    {
    }

    double seconds() const { return m_frames / m_rate; }
    uint64_t frames() const { return m_frames; }

    AudioBuffer next(uint64_t maxFrames)
    {
        const auto lengthMs = 10 + m_random.next() % 91;
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(maxFrames, m_rate * lengthMs / 1000));
        AudioBuffer buffer({m_rate, m_channels, SampleType::float32, SampleLayout::interleaved}, n);
        float* out = buffer.floatSamples().data();
        for (uint32_t done = 0; done < n;) {
            const size_t at = (m_frames + done) % m_patternFrames;
            const size_t run = std::min<size_t>(n - done, m_patternFrames - at);
            std::memcpy(out + done * m_channels, m_pattern.data() + at * m_channels, run * m_channels * sizeof(float));
            done += static_cast<uint32_t>(run);
        }
        m_frames += n;
        return buffer;
    }

private:
    const std::vector<float>& m_pattern;
    double m_rate;
    uint32_t m_channels;
    size_t m_patternFrames;
    Lcg m_random;
    uint64_t m_frames = 0;
};

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool writeInput(const fs::path& path, const std::vector<float>& pattern, double rate, uint32_t channels, double seconds)
{
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = static_cast<int>(channels);
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const auto patternFrames = static_cast<sf_count_t>(pattern.size() / channels);
    auto left = static_cast<sf_count_t>(seconds * rate);
    bool ok = true;
    while (left > 0 && ok) {
        const sf_count_t n = std::min(left, patternFrames);
        ok = sf_writef_float(file, pattern.data(), n) == n;
        left -= n;
    }
    sf_close(file);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    double minutes = 60;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--minutes") == 0 && i + 1 < argc) {
            minutes = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_session [--minutes N]\n");
            return 2;
        }
    }
    if (!(minutes > 0)) {
        std::fprintf(stderr, "bench_session: --minutes must be positive\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("RecordingSession.info=false"));

    // One core for everything, sox included (children inherit the mask).
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(std::max(0, sched_getcpu()), &one);
    sched_setaffinity(0, sizeof one, &one);

    char folderTemplate[] = "/tmp/palaverly-bench-XXXXXX";
    if (!mkdtemp(folderTemplate)) {
        std::perror("bench_session: mkdtemp");
        return 1;
    }
    const fs::path folder = folderTemplate;
    const double seconds = minutes * 60;

    std::printf("generating %.1f min of speech-like input\n", minutes);
    const auto systemPattern = speechLike(kSystemRate, 2, 1, 6.0, 3.5);
    const auto micPattern = speechLike(kMicRate, 1, 2, 4.0, 5.0);

    // Ours.
    const auto ourStart = std::chrono::steady_clock::now();
    {
        auto created = RecordingSession::create(folder / "ours", RecordingSession::Mode::meetingMix);
        if (!created.session) {
            std::fprintf(stderr, "bench_session: %s\n", created.error->description().c_str());
            return 1;
        }
        auto& session = *created.session;
        Feed system(systemPattern, kSystemRate, 2, 3);
        Feed mic(micPattern, kMicRate, 1, 4);
        const auto systemTotal = static_cast<uint64_t>(seconds * kSystemRate);
        const auto micTotal = static_cast<uint64_t>(seconds * kMicRate);
        double nextSync = 5;
        while (system.frames() < systemTotal || mic.frames() < micTotal) {
            // Hand the buffers over in the order a capture queue would deliver them.
            if (mic.frames() >= micTotal || (system.frames() < systemTotal && system.seconds() <= mic.seconds()))
                session.appendSystem(system.next(systemTotal - system.frames()));
            else
                session.appendMic(mic.next(micTotal - mic.frames()));
            if (std::min(system.seconds(), mic.seconds()) >= nextSync) {
                session.writeQueue().sync([] {}); // keeps memory bounded, as a real-time source would
                nextSync += 5;
            }
        }
        session.finalizeAndWait();
    } // released: the file is closed
    const double ourSeconds = secondsSince(ourStart);

    // sox, on the same input as files.
    std::printf("writing the input files for sox\n");
    if (!writeInput(folder / "system.wav", systemPattern, kSystemRate, 2, seconds)
        || !writeInput(folder / "mic.wav", micPattern, kMicRate, 1, seconds)) {
        std::fprintf(stderr, "bench_session: cannot write the input files in %s\n", folder.c_str());
        return 1;
    }
    const std::string command = "cd '" + folder.string()
        + "' && sox -D -V1 -m -v 1 '|sox -D -V1 system.wav -t sox - channels 1 rate 48000' -v 3 mic.wav -b 16 sox.wav";
    const auto soxStart = std::chrono::steady_clock::now();
    const int soxStatus = std::system(command.c_str());
    const double soxSeconds = secondsSince(soxStart);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    if (soxStatus != 0) {
        std::fprintf(stderr, "bench_session: sox failed (is it installed?): %s\n", command.c_str());
        return 1;
    }

    const double realtime = seconds / ourSeconds;
    std::printf("palaverly: %.2f s for %.1f min of audio (%.0fx real time)\n", ourSeconds, minutes, realtime);
    std::printf(
        "sox:       %.2f s for %.1f min of audio (%.0fx real time)\n", soxSeconds, minutes, seconds / soxSeconds);
    std::printf("ratio %.2f realtime %.0f\n", soxSeconds / ourSeconds, realtime);
    return 0;
}
