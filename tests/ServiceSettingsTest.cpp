// The chosen services against the Secret Service of run-with-services.sh (gnome-keyring-daemon,
// unlocked, on the private session bus).
#include "system/ServiceSettings.h"

#include "common/AtomicFile.h"
#include "services/OpenAITranscriptionClient.h"
#include "services/ServiceCheck.h"

#include "FakeChatService.h"
#include "FakeOpenAISpeechService.h"
#include "LogCapture.h"
#include "QtWait.h"
#include "RecordingSleeper.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;

namespace {

class ServiceSettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<ServiceSettings> open()
    {
        ServiceSettings::Options options;
        options.keyFile = keyFile();
        auto services = std::make_unique<ServiceSettings>(m_store, std::move(options));
        EXPECT_TRUE(waitUntil([&] { return services->keyStorage() != ServiceSettings::KeyStorage::loading; }));
        return services;
    }
    std::filesystem::path keyFile() const { return m_dir.filePath("keys.json").toStdString(); }

    // What the keyring holds, read by the desktop's own tool.
    static QString lookup(const char* account)
    {
        return QString::fromUtf8(runForOutput(QStringLiteral("secret-tool"),
            {QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("palaverly"), QStringLiteral("user"),
                QString::fromLatin1(account)}));
    }

    QTemporaryDir m_dir;
    QSettings m_store{m_dir.filePath("palaverly.conf"), QSettings::IniFormat};
    LogCapture m_log;
};

} // namespace

TEST_F(ServiceSettingsTest, BuildValuesAreTheDefaultsAndOnlyTheNamedKeysAreStored)
{
    auto services = open();
    ServiceConfig expected = ServiceConfig::compiledIn();
    // (The keyring is the session's; other tests may have left keys in it.)
    expected.transcriptionKey = services->config().transcriptionKey;
    expected.chatKey = services->config().chatKey;
    EXPECT_EQ(services->config(), expected);
    EXPECT_EQ(services->config().transcriptionApi, TranscriptionApi::jobs);
    EXPECT_EQ(services->config().chatModel, "qwen-summary");

    QSignalSpy changed(services.get(), &ServiceSettings::changed);
    services->setTranscriptionApi(TranscriptionApi::openai);
    services->setTranscriptionUrl(" http://127.0.0.1:8000 ");
    services->setTranscriptionModel("whisper-large-v3");
    services->setTranscriptionLanguage("ru");
    services->setChatUrl("http://127.0.0.1:8080/v1");
    services->setChatModel("qwen2.5:7b");
    services->setChatModel("qwen2.5:7b");
    EXPECT_EQ(changed.count(), 6);
    m_store.sync();
    QSettings reread(m_dir.filePath("palaverly.conf"), QSettings::IniFormat);
    reread.beginGroup("services");
    EXPECT_EQ(reread.allKeys(),
        (QStringList{"chatModel", "chatUrl", "transcriptionApi", "transcriptionLanguage", "transcriptionModel",
            "transcriptionUrl"}));
    EXPECT_EQ(reread.value("transcriptionApi").toString(), "openai");
    EXPECT_EQ(reread.value("transcriptionUrl").toString(), "http://127.0.0.1:8000");

    // The build's value again, or nothing, removes the stored one.
    services->setTranscriptionApi(TranscriptionApi::jobs);
    services->setChatUrl("");
    EXPECT_EQ(services->config().chatUrl, ServiceConfig::compiledIn().chatUrl);
    EXPECT_FALSE(m_store.contains("services/transcriptionApi"));
    EXPECT_FALSE(m_store.contains("services/chatUrl"));
}

TEST_F(ServiceSettingsTest, KeysGoToTheKeyringAndNeverToTheSettingsFileOrTheLog)
{
    const std::string transcriptionKey = "sk-transcribe-" + std::to_string(::getpid());
    const std::string chatKey = "sk-chat-" + std::to_string(::getpid());
    {
        auto services = open();
        ASSERT_EQ(services->keyStorage(), ServiceSettings::KeyStorage::keyring)
            << services->keyringError().toStdString();
        QSignalSpy saved(services.get(), &ServiceSettings::keySaved);
        services->setTranscriptionKey(transcriptionKey);
        services->setChatKey(" " + chatKey + "\n");
        ASSERT_TRUE(waitUntil([&] { return saved.count() == 2; }));
        EXPECT_EQ(saved.at(0).at(0).toBool(), true);
        EXPECT_EQ(saved.at(1).at(0).toBool(), true);
        EXPECT_EQ(lookup("transcriptionApiKey"), QString::fromStdString(transcriptionKey));
        EXPECT_EQ(lookup("chatApiKey"), QString::fromStdString(chatKey));

        // The keys go out with requests: a refused one, a check, a transcription.
        FakeChatService chat("sk-other");
        services->setChatUrl(chat.baseUrl());
        FakeOpenAISpeechService recognizer(transcriptionKey);
        services->setTranscriptionApi(TranscriptionApi::openai);
        services->setTranscriptionUrl(recognizer.baseUrl());
        EXPECT_EQ(serviceCheck::chat(services->config(), {}).kind, serviceCheck::Outcome::Kind::keyRefused);
        EXPECT_EQ(serviceCheck::transcription(services->config(), {}).kind, serviceCheck::Outcome::Kind::answers);
        EXPECT_EQ(chat.requests().at(0).header("Authorization"), "Bearer " + chatKey);
        const auto audio = std::filesystem::path(m_dir.filePath("audio.wav").toStdString());
        std::ofstream(audio, std::ios::binary) << "RIFF";
        const auto transcript
            = makeTranscriber(services->config(), std::make_shared<RecordingSleeper>())->transcribe(audio, "", {});
        EXPECT_TRUE(transcript) << transcript.error().description();
    }

    // A new start reads them back from the keyring.
    auto again = open();
    EXPECT_EQ(again->keyStorage(), ServiceSettings::KeyStorage::keyring);
    EXPECT_EQ(again->config().transcriptionKey, transcriptionKey);
    EXPECT_EQ(again->config().chatKey, chatKey);

    m_store.sync();
    const std::string settingsFile = readSmallFile(m_dir.filePath("palaverly.conf").toStdString(), 1 << 20).value();
    EXPECT_EQ(settingsFile.find(transcriptionKey), std::string::npos);
    EXPECT_EQ(settingsFile.find(chatKey), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(keyFile()));
    for (const LogLine& line : m_log.lines()) {
        EXPECT_FALSE(line.message.contains(QString::fromStdString(transcriptionKey))) << line.message.toStdString();
        EXPECT_FALSE(line.message.contains(QString::fromStdString(chatKey))) << line.message.toStdString();
    }

    // An emptied key leaves the keyring; the chat then uses the build's key again.
    QSignalSpy saved(again.get(), &ServiceSettings::keySaved);
    again->setTranscriptionKey("");
    again->setChatKey("");
    ASSERT_TRUE(waitUntil([&] { return saved.count() == 2; }));
    EXPECT_EQ(lookup("transcriptionApiKey"), "");
    EXPECT_EQ(again->config().chatKey, ServiceConfig::compiledIn().chatKey);
}
