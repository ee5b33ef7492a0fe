#include "dictation/DictationManager.h"
#include "common/Uuid.h"
#include "services/ASRClient.h"
#include "services/ServiceConfig.h"

#include "FakeCaptureBackend.h"
#include "FakeOpenAISpeechService.h"
#include "FakeSpeechService.h"
#include "LogCapture.h"
#include "QtWait.h"
#include "RecordingSleeper.h"

#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace palaverly;
using State = DictationManager::State;
using Kind = DictationManager::State::Kind;

namespace {

const QString kCategory = QStringLiteral("Dictation");

class DictationManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tempRoot.isValid());
        m_client = std::make_unique<ASRClient>(m_service.baseUrl(), std::make_shared<test::RecordingSleeper>());
        m_manager = makeManager(m_tempRoot.path().toStdString());
        QObject::connect(m_manager.get(), &DictationManager::stateChanged, [this] {
            m_states.push_back(m_manager->state());
            // Whenever the manager is back to idle, no dictation is left on disk.
            if (m_manager->state().kind == Kind::idle) {
                EXPECT_TRUE(QDir(m_tempRoot.path()).isEmpty());
            }
        });
    }

    // A manager on the fake microphone and service, pasting into m_pasted.
    std::unique_ptr<DictationManager> makeManager(
        const std::filesystem::path& temporaryRoot, TranscriberSource transcriber = {})
    {
        DictationManager::Dependencies deps;
        deps.microphone = std::make_unique<MicrophoneTap>(std::make_unique<test::FakeCaptureBackend>(m_mic));
        deps.transcriber = transcriber ? std::move(transcriber) : fixedTranscriber(*m_client);
        deps.sleeper = m_sleeper;
        deps.paste = [this](const std::string& text) { m_pasted.push_back(text); };
        deps.temporaryRoot = temporaryRoot;
        return std::make_unique<DictationManager>(std::move(deps));
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
    std::shared_ptr<test::RecordingSleeper> m_sleeper = std::make_shared<test::RecordingSleeper>();
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
    EXPECT_TRUE(m_manager->temporaryFolder().empty());
    EXPECT_FALSE(std::filesystem::exists(folder));
    ASSERT_EQ(m_service.uploads().size(), 1u);
    EXPECT_EQ(m_service.uploads()[0].audio.size(), 44u + 48000u * 2); // one second of 16-bit mono at 48 kHz
    EXPECT_TRUE(log.messages(kCategory).empty());

    // Blanks paste nothing.
    m_service.setTranscript({{"text", " \n\t "}, {"duration_sec", 1.0}, {"processing_time_sec", 0.1}, {"rtf", 0.1}});
    m_manager->start();
    speak(0.5);
    m_manager->stop();
    ASSERT_TRUE(settlesIn(Kind::idle));
    EXPECT_EQ(m_pasted.size(), 1u);
}

TEST_F(DictationManagerTest, AnOpenAICompatibleRecognizerGetsTheDictationAndItsWordsArePasted)
{
    test::FakeOpenAISpeechService local;
    local.setSegments({{0.0, 0.8, "Купить молоко"}, {0.8, 1.0, "и хлеб."}}, 1.0);
    ServiceConfig config{.transcriptionApi = TranscriptionApi::openai, .transcriptionUrl = local.baseUrl()};
    m_manager = makeManager(
        m_tempRoot.path().toStdString(), [&] { return makeTranscriber(config, m_sleeper, TranscriptUse::dictation); });
    m_manager->start();
    speak(1.0);
    m_manager->stop();
    ASSERT_TRUE(settlesIn(Kind::idle));
    EXPECT_EQ(m_pasted, std::vector<std::string>{"Купить молоко и хлеб."});
    ASSERT_EQ(local.uploads().size(), 1u);
    EXPECT_EQ(local.uploads()[0].audio.size(), 44u + 48000u * 2);
    EXPECT_TRUE(m_service.requests().empty());
}

TEST_F(DictationManagerTest, AStartThatFailsShowsWhyForThreeSecondsAndLeavesNothingBehind)
{
    test::LogCapture log;
    // The microphone's own text.
    m_mic->startError = CaptureBackend::StartError{CaptureBackend::StartError::Kind::failed, "Connection refused"};
    m_manager->start();
    const std::string micMessage = "PulseAudio microphone start failed: Connection refused";
    EXPECT_EQ(m_manager->state(), State::error(micMessage));
    EXPECT_EQ(log.errors(kCategory),
        std::vector<QString>{QStringLiteral("Dictation start failed: ") + QString::fromStdString(micMessage)});
    EXPECT_TRUE(QDir(m_tempRoot.path()).isEmpty());
    ASSERT_TRUE(settlesIn(Kind::idle));
    EXPECT_EQ(m_sleeper->delays(), std::vector<std::chrono::milliseconds>{DictationManager::kErrorDisplay});
    m_mic->startError.reset();

    // A temporary folder that cannot be made.
    const std::filesystem::path blocked = std::filesystem::path(m_tempRoot.path().toStdString()) / "file";
    {
        std::ofstream(blocked) << "not a folder";
    }
    const auto nowhere = makeManager(blocked);
    log.clear();
    nowhere->start();
    EXPECT_EQ(nowhere->state().kind, Kind::error);
    EXPECT_FALSE(nowhere->state().message.empty());
    EXPECT_EQ(log.errors(kCategory).size(), 1u);
    EXPECT_EQ(m_mic->starts.load(), 1);
    EXPECT_TRUE(test::waitUntil([&] { return nowhere->state().kind == Kind::idle; }));
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
    auto recording = makeManager(m_tempRoot.path().toStdString());
    recording->start();
    speak(0.1);
    recording.reset();
    EXPECT_FALSE(m_mic->running.load());
    EXPECT_TRUE(QDir(m_tempRoot.path()).isEmpty());
}
