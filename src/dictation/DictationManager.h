#pragma once

#include "audio/AudioLevelMeter.h"
#include "audio/MicrophoneTap.h"
#include "services/Transcriber.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace palaverly {

class BackgroundJob;
class RecordingSession;
class Sleeper;
class TextInjector;
struct Transcript;

// Push-to-talk dictation. While the dictation key is held the microphone is recorded into a
// temporary WAV file; on release the file goes to the speech-recognition service and the text is
// pasted into whatever field has the keyboard focus. Dictations are never kept: the temporary
// folder is gone whenever the state is back to idle.
//
// The key monitor calls start() and stop(); the dictation panel and the tray read state() and
// inputLevel(); the owner supplies canStart. Main thread only; the microphone delivers on its
// capture thread straight into the session and the meter, and the transcription and the error
// display wait on worker threads that report back to the main thread.
class DictationManager : public QObject {
    Q_OBJECT

public:
    struct State {
        enum class Kind {
            idle, // the only state in which start acts
            recording, // the microphone is being written
            transcribing, // the file is at the speech-recognition service
            error, // the last attempt failed; shown for 3 seconds
        };
        Kind kind = Kind::idle;
        std::string message; // error: the text for the user

        static State idle() { return {}; }
        static State recording() { return {Kind::recording, {}}; }
        static State transcribing() { return {Kind::transcribing, {}}; }
        static State error(std::string message) { return {Kind::error, std::move(message)}; }
        bool operator==(const State&) const = default;
    };

    // What the manager works with; every member left empty gets the real thing.
    struct Dependencies {
        // Default: the microphone of this build's capture back end.
        std::unique_ptr<MicrophoneTap> microphone;
        // The speech-recognition client of each dictation, asked when its transcription starts.
        // Default: the compiled-in job service (ASRClient::shared()).
        TranscriberSource transcriber;
        // The 3-second wait of the error display. Default: real time.
        std::shared_ptr<Sleeper> sleeper;
        // Puts the text into the focused field. Default: a TextInjector (needs a QGuiApplication).
        std::function<void(const std::string& text)> paste;
        // Where the temporary folders go. Default: the system's temporary folder.
        std::filesystem::path temporaryRoot;
    };

    static constexpr const char* kTranscribeEndpoint = "/api/transcribe/async";
    static constexpr double kMinimumSeconds = 0.25;
    static constexpr std::chrono::milliseconds kLevelInterval{33};
    static constexpr std::chrono::milliseconds kErrorDisplay{3000};
    // The error of a dictation whose sound server went away while the key was held.
    static constexpr const char* kSoundServerGone = "Пропал звуковой сервер — диктовка прервана";

    explicit DictationManager(QObject* parent = nullptr);
    DictationManager(Dependencies dependencies, QObject* parent = nullptr);
    ~DictationManager() override;

    const State& state() const { return m_state; }
    // The microphone level for the panel, refreshed every 0.033 s while recording; 0 otherwise.
    float inputLevel() const { return m_inputLevel; }
    // The current dictation's temporary folder; empty when there is none.
    std::filesystem::path temporaryFolder() const { return m_tempDir.value_or(std::filesystem::path{}); }

    // Asked before each start; a start it refuses is skipped with a log line. Answers true until
    // the owner replaces it.
    std::function<bool()> canStart = [] { return true; };

    // The key went down: records the microphone, when idle and canStart agrees.
    void start();
    // The key went up: when recording, stops and sends the recording of at least 0.25 s to the
    // service. Blocks while the last buffers are written.
    void stop();

signals:
    void stateChanged();
    void inputLevelChanged();
    // A dictated text could not be put on the clipboard to be pasted; it must be offered to the
    // user some other way.
    void textNotPlaced(const QString& text);

private:
    void startFailed(const std::string& error);
    // The sound server of dictation `serial` went away: the dictation ends in an error, nothing
    // is sent.
    void soundServerLost(std::uint64_t serial);
    void startTranscription(const std::filesystem::path& audioFile);
    void transcriptionFinished(
        std::uint64_t serial, const std::optional<Transcript>& transcript, bool cancelled, const std::string& error);
    void startErrorReset();
    void cleanup();
    void publishLevel();
    void setState(State state);
    void setInputLevel(float level);

    Dependencies m_deps;
    std::unique_ptr<TextInjector> m_injector; // when no paste function was given
    // Fed on the capture thread, read here; shared so a late callback never sees a dead meter.
    std::shared_ptr<AudioLevelMeter> m_meter = std::make_shared<AudioLevelMeter>();

    State m_state;
    float m_inputLevel = 0;
    std::shared_ptr<RecordingSession> m_session;
    std::uint64_t m_recordingSerial = 0; // counts the dictations started
    std::optional<std::filesystem::path> m_tempDir;
    QTimer m_levelTimer;
    std::unique_ptr<BackgroundJob> m_transcribeJob;
    std::uint64_t m_transcribeSerial = 0;
    // Error displays that are still waiting, by serial; never cancelled before the manager goes.
    std::map<std::uint64_t, std::unique_ptr<BackgroundJob>> m_resetJobs;
    std::uint64_t m_resetSerial = 0;
};

} // namespace palaverly
