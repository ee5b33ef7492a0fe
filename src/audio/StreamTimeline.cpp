#include "audio/StreamTimeline.h"

#include <algorithm>
#include <cstdlib>

namespace palaverly {

namespace {

// Readings that settle a new run, and how many recent ones decide whether it has strayed.
constexpr size_t kSettlingReadings = 4;
constexpr size_t kDeviationWindow = 24;
// A stray that grew by more than one frame in this many since the readings last agreed with the
// placement is a jump, not a clock's drift (clocks differ by a few hundred parts per million).
constexpr int64_t kDriftFrames = 200;

} // namespace

StreamTimeline::StreamTimeline(uint32_t channels, uint32_t toleranceFrames, uint32_t stepFrames)
    : m_channels(std::max<uint32_t>(channels, 1))
    , m_tolerance(toleranceFrames)
    , m_step(stepFrames)
{
}

int64_t StreamTimeline::median(std::vector<int64_t> values) const
{
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

void StreamTimeline::push(const float* samples, size_t frames, std::optional<int64_t> measuredStart, const Emit& emit)
{
    if (m_finished || frames == 0)
        return;
    if (!m_placed) {
        if (measuredStart)
            m_firstReadings.push_back({m_runFrames, *measuredStart});
        if (samples)
            m_held.insert(m_held.end(), samples, samples + frames * m_channels);
        else
            m_held.insert(m_held.end(), frames * m_channels, 0.0f);
        m_runFrames += static_cast<int64_t>(frames);
        if (m_firstReadings.size() >= kSettlingReadings)
            settle(emit);
        return;
    }
    if (!measuredStart) {
        place(m_runFrames, samples, frames, emit);
        m_runFrames += static_cast<int64_t>(frames);
        return;
    }
    follow(*measuredStart - (m_runFrames + m_offset + m_latency));
    place(m_runFrames, samples, frames, emit);
    m_runFrames += static_cast<int64_t>(frames);
}

void StreamTimeline::follow(int64_t deviation)
{
    m_deviations.push_back(deviation);
    if (m_deviations.size() > kDeviationWindow)
        m_deviations.erase(m_deviations.begin());
    if (m_deviations.size() < kDeviationWindow / 2)
        return;
    const int64_t strayed = median(m_deviations);
    const int64_t distance = std::abs(strayed);
    if (2 * distance <= m_tolerance)
        m_calmAt = m_runFrames;
    if (distance <= m_tolerance)
        return;
    const bool jumped = distance * kDriftFrames > m_runFrames - m_calmAt;
    if (jumped && distance <= m_step)
        m_latency += strayed;
    else
        m_offset += strayed;
    m_deviations.clear();
    m_calmAt = m_runFrames;
}

void StreamTimeline::settle(const Emit& emit)
{
    if (m_firstReadings.empty() && m_held.empty())
        return;
    if (m_firstReadings.empty()) {
        // The server never said: the run follows what came before, or ends where the timeline ends.
        if (m_end == INT64_MAX)
            m_firstReadings.push_back({0, m_next});
        else
            m_firstReadings.push_back({m_runFrames, m_end});
    }
    std::vector<int64_t> offsets;
    for (const Reading& reading : m_firstReadings)
        offsets.push_back(reading.measuredStart - reading.streamFrame);
    m_offset = median(std::move(offsets));
    m_placed = true;
    m_firstReadings.clear();
    std::vector<float> held = std::move(m_held);
    m_held.clear();
    place(0, held.data(), held.size() / m_channels, emit);
}

void StreamTimeline::place(int64_t streamFrame, const float* samples, size_t frames, const Emit& emit)
{
    int64_t start = streamFrame + m_offset;
    const int64_t end = std::min(start + static_cast<int64_t>(frames), m_end);
    if (end <= m_next)
        return; // brought twice, or from before the start
    if (start < m_next) {
        if (samples)
            samples += (m_next - start) * m_channels;
        start = m_next;
    }
    if (start > m_next)
        emit(m_next, nullptr, static_cast<size_t>(std::min(start, end) - m_next));
    if (end > start)
        emit(start, samples, static_cast<size_t>(end - start));
    m_next = end;
}

void StreamTimeline::restart(const Emit& emit)
{
    if (!m_placed)
        settle(emit); // the old run goes where its own readings put it
    m_placed = false;
    m_runFrames = 0;
    m_deviations.clear();
    m_latency = 0;
    m_calmAt = 0;
}

void StreamTimeline::finish(int64_t end, const Emit& emit)
{
    if (m_finished)
        return;
    m_end = std::max(end, m_next);
    if (!m_placed)
        settle(emit);
    if (m_end > m_next) {
        emit(m_next, nullptr, static_cast<size_t>(m_end - m_next));
        m_next = m_end;
    }
    m_finished = true;
    m_held.clear();
    m_firstReadings.clear();
}

int64_t StreamTimeline::reach() const
{
    if (m_placed)
        return m_runFrames + m_offset;
    if (m_firstReadings.empty())
        return m_next; // not known yet
    const Reading& last = m_firstReadings.back();
    return last.measuredStart + (m_runFrames - last.streamFrame);
}

} // namespace palaverly
