#include "audio/PulseSystemSound.h"

#include <unistd.h>

#include <algorithm>

namespace palaverly {

namespace {

// How long the sum waits for a playing program's sound that trails the clock (a stream that has
// just been opened takes a few fragments to be placed).
constexpr uint32_t kMaxLagMs = 300;

bool playedByThisProcess(const pa_sink_input_info& info)
{
    const char* process = info.proplist ? pa_proplist_gets(info.proplist, PA_PROP_APPLICATION_PROCESS_ID) : nullptr;
    return process && std::to_string(::getpid()) == process;
}

} // namespace

PulseSystemSound::PulseSystemSound(PulseRecordStream::Setup setup, StreamTimeline::Emit onPieces,
    std::function<void()> onChange, std::function<void()> onClockFailed)
    : m_setup(setup)
    , m_onPieces(std::move(onPieces))
    , m_onChange(std::move(onChange))
    , m_mix(setup.sampleFormat.channels, setup.sampleFormat.rate * kMaxLagMs / 1000)
    , m_clock(setup,
          {[this](int64_t start, const float*, size_t frames) {
               m_mix.advance(start + static_cast<int64_t>(frames), m_onPieces);
           },
              m_onChange, std::move(onClockFailed)})
{
}

PulseSystemSound::~PulseSystemSound()
{
    close();
}

bool PulseSystemSound::open(pa_context* context, const Output& output)
{
    close();
    m_context = context;
    m_output = output;
    if (!m_clock.open(m_context, output.monitor))
        return false;
    takePrograms();
    return true;
}

void PulseSystemSound::takePrograms()
{
    track(pa_context_get_sink_input_info_list(
        m_context,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* self) {
            if (eol == 0 && info)
                static_cast<PulseSystemSound*>(self)->inspected(*info);
        },
        this));
}

void PulseSystemSound::follow(const Output& output)
{
    if (output.index == m_output.index)
        return;
    closePrograms();
    m_output = output;
    if (m_clock.state() == PA_STREAM_READY) {
        m_clock.setSource(output.monitor);
        track(pa_context_move_source_output_by_name(
            m_context, m_clock.index(), output.monitor.c_str(), nullptr, nullptr));
    } else {
        m_clock.open(m_context, output.monitor); // the old one is gone
    }
    takePrograms();
}

void PulseSystemSound::playbackStreamChanged(pa_subscription_event_type_t type, uint32_t index)
{
    if (!m_context)
        return; // not open yet: the list taken at the opening has it
    if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE) {
        if (m_programs.erase(index))
            m_mix.remove(index, m_onPieces);
        return;
    }
    inspect(index);
}

void PulseSystemSound::inspect(uint32_t index)
{
    track(pa_context_get_sink_input_info(
        m_context, index,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* self) {
            if (eol == 0 && info)
                static_cast<PulseSystemSound*>(self)->inspected(*info);
        },
        this));
}

void PulseSystemSound::inspected(const pa_sink_input_info& info)
{
    if (info.sink != m_output.index || playedByThisProcess(info)) {
        if (m_programs.erase(info.index))
            m_mix.remove(info.index, m_onPieces);
        return;
    }
    if (!m_programs.contains(info.index))
        openProgram(info.index);
    // A paused player sends nothing: the sum waits for a program only while it plays.
    if (info.corked)
        m_mix.remove(info.index, m_onPieces);
    else
        m_mix.expect(info.index, m_clock.frameAt(pa_rtclock_now()));
}

void PulseSystemSound::openProgram(uint32_t index)
{
    PulseRecordStream::Setup setup = m_setup;
    setup.playbackStream = index;
    auto stream = std::make_unique<PulseRecordStream>(setup,
        PulseRecordStream::Callbacks{[this, index](int64_t start, const float* samples, size_t frames) {
                                         m_mix.add(index, start, samples, frames, m_onPieces);
                                     },
            m_onChange, nullptr}); // a program that ends is reported by the subscription
    if (stream->open(m_context, m_output.monitor))
        m_programs.emplace(index, std::move(stream));
}

void PulseSystemSound::closePrograms()
{
    for (const auto& [index, stream] : m_programs)
        m_mix.remove(index, m_onPieces);
    m_programs.clear();
}

bool PulseSystemSound::reaches(int64_t end) const
{
    return m_clock.reaches(end) && std::all_of(m_programs.begin(), m_programs.end(), [end](const auto& program) {
        return program.second->state() != PA_STREAM_READY || program.second->reaches(end);
    });
}

void PulseSystemSound::limit(int64_t end)
{
    for (const auto& [index, stream] : m_programs)
        stream->limit(end);
    m_clock.limit(end);
}

void PulseSystemSound::finish(int64_t end)
{
    for (const auto& [index, stream] : m_programs)
        stream->finish(end);
    m_clock.finish(end);
    m_mix.finish(end, m_onPieces);
}

void PulseSystemSound::close()
{
    for (pa_operation* operation : m_operations) {
        pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    m_operations.clear();
    m_programs.clear();
    m_clock.close();
}

void PulseSystemSound::track(pa_operation* operation)
{
    std::erase_if(m_operations, [](pa_operation* pending) {
        if (pa_operation_get_state(pending) == PA_OPERATION_RUNNING)
            return false;
        pa_operation_unref(pending);
        return true;
    });
    if (operation)
        m_operations.push_back(operation);
}

} // namespace palaverly
