// The "Сервисы" pane, offscreen, against loopback services and the Secret Service of
// run-with-services.sh; and, run again without a reachable keyring, what it says then.
#include "ui/settings/SettingsServicesPane.h"

#include "system/ServiceSettings.h"

#include "FakeChatService.h"
#include "FakeOpenAISpeechService.h"
#include "QtWait.h"
#include "RecorderRig.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace palaverly;
using namespace palaverly::test;

namespace {

// Set by the test registration that runs these tests with no session bus to reach.
bool withoutKeyring()
{
    return qEnvironmentVariableIsSet("PALAVERLY_TEST_NO_KEYRING");
}

class SettingsServicesPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ServiceSettings::Options options;
        options.keyFile = m_dir.filePath("keys.json").toStdString();
        m_services = std::make_unique<ServiceSettings>(m_store, std::move(options));
        ASSERT_TRUE(waitUntil([&] { return m_services->keyStorage() != ServiceSettings::KeyStorage::loading; }));
        m_pane = std::make_unique<SettingsServicesPane>(*m_services);
        m_pane->resize(600, 700);
        m_pane->show();
    }

    static void type(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->setText(text);
        emit edit->editingFinished();
        edit->clearFocus();
    }

    // Presses the button and waits for its answer.
    static QString check(QPushButton* button, QLabel* result)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(waitUntil([&] { return button->isEnabled(); }));
        return result->text();
    }

    void chooseProtocol(int index)
    {
        m_pane->protocolBox()->setCurrentIndex(index);
        emit m_pane->protocolBox()->activated(index);
    }

    QTemporaryDir m_dir;
    QSettings m_store{m_dir.filePath("palaverly.conf"), QSettings::IniFormat};
    std::unique_ptr<ServiceSettings> m_services;
    std::unique_ptr<SettingsServicesPane> m_pane;
};

} // namespace

TEST_F(SettingsServicesPaneTest, ChecksSayWhetherTheServiceAnswersAndTakesTheKey)
{
    if (withoutKeyring())
        GTEST_SKIP();
    FakeChatService chat("sk-chat-right");
    type(m_pane->chatAddress(), QString::fromStdString(chat.endpointUrl()));
    type(m_pane->chatModel(), "qwen2.5:7b");
    type(m_pane->chatKey(), "sk-chat-right");
    EXPECT_EQ(check(m_pane->chatCheck(), m_pane->chatResult()), "Сервис отвечает, ключ принят.");
    ASSERT_EQ(chat.calls().size(), 1u);
    EXPECT_EQ(chat.calls()[0].model, "qwen2.5:7b");
    EXPECT_EQ(chat.calls()[0].body.at("max_tokens"), 1);

    type(m_pane->chatKey(), "sk-chat-wrong");
    EXPECT_EQ(check(m_pane->chatCheck(), m_pane->chatResult()),
        "Сервис отвечает, но не принимает ключ (HTTP 401). Проверьте API-ключ.");

    // Nothing listens on the port of a server that is gone.
    std::string gone;
    {
        FakeHttpServer closed({[](const RecordedRequest&) { return FakeAnswer::reply(200, "{}"); }, {}});
        gone = closed.baseUrl();
    }
    type(m_pane->chatAddress(), QString::fromStdString(gone));
    EXPECT_EQ(check(m_pane->chatCheck(), m_pane->chatResult()),
        "Сервис не отвечает. Не удалось подключиться к серверу. Проверьте адрес.");

    // The recognizer: the OpenAI-compatible one gets a moment of silence, the job service a
    // question about a job it does not know.
    FakeOpenAISpeechService recognizer("sk-asr");
    chooseProtocol(1);
    EXPECT_TRUE(m_pane->transcriptionModel()->isVisibleTo(m_pane.get()));
    type(m_pane->transcriptionAddress(), QString::fromStdString(recognizer.baseUrl()));
    type(m_pane->transcriptionKey(), "sk-asr");
    EXPECT_EQ(check(m_pane->transcriptionCheck(), m_pane->transcriptionResult()), "Сервис отвечает, ключ принят.");
    EXPECT_EQ(recognizer.uploads().at(0).audio.size(), 44u + 16000u);

    FakeSpeechService jobs;
    chooseProtocol(0);
    EXPECT_FALSE(m_pane->transcriptionModel()->isVisibleTo(m_pane.get()));
    type(m_pane->transcriptionAddress(), QString::fromStdString(jobs.baseUrl()));
    type(m_pane->transcriptionKey(), "");
    EXPECT_EQ(check(m_pane->transcriptionCheck(), m_pane->transcriptionResult()), "Сервис отвечает.");
    EXPECT_TRUE(jobs.requests().at(0).target.starts_with("/api/jobs/"));

    // A service that does not answer keeps the button busy, never the window.
    FakeHttpServer silent({[](const RecordedRequest&) { return FakeAnswer::stall(); }, {}});
    type(m_pane->transcriptionAddress(), QString::fromStdString(silent.baseUrl()));
    int beats = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++beats; });
    heartbeat.start(20);
    QTest::mouseClick(m_pane->transcriptionCheck(), Qt::LeftButton);
    settle(300);
    EXPECT_FALSE(m_pane->transcriptionCheck()->isEnabled());
    EXPECT_EQ(m_pane->transcriptionResult()->text(), "Проверяю…");
    EXPECT_GE(beats, 8);
    silent.releaseStalls();
    ASSERT_TRUE(waitUntil([&] { return m_pane->transcriptionCheck()->isEnabled(); }));
    EXPECT_TRUE(m_pane->transcriptionResult()->text().startsWith("Сервис не отвечает."));
    type(m_pane->chatKey(), "");
}

TEST_F(SettingsServicesPaneTest, AChangeReachesTheNextJobAndNotTheRunningOne)
{
    if (withoutKeyring())
        GTEST_SKIP();
    RecorderRig rig;
    rig.transcriber = [&] { return makeTranscriber(m_services->config(), rig.sleeper); };
    type(m_pane->transcriptionAddress(), QString::fromStdString(rig.speech.baseUrl()));

    // The first job's poll waits for the service; meanwhile the user switches to a local recognizer.
    rig.speech.scriptPolls({FakeAnswer::stall()});
    const auto add = [&rig](RecordingKind kind) {
        const RecordingMeta meta{Uuid::generate(), "Запись", nowSeconds(), 12, kind};
        rig.library.addRecording(meta);
        rig.store.reload();
        rig.model->startTranscription(meta.id, rig.store.recording(meta.id)->audioURL(), kind);
        return meta.id;
    };
    const Uuid first = add(RecordingKind::meeting);
    ASSERT_TRUE(waitUntil([&] { return rig.speech.pollRequests().size() == 1; }));

    FakeOpenAISpeechService local;
    chooseProtocol(1);
    type(m_pane->transcriptionAddress(), QString::fromStdString(local.baseUrl()));
    const Uuid second = add(RecordingKind::note);
    ASSERT_TRUE(waitUntil([&] { return !rig.model->hasTranscribeTask(second); }));
    ASSERT_TRUE(rig.store.recording(second)->transcript);
    EXPECT_EQ(rig.store.transcript(*rig.store.recording(second))->segments->at(0).speaker, "SPEAKER_00");

    rig.speech.server().releaseStalls();
    ASSERT_TRUE(waitUntil([&] { return !rig.model->hasTranscribeTask(first); }));
    ASSERT_TRUE(rig.store.recording(first)->transcript);
    EXPECT_EQ(rig.store.recording(first)->transcript->numSpeakers, 2);
    EXPECT_EQ(rig.speech.uploads().size(), 1u);
    EXPECT_EQ(local.uploads().size(), 1u);
}

TEST_F(SettingsServicesPaneTest, WithoutAKeyringThePaneSaysSoAndAsksBeforeUsingAFile)
{
    if (!withoutKeyring())
        GTEST_SKIP();
    EXPECT_EQ(m_services->keyStorage(), ServiceSettings::KeyStorage::memoryOnly);
    EXPECT_TRUE(m_pane->keyStorageText()->text().startsWith("Служба хранения паролей (Secret Service) не запущена"));
    ASSERT_TRUE(m_pane->keyFileButton()->isVisibleTo(m_pane.get()));

    // A key typed now works for this run and is written nowhere.
    type(m_pane->chatKey(), "sk-in-memory");
    EXPECT_EQ(m_services->config().chatKey, "sk-in-memory");
    EXPECT_FALSE(QFile::exists(m_dir.filePath("keys.json")));

    // Declining leaves it so; agreeing writes a file only the owner can read.
    for (const bool agree : {false, true}) {
        QTest::mouseClick(m_pane->keyFileButton(), Qt::LeftButton);
        auto* dialog = m_pane->findChild<QMessageBox*>(QStringLiteral("keyFileDialog"));
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->text(), "Хранить ключи в файле?");
        QAbstractButton* answer = nullptr;
        for (QAbstractButton* button : dialog->buttons()) {
            if (button->text() == (agree ? "Хранить в файле" : "Отмена"))
                answer = button;
        }
        ASSERT_NE(answer, nullptr);
        answer->click();
        ASSERT_TRUE(waitUntil([&] { return !m_pane->findChild<QMessageBox*>(QStringLiteral("keyFileDialog")); }));
        EXPECT_EQ(QFile::exists(m_dir.filePath("keys.json")), agree);
    }
    struct stat info { };
    ASSERT_EQ(::stat(m_dir.filePath("keys.json").toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(m_services->keyStorage(), ServiceSettings::KeyStorage::file);
    EXPECT_FALSE(m_pane->keyFileButton()->isVisibleTo(m_pane.get()));
    EXPECT_TRUE(m_pane->keyStorageText()->text().contains("keys.json"));

    // The next start finds the key there.
    ServiceSettings::Options options;
    options.keyFile = m_dir.filePath("keys.json").toStdString();
    ServiceSettings again(m_store, std::move(options));
    ASSERT_TRUE(waitUntil([&] { return again.keyStorage() != ServiceSettings::KeyStorage::loading; }));
    EXPECT_EQ(again.keyStorage(), ServiceSettings::KeyStorage::file);
    EXPECT_EQ(again.config().chatKey, "sk-in-memory");
}
