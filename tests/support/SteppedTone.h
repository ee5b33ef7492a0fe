#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace palaverly::test {

// A tone whose pitch steps every 100 ms through 60 pitches (300 to 3250 Hz, in an order where
// neighbours lie far apart), so that a stretch of a recording of it tells where in the tone it
// comes from. It is played into a sink through a playback stream of its own, whose timing tells
// which moment of the tone was heard at a given time; comparing that with where a recording's
// first and last sound come from measures what the recording lost at either end.
//
// The tone repeats after six seconds; positions are told apart within three seconds of a guess.
class SteppedTone {
public:
    static constexpr double kRate = 48000;
    static constexpr double kStepSeconds = 0.1;

    // Starts playing into `sink` at `amplitude`, with a buffer of `latencyMs` (20 ms plays like
    // a live source; 2000 like a media player that buffers), and returns once the sink plays it
    // (a null sink that was idle takes up to two seconds).
    SteppedTone(const std::string& sink, double amplitude, int latencyMs = 20);
    ~SteppedTone();
    SteppedTone(const SteppedTone&) = delete;
    SteppedTone& operator=(const SteppedTone&) = delete;

    bool playing() const;
    // How often the player ran dry since it started: the sink then played silence, and what a
    // recording holds of that moment says nothing about the recording.
    int dropouts() const;
    // Seconds into the tone heard at `moment` (a moment just past, or now).
    double heardAt(std::chrono::steady_clock::time_point moment) const;

    // The tone itself, `seconds` into it (at amplitude 1).
    static float sampleAt(double seconds);
    // Seconds into the tone of recorded sample `at` of `recording` (mono, kRate), looking within
    // three seconds of `guess`; nothing when the stretch after `at` (before it, `backwards`) is
    // not the tone.
    static std::optional<double> positionOf(
        std::span<const float> recording, size_t at, double guess, bool backwards = false);

private:
    struct Player;
    std::unique_ptr<Player> m_player;
};

// Where a recording of the stepped tone begins and ends, against what was heard.
struct ToneEnds {
    double startLossSeconds = 0; // tone heard after the start that the recording lacks
    double endLossSeconds = 0; // tone heard before the stop that the recording lacks
    double placementSeconds = 0; // how much later than heard its first sound sits in the file
};

// Measures `recording` (mono, SteppedTone::kRate) of a tone heard from `startHeard` to `stopHeard`
// seconds into it; nothing when the recording holds no recognisable tone.
std::optional<ToneEnds> measureToneEnds(std::span<const float> recording, double startHeard, double stopHeard);

} // namespace palaverly::test
