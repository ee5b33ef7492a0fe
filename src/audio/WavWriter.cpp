#include "audio/WavWriter.h"

#include <sndfile.h>

namespace palaverly {

namespace {

SF_INFO monoPcm16(int sampleRate)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_FILE;
    return info;
}

} // namespace

bool WavWriter::formatSupported(int sampleRate)
{
    SF_INFO info = monoPcm16(sampleRate);
    return sf_format_check(&info) != 0;
}

std::unique_ptr<WavWriter> WavWriter::create(const std::filesystem::path& path, int sampleRate, std::string* error)
{
    SF_INFO info = monoPcm16(sampleRate);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        if (error)
            *error = sf_strerror(nullptr);
        return nullptr;
    }
    // Out-of-range floats become full scale instead of wrapping around.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return std::unique_ptr<WavWriter>(new WavWriter(file));
}

WavWriter::WavWriter(SNDFILE* file)
    : m_file(file)
    , m_headerTime(std::chrono::steady_clock::now())
{
}

WavWriter::~WavWriter()
{
    sf_close(m_file);
}

std::optional<std::string> WavWriter::write(std::span<const float> samples)
{
    if (samples.empty())
        return std::nullopt;
    const sf_count_t wanted = static_cast<sf_count_t>(samples.size());
    const sf_count_t written = sf_write_float(m_file, samples.data(), wanted);
    if (written > 0)
        m_frames += written;
    if (written != wanted) {
        std::string reason = sf_strerror(m_file);
        refreshHeader(); // count what did reach the disk; rewriting the header needs no new space
        return reason;
    }
    if (m_frames - m_framesInHeader >= kHeaderRefreshFrames
        || std::chrono::steady_clock::now() - m_headerTime >= kHeaderRefreshInterval)
        refreshHeader();
    return std::nullopt;
}

void WavWriter::refreshHeader()
{
    sf_command(m_file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    m_framesInHeader = m_frames;
    m_headerTime = std::chrono::steady_clock::now();
}

std::optional<double> wavDurationSeconds(const std::filesystem::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return std::nullopt;
    sf_close(file);
    if (info.samplerate <= 0)
        return std::nullopt;
    return static_cast<double>(info.frames) / info.samplerate;
}

} // namespace palaverly
