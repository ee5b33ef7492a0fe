#include "dictation/DictationManager.h"
#include "common/Uuid.h"
#include "services/ASRClient.h"

#include "FakeCaptureBackend.h"
#include "FakeSpeechService.h"
#include "LogCapture.h"
#include "QtWait.h"
#include "RecordingSleeper.h"

#include <QTemporaryDir>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace palaverly;
using State = DictationManager::State;
using Kind = DictationManager::State::Kind;

namespace {

const QString kCategory = QStringLiteral("Dictation");

// Holds every wait until the test opens it (or the waiter is stopped), so the test decides when
// the 3 seconds are over.
class GateSleeper final : public Sleeper {
public:
    bool wait(std::chrono::milliseconds duration, std::stop_token stop) override
    {
        std::unique_lock lock(m_mutex);
        m_delays.push_back(duration);
        m_changed.wait(lock, stop, [this] { return m_open; });
        return !stop.stop_requested();
    }
    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    std::vector<std::chrono::milliseconds> delays() const
    {
        std::lock_guard lock(m_mutex);
        return m_delays;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable_any m_changed;
    bool m_open = false;
    std::vector<std::chrono::milliseconds> m_delays;
};

class DictationManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tempRoot.isValid());
        m_client = std::make_unique<ASRClient>(m_service.baseUrl(), std::make_shared<test::RecordingSleeper>());
        DictationManager::Dependencies deps;
        deps.microphone = std::make_unique<MicrophoneTap>(std::make_unique<test::FakeCaptureBackend>(m_mic));
        deps.speechClient = m_client.get();
        deps.sleeper = m_sleeper;
        deps.paste = [this](const std::string& text) { m_pasted.push_back(text); };
        deps.temporaryRoot = m_tempRoot.path().toStdString();
        m_manager = std::make_unique<DictationManager>(std::move(deps));
        QObject::connect(m_manager.get(), &DictationManager::stateChanged, [this] {
            m_states.push_back(m_manager->state());
            // Whenever the manager is back to idle, no dictation is left on disk.
            if (m_manager->state().kind == Kind::idle) {
                EXPECT_TRUE(QDir(m_tempRoot.path()).isEmpty());
            }
        });
    }

    // Plays the capture thread: `seconds` of a 440 Hz tone in 4096-frame buffers (the last one
    // shorter), from a thread of its own.
    void speak(double seconds)
    {
        const auto total = static_cast<uint32_t>(seconds * 48000);
        std::thread capture([this, total] {
            for (uint32_t done = 0; done < total;) {
                const uint32_t frames = std::min<uint32_t>(MicrophoneTap::kFramesPerBuffer, total - done);
                std::vector<float> samples(frames);
                for (uint32_t i = 0; i < frames; ++i)
                    samples[i] = 0.5f * std::sin(2 * 3.14159265f * 440 * float(done + i) / 48000);
                m_mic->request.streams.at(0).onBuffer(
                    AudioBuffer::fromFloat(48000, 1, SampleLayout::interleaved, samples));
                done += frames;
            }
        });
        capture.join();
    }

    bool settlesIn(Kind kind)
    {
        return test::waitUntil([&] { return m_manager->state().kind == kind; });
    }

    QTemporaryDir m_tempRoot;
    test::FakeSpeechService m_service;
    std::unique_ptr<ASRClient> m_client;
    std::shared_ptr<test::FakeCaptureBackend::Control> m_mic = std::make_shared<test::FakeCaptureBackend::Control>();
    std::shared_ptr<GateSleeper> m_sleeper = std::make_shared<GateSleeper>();
    std::vector<std::string> m_pasted;
    std::vector<State> m_states;
    std::unique_ptr<DictationManager> m_manager;
};

} // namespace

TEST_F(DictationManagerTest, AHoldIsRecordedTranscribedTrimmedPastedAndForgotten)
{
    m_service.setTranscript(
        {{"text", "  Привет, это диктовка.\n\n"}, {"duration_sec", 1.0}, {"processing_time_sec", 0.1}, {"rtf", 0.1}});
    test::LogCapture log;

    m_manager->start();
    ASSERT_EQ(m_manager->state(), State::recording());
    const std::filesystem::path folder = m_manager->temporaryFolder();
    EXPECT_EQ(folder.parent_path(), std::filesystem::path(m_tempRoot.path().toStdString()));
    const std::string name = folder.filename().string();
    ASSERT_EQ(name.size(), 10u + 36u);
    EXPECT_EQ(name.substr(0, 10), "dictation-");
    EXPECT_TRUE(Uuid::parse(name.substr(10)).has_value());
    EXPECT_TRUE(std::filesystem::exists(folder / "audio.wav"));
    EXPECT_EQ(m_mic->starts.load(), 1);

    speak(1.0);
    // The panel's level follows the microphone while recording.
    EXPECT_TRUE(test::waitUntil([&] { return m_manager->inputLevel() > 0.1f; }, 3000));

    m_manager->stop();
    EXPECT_EQ(m_manager->state(), State::transcribing());
    EXPECT_EQ(m_mic->stops.load(), 1);
    ASSERT_TRUE(settlesIn(Kind::idle));

    EXPECT_EQ(m_pasted, std::vector<std::string>{"Привет, это диктовка."});
    EXPECT_EQ(m_states, (std::vector{State::recording(), State::transcribing(), State::idle()}));
    EXPECT_EQ(m_manager->inputLevel(), 0.0f);
    EXPECT_TRUE(m_manager->temporaryFolder().empty());
    EXPECT_FALSE(std::filesystem::exists(folder));

    const auto uploads = m_service.uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].endpoint, DictationManager::kTranscribeEndpoint);
    EXPECT_EQ(uploads[0].audio.size(), 44u + 48000u * 2); // one second of 16-bit mono at 48 kHz
    EXPECT_TRUE(log.messages(kCategory).empty());

    // Turns become "speaker: text" lines; only white space around the whole is trimmed.
    m_service.setTranscript({{"segments",
                                 {{{"speaker", "SPEAKER_00"}, {"text", "Раз."}, {"start", 0.0}, {"end", 0.5}},
                                     {{"speaker", "SPEAKER_01"}, {"text", "Два. "}, {"start", 0.5}, {"end", 1.0}}}},
        {"duration_sec", 1.0}, {"processing_time_sec", 0.1}, {"rtf", 0.1}});
    m_manager->start();
    speak(0.5);
    m_manager->stop();
    ASSERT_TRUE(settlesIn(Kind::idle));
    EXPECT_EQ(m_pasted.back(), "SPEAKER_00: Раз.\n\nSPEAKER_01: Два.");
}

TEST_F(DictationManagerTest, RefusedShortAndOutOfTurnPressesChangeNothing)
{
    test::LogCapture log;

    // A meeting is being recorded.
    m_manager->canStart = [] { return false; };
    m_manager->start();
    EXPECT_EQ(m_manager->state(), State::idle());
    EXPECT_EQ(m_mic->starts.load(), 0);
    EXPECT_TRUE(QDir(m_tempRoot.path()).isEmpty());
    EXPECT_EQ(log.messages(kCategory),
        std::vector<QString>{QStringLiteral("Dictation skipped — another recording is in progress")});
    m_manager->canStart = [] { return true; };

    // Shorter than 0.25 s: nothing is sent, nothing is logged.
    m_manager->start();
    speak(0.2);
    m_manager->stop();
    EXPECT_EQ(m_manager->state(), State::idle());
    EXPECT_TRUE(m_service.requests().empty());
    m_manager->stop(); // not recording: nothing

    // A press while the text is being recognized is ignored, and so is its release.
    m_service.setPollsBeforeCompletion(3);
    m_manager->start();
    speak(0.3);
    m_manager->stop();
    ASSERT_EQ(m_manager->state(), State::transcribing());
    m_manager->start();
    m_manager->stop();
    EXPECT_EQ(m_manager->state(), State::transcribing());
    EXPECT_EQ(m_mic->starts.load(), 2);
    ASSERT_TRUE(settlesIn(Kind::idle));
    EXPECT_EQ(m_pasted.size(), 1u);
    EXPECT_EQ(m_service.uploads().size(), 1u);
    EXPECT_EQ(log.messages(kCategory).size(), 1u);

    // A transcript of blanks pastes nothing.
    m_service.setTranscript({{"text", " \n\t "}, {"duration_sec", 1.0}, {"processing_time_sec", 0.1}, {"rtf", 0.1}});
    m_manager->start();
    speak(0.3);
    m_manager->stop();
    ASSERT_TRUE(settlesIn(Kind::idle));
    EXPECT_EQ(m_pasted.size(), 1u);
}

TEST_F(DictationManagerTest, AFailureShowsItsTextUntilTheThreeSecondsAreOver)
{
    test::LogCapture log;
    m_service.scriptUploads({test::FakeAnswer::reply(413, "too large", "text/plain")});
    m_manager->start();
    speak(0.5);
    m_manager->stop();
    ASSERT_TRUE(settlesIn(Kind::error));
    const std::string message = "Не удалось отправить на расшифровку: HTTP 413 — too large";
    EXPECT_EQ(m_manager->state(), State::error(message));
    EXPECT_EQ(log.errors(kCategory),
        std::vector<QString>{QStringLiteral("Dictation transcribe failed: ") + QString::fromStdString(message)});
    EXPECT_TRUE(m_pasted.empty());
    EXPECT_TRUE(QDir(m_tempRoot.path()).isEmpty()); // deleted on failure too

    // The error stays while the 3 seconds run; presses meanwhile are ignored.
    test::waitUntil([&] { return false; }, 100);
    m_manager->start();
    EXPECT_EQ(m_manager->state(), State::error(message));
    EXPECT_EQ(m_mic->starts.load(), 1);
    ASSERT_TRUE(test::waitUntil([&] { return m_sleeper->delays().size() == 1; }));
    EXPECT_EQ(m_sleeper->delays()[0], DictationManager::kErrorDisplay);
    m_sleeper->open();
    ASSERT_TRUE(settlesIn(Kind::idle));

    // A start that fails leaves nothing behind and shows the microphone's own text.
    m_mic->startError = CaptureBackend::StartError{CaptureBackend::StartError::Kind::failed, "Connection refused"};
    log.clear();
    m_manager->start();
    const std::string micMessage = "PulseAudio microphone start failed: Connection refused";
    EXPECT_EQ(m_manager->state(), State::error(micMessage));
    EXPECT_EQ(log.errors(kCategory),
        std::vector<QString>{QStringLiteral("Dictation start failed: ") + QString::fromStdString(micMessage)});
    EXPECT_TRUE(QDir(m_tempRoot.path()).isEmpty());
    ASSERT_TRUE(settlesIn(Kind::idle)); // the gate is open now
    m_mic->startError.reset();

    // So does a temporary folder that cannot be made.
    const std::filesystem::path blocked = std::filesystem::path(m_tempRoot.path().toStdString()) / "file";
    {
        std::ofstream(blocked) << "not a folder";
    }
    DictationManager::Dependencies deps;
    deps.microphone = std::make_unique<MicrophoneTap>(std::make_unique<test::FakeCaptureBackend>(m_mic));
    deps.speechClient = m_client.get();
    deps.sleeper = std::make_shared<test::RecordingSleeper>();
    deps.paste = [](const std::string&) {};
    deps.temporaryRoot = blocked;
    DictationManager nowhere(std::move(deps));
    log.clear();
    nowhere.start();
    EXPECT_EQ(nowhere.state().kind, Kind::error);
    EXPECT_FALSE(nowhere.state().message.empty());
    EXPECT_EQ(log.errors(kCategory).size(), 1u);
    EXPECT_EQ(m_mic->starts.load(), 2);
    EXPECT_TRUE(test::waitUntil([&] { return nowhere.state().kind == Kind::idle; }));
    std::filesystem::remove(blocked);
}

TEST_F(DictationManagerTest, GoingAwayMidDictationCancelsTheWorkAndRemovesTheFolder)
{
    m_service.scriptUploads({test::FakeAnswer::stall()});
    m_manager->start();
    speak(0.5);
    m_manager->stop();
    const std::filesystem::path folder = m_manager->temporaryFolder();
    ASSERT_TRUE(test::waitUntil([&] { return !m_service.requests().empty(); }));
    m_manager.reset();
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_TRUE(m_pasted.empty());

    // Likewise while recording.
    DictationManager::Dependencies deps;
    deps.microphone = std::make_unique<MicrophoneTap>(std::make_unique<test::FakeCaptureBackend>(m_mic));
    deps.speechClient = m_client.get();
    deps.paste = [](const std::string&) {};
    deps.temporaryRoot = m_tempRoot.path().toStdString();
    auto recording = std::make_unique<DictationManager>(std::move(deps));
    recording->start();
    speak(0.1);
    recording.reset();
    EXPECT_FALSE(m_mic->running.load());
    EXPECT_TRUE(QDir(m_tempRoot.path()).isEmpty());
}
