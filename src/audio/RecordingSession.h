#pragma once

#include "audio/AudioBuffer.h"
#include "audio/SerialQueue.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace palaverly {

class AudioConverter;
class DuckingMixer;
class WavWriter;

// Owns audio.wav of one recording while it is being made: takes capture buffers in any format,
// converts each input to 48 kHz mono float, mixes (meetingMix) or amplifies (micOnly) them and
// writes 16-bit PCM. All of that happens on the session's own serial write queue.
//
// Threads: create, finalizeAndWait and release on the owner's thread (the main thread);
// appendSystem / appendMic on any thread (they only schedule work); finalize on the write queue.
// The scheduled work holds the session weakly: once the owner has released it, queued buffers
// are skipped. The file is closed when the session is destroyed.
class RecordingSession : public std::enable_shared_from_this<RecordingSession> {
public:
    enum class Mode {
        meetingMix, // system sound and microphone, mixed with ducking
        micOnly, // microphone alone, fixed gain, no queueing
    };
    static const char* modeName(Mode mode);

    struct SessionError {
        enum class Kind {
            folderCreationFailed, // `underlying` is the file system's own sentence, shown as is
            fileCreationFailed,
            formatCreationFailed,
        };
        Kind kind = Kind::fileCreationFailed;
        std::string underlying;
        // The sentence for the user.
        std::string description() const;
    };

    struct Created {
        std::shared_ptr<RecordingSession> session; // set on success
        std::optional<SessionError> error; // set on failure
    };

    static constexpr double kSampleRate = 48000.0;
    static constexpr const char* kWriteQueueLabel = "org.quorvane.palaverly.recording.write";

    // Owner's thread. Creates `directory` (with its parents) and directory/audio.wav, and logs
    // "Recording session at <path> mode=<mode>".
    static Created create(const std::filesystem::path& directory, Mode mode);
    ~RecordingSession();
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // Any thread, returns at once. A system buffer is ignored in micOnly.
    void appendSystem(AudioBuffer buffer);
    void appendMic(AudioBuffer buffer);

    // Write queue only. Mixes what is left in the queues (meetingMix), writes it and logs
    // "Finalized: N frames @ 48 kHz". A second call does nothing.
    void finalize();
    // Owner's thread (never the write queue's own closures): runs finalize on the write queue and
    // waits, so every buffer appended before has been written.
    void finalizeAndWait();

    // Any thread. Frames in audio.wav so far; exact once finalize has run.
    int64_t framesWritten() const { return m_framesWritten.load(std::memory_order_acquire); }
    double sampleRate() const { return kSampleRate; }
    const std::filesystem::path& directory() const { return m_directory; }
    const std::filesystem::path& audioPath() const { return m_audioPath; }
    Mode mode() const { return m_mode; }
    // For owners that need to order their own work after the buffers handed in so far.
    SerialQueue& writeQueue() { return m_writeQueue; }

private:
    RecordingSession(std::filesystem::path directory, Mode mode);

    // The steps below run on the write queue.
    void processSystem(const AudioBuffer& buffer);
    void processMic(const AudioBuffer& buffer);
    // Appends the converted samples to `output`; false when the buffer was dropped.
    bool convert(std::unique_ptr<AudioConverter>& converter, const AudioBuffer& buffer, std::vector<float>& output);
    void mixAndWrite();
    void writeBlock(bool logFailure);

    const std::filesystem::path m_directory;
    const std::filesystem::path m_audioPath;
    const Mode m_mode;
    std::unique_ptr<WavWriter> m_outputFile;
    std::unique_ptr<AudioConverter> m_systemConverter;
    std::unique_ptr<AudioConverter> m_micConverter;
    std::unique_ptr<DuckingMixer> m_mixer;
    std::vector<float> m_block; // scratch for the block being written
    bool m_isFinalized = false;
    std::atomic<int64_t> m_framesWritten{0};
    // Last member: destroyed first, so no queued work can outlive the state above it.
    SerialQueue m_writeQueue;
};

} // namespace palaverly
