#pragma once

#include <chrono>
#include <optional>

namespace palaverly {

// Notices a meeting whose other side is not being recorded: the system sound has stayed below
// −70 dBFS for a minute while the microphone carried speech, which is what a call playing on
// another output device (a headset) looks like from here. Fed the two meters' levels (linear
// scale, 1.0 = full scale) with the time they were read; any system sound clears it at once.
// Plain value, main thread.
class SilentCallDetector {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr float kSilenceLevel = 3.1622777e-4f; // −70 dBFS
    static constexpr float kSpeechLevel = 0.01f; // −40 dBFS: a voice, not the room
    static constexpr std::chrono::seconds kSilenceSpan{60};

    // Takes one reading; true while the warning holds.
    bool update(Clock::time_point now, float systemLevel, float micLevel);
    void reset();
    bool isWarning() const { return m_warning; }

private:
    std::optional<Clock::time_point> m_silentSince;
    bool m_speechHeard = false;
    bool m_warning = false;
};

} // namespace palaverly
