#pragma once

#include <QObject>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>

class QMediaPlayer;
class QAudioOutput;

namespace palaverly {

// Plays one recording's audio file and publishes the playback position for the transcript and
// the player bar. Main thread only; the position updater is a timer on the main thread.
//
// currentTime, isPlaying and isUpdating notify only when their value really changes.
class AudioPlayer : public QObject {
    Q_OBJECT

public:
    static constexpr int kUpdateIntervalMs = 50;
    // Play restarts from 0 when the position is this close to the end.
    static constexpr double kEndTolerance = 0.05;

    // Opens the file without starting it. Logs "Failed to open audio: <path>" and gives nothing
    // when the file cannot be opened.
    static std::unique_ptr<AudioPlayer> create(const std::filesystem::path& file, QObject* parent = nullptr);
    ~AudioPlayer() override;

    // Seconds, as last published.
    double currentTime() const { return m_currentTime; }
    bool isPlaying() const { return m_isPlaying; }
    // The file's length in seconds, read once when it was opened.
    double duration() const { return m_duration; }
    // The position updater runs (only while playing).
    bool isUpdating() const { return m_updater.isActive(); }

    void play();
    void pause();
    void toggle();
    // Clamps to 0 ... duration; does not change isPlaying.
    void seek(double seconds);

signals:
    void currentTimeChanged(double seconds);
    void isPlayingChanged(bool playing);
    void isUpdatingChanged(bool updating);

private:
    AudioPlayer(const std::filesystem::path& file, double duration, QObject* parent);

    void startUpdater();
    void stopUpdater();
    void updateStep();
    double playerPosition() const;
    void movePlayer(double seconds);
    void applyPendingPosition();
    void setCurrentTime(double seconds);
    void setPlaying(bool playing);

    double m_currentTime = 0;
    bool m_isPlaying = false;
    double m_duration = 0;
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
    QTimer m_updater;
    // The back end ignores positions set while the file is still loading; such a position is
    // kept here and applied once the file is loaded.
    std::optional<qint64> m_pendingPositionMs;
    std::filesystem::path m_file;
};

} // namespace palaverly
