#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// Helpers for tests that talk to the sound server of run-with-services.sh (PulseAudio, or PipeWire
// through its pulse server): its two null sinks are "palaverly_speakers" (the default output) and
// "palaverly_mic" (its monitor is the default input, a virtual microphone).
namespace palaverly::test {

inline constexpr const char* kSpeakersSink = "palaverly_speakers";
inline constexpr const char* kMicSink = "palaverly_mic";

// True when the test runs under run-with-services.sh and the daemon answers.
bool soundServerAvailable();

// Kills the sound server of run-with-services.sh (SIGKILL, as a crash looks to its clients) when
// made, and brings it back on the same socket with the same sinks and defaults at restart() or,
// at the latest, when destroyed. Players of TonePlayer die with it.
class SoundServerOutage {
public:
    SoundServerOutage();
    ~SoundServerOutage();
    SoundServerOutage(const SoundServerOutage&) = delete;
    SoundServerOutage& operator=(const SoundServerOutage&) = delete;
    bool killed() const { return m_killed; }
    // True when the server answers again.
    bool restart();

private:
    bool m_killed = false;
};

// Null sinks (or other devices) a test loads into the shared server; unloaded, and the default
// devices set back to the script's, however the test ends.
class ExtraSinks {
public:
    ExtraSinks() = default;
    ~ExtraSinks();
    ExtraSinks(const ExtraSinks&) = delete;
    ExtraSinks& operator=(const ExtraSinks&) = delete;
    // Loads a null sink; false when the server refused.
    bool load(const std::string& name, int rate, int channels);
    // Loads a device made by another module ("module-remap-source source_name=<name> ...").
    bool loadModule(const std::string& name, const std::string& arguments);
    // Unloads it now (a device unplugged).
    bool unload(const std::string& name);

private:
    std::vector<std::pair<std::string, std::string>> m_modules; // sink name, module index
};

// Runs `pactl <arguments>`; returns its standard output, or nothing when it fails.
std::optional<std::string> pactl(const std::string& arguments);

// Plays a sine into a sink (through pacat) until destroyed; the tone is playing when the
// constructor returns. The player keeps a fifth of a second queued, so a busy machine does not
// cut holes into the tone.
class TonePlayer {
public:
    TonePlayer(const std::string& sink, double frequency, double amplitude, double seconds = 30);
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;
    bool started() const { return m_pid > 0; }

private:
    std::filesystem::path m_file;
    pid_t m_pid = -1;
};

// A PulseAudio daemon of the test's own, with the native protocol and `modules` (each "name
// arguments"), for cases the shared daemon must not be bent into (a server without any device).
class PrivateSoundServer {
public:
    explicit PrivateSoundServer(const std::vector<std::string>& modules = {});
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;
    bool started() const { return m_started; }
    // Ends the daemon now (as a crash of the sound server would look to its clients).
    void terminate();
    // Stops the daemon without ending it (SIGSTOP): its clients see a server that hangs.
    // resume() lets it go on.
    void suspend();
    void resume();
    // The value for PULSE_SERVER.
    std::string address() const { return "unix:" + (m_folder / "native").string(); }

private:
    std::filesystem::path m_folder;
    pid_t m_pid = -1;
    bool m_started = false;
};

// Sets an environment variable for its lifetime, restoring the old value after.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

// The share of the signal's energy at `frequency` (0..1), from a Goertzel filter over `samples`.
double toneShare(std::span<const float> samples, double sampleRate, double frequency);

} // namespace palaverly::test
