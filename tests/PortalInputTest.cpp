// Hotkeys, push-to-talk and the paste of a Wayland session, through the real portal front end
// (xdg-desktop-portal) on the private session bus, with our test back end standing in for the
// desktop. The X server of run-with-services.sh holds our clipboard, as XWayland would; the sound
// server gives the microphone; the speech service answers on 127.0.0.1.
#include "app/MenuBarController.h"
#include "dictation/DictationHotkeyMonitor.h"
#include "dictation/DictationManager.h"
#include "dictation/TextInjector.h"
#include "services/ASRClient.h"
#include "services/Transcriber.h"
#include "system/AppSettings.h"
#include "system/GlobalHotkeyManager.h"
#include "system/NotificationCenter.h"
#include "system/PermissionsSnapshot.h"
#include "system/PortalKeyboard.h"
#include "system/PortalShortcuts.h"
#include "system/ServiceSettings.h"
#include "system/SessionInput.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"
#include "ui/logic/SessionFeatures.h"
#include "ui/settings/SettingsGeneralPane.h"
#include "ui/settings/SettingsPermissionsPane.h"
#include "ui/settings/SettingsWindowController.h"
#include "ui/widgets/PermissionsSnapshotFactory.h"
#include "ui/widgets/SessionFeaturesView.h"

#include "FocusedField.h"
#include "QtWait.h"
#include "RecorderRig.h"
#include "SoundServer.h"
#include "TestPortal.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;
using Kind = DictationManager::State::Kind;
using Action = GlobalHotkeyManager::Action;

namespace {

constexpr HotkeyConfig kMeeting{15, HotkeyConfig::kCommand | HotkeyConfig::kOption}; // Ctrl+Alt+R
constexpr HotkeyConfig kNote{45, HotkeyConfig::kCommand | HotkeyConfig::kShift}; // Ctrl+Shift+N
constexpr HotkeyConfig kDictation{49, HotkeyConfig::kControl}; // Super+Space
const QString kSentence = QStringLiteral("Текст из портала.");
const std::vector<TestPortal::Key> kCtrlV{{29, 1}, {47, 1}, {47, 0}, {29, 0}};

class PortalInputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_portal = new TestPortal; }
    static void TearDownTestSuite()
    {
        delete s_portal;
        s_portal = nullptr;
    }

    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet("PALAVERLY_TEST_SERVICES") || !s_portal->started())
            GTEST_SKIP() << "needs the private bus of run-with-services.sh and xdg-desktop-portal";
        s_portal->reset();
        QGuiApplication::clipboard()->clear();
    }

    // A session's portals with time-outs of `timeout` for every answer.
    static std::unique_ptr<SessionInput> portals(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        const portal::Timeouts timeouts{timeout, timeout};
        return std::make_unique<SessionInput>(
            std::make_shared<PortalShortcuts>(QDBusConnection::sessionBus(), timeouts),
            std::make_shared<PortalKeyboard>(QDBusConnection::sessionBus(), nullptr, timeouts), QByteArray());
    }

    static QString line(const SessionInput& input, std::size_t index)
    {
        return sessionFeatureLines(input.state())[index].text;
    }

    QTemporaryDir m_dir;
    QSettings m_store{m_dir.filePath(QStringLiteral("palaverly.conf")), QSettings::IniFormat};
    ServiceSettings m_services{m_store, {.keyFile = m_dir.filePath(QStringLiteral("keys.json")).toStdString()}};
    static TestPortal* s_portal;
};

TestPortal* PortalInputTest::s_portal = nullptr;

} // namespace

TEST_F(PortalInputTest, HeldShortcutDictatesAndPastesThroughThePortalKeyboard)
{
    const auto input = portals();
    auto hotkeys = GlobalHotkeyManager::createPortal(input->shortcuts());
    std::vector<Action> triggered;
    hotkeys->onTrigger = [&](Action action) { triggered.push_back(action); };
    auto monitor = DictationHotkeyMonitor::createPortal(input->shortcuts());
    hotkeys->registerHotkey(Action::meeting, kMeeting);
    hotkeys->registerHotkey(Action::note, kNote);
    hotkeys->registerHotkey(Action::stop, {});
    monitor->install(kDictation);

    // One binding of all four, each with its combination as the preferred trigger.
    ASSERT_TRUE(waitUntil([&] { return input->state().shortcuts == portal::State::ready; }));
    EXPECT_EQ(s_portal->bound(),
        (std::vector<TestPortal::Shortcut>{{"dictation", "Push-to-talk диктовка", "LOGO+space"},
            {"meeting", "Новая встреча", "CTRL+ALT+r"}, {"note", "Быстрая заметка", "CTRL+SHIFT+n"}}));
    EXPECT_TRUE(hotkeys->isRegistered(Action::meeting));
    EXPECT_FALSE(hotkeys->isRegistered(Action::stop));
    EXPECT_EQ(line(*input, 0), QStringLiteral("Работают через портал рабочего стола."));
    EXPECT_EQ(line(*input, 2), QStringLiteral("Через портал рабочего стола — разрешение спросят при первой вставке."));

    // A press of a recording hotkey is one trigger; its release nothing.
    ASSERT_TRUE(s_portal->activate(QStringLiteral("note")));
    ASSERT_TRUE(s_portal->deactivate(QStringLiteral("note")));
    ASSERT_TRUE(waitUntil([&] { return !triggered.empty(); }));
    settle(100);
    EXPECT_EQ(triggered, std::vector{Action::note});

    // The user gives the meeting another trigger in the desktop: the settings show it.
    NotificationCenter notifications;
    AppSettings settings(m_store, notifications);
    SettingsWindowController window(
        settings, m_services, m_store, notifications, systemPermissionsSnapshots(m_store, input.get()));
    ASSERT_TRUE(s_portal->changeTrigger(QStringLiteral("meeting"), QStringLiteral("Ctrl+Shift+M")));
    const auto shownTrigger = [&] {
        const auto labels = window.generalPane()->findChildren<QLabel*>(QStringLiteral("desktopTrigger"));
        for (QLabel* label : labels)
            if (label->text() == QStringLiteral("в системе: Ctrl+Shift+M"))
                return true;
        return false;
    };
    EXPECT_TRUE(waitUntil(shownTrigger, 5000));

    // A dictation held for two seconds goes to the service and comes back through Ctrl+V of the
    // portal's keyboard, which the desktop allowed once.
    ASSERT_TRUE(ownClipboardElsewhere(QStringLiteral("UTF8_STRING"), "до диктовки"));
    FakeSpeechService service;
    service.setTranscript(
        {{"text", kSentence.toStdString()}, {"duration_sec", 2.0}, {"processing_time_sec", 0.3}, {"rtf", 0.15}});
    auto pollSleeper = std::make_shared<RecordingSleeper>();
    ASRClient client(service.baseUrl(), pollSleeper);
    QTemporaryDir temporary;
    TextInjector injector(TextInjector::createPortalKeySender(input->keyboard()));
    std::vector<QString> clipboardTexts;
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &injector,
        [&] { clipboardTexts.push_back(QGuiApplication::clipboard()->text()); });
    DictationManager::Dependencies deps;
    deps.transcriber = fixedTranscriber(client);
    deps.sleeper = pollSleeper;
    deps.temporaryRoot = temporary.path().toStdString();
    deps.paste = [&](const std::string& text) { injector.paste(QString::fromStdString(text)); };
    DictationManager manager(std::move(deps));
    monitor->onPressDown = [&] { manager.start(); };
    monitor->onPressUp = [&] { manager.stop(); };

    TonePlayer voice(kMicSink, 300, 0.3);
    ASSERT_TRUE(voice.started());
    ASSERT_TRUE(s_portal->activate(QStringLiteral("dictation")));
    ASSERT_TRUE(waitUntil([&] { return manager.state().kind == Kind::recording; }, 5000));
    // A busy sound server may start a recording late; the two seconds count from its first sound.
    ASSERT_TRUE(waitUntil([&] { return manager.inputLevel() > 0.01f; }, 5000));
    settle(2000);
    ASSERT_TRUE(s_portal->deactivate(QStringLiteral("dictation")));
    ASSERT_TRUE(waitUntil([&] { return s_portal->keyboardEvents() == kCtrlV; }, 15000))
        << "state " << int(manager.state().kind) << " " << manager.state().message;
    EXPECT_EQ(manager.state().kind, Kind::idle);
    ASSERT_EQ(service.uploads().size(), 1u);
    EXPECT_GT(service.uploads()[0].audio.size(), 44u + 48000u); // the hold was recorded, not a blip
    EXPECT_TRUE(std::find(clipboardTexts.begin(), clipboardTexts.end(), kSentence) != clipboardTexts.end());
    // 0.35 s later the clipboard holds again what it held.
    EXPECT_TRUE(waitUntil([] { return clipboardElsewhere(QStringLiteral("UTF8_STRING")) == "до диктовки"; }, 3000));
    EXPECT_EQ(line(*input, 2), QStringLiteral("Работает через портал рабочего стола."));
    EXPECT_EQ(input->accessibility(), PermissionStatus::granted);

    // The next paste uses the same keyboard: the desktop is not asked again.
    injector.paste(QStringLiteral("ещё"));
    ASSERT_TRUE(waitUntil([&] { return s_portal->keyboardEvents().size() == 8; }));
    EXPECT_EQ(s_portal->keyboardStarts(), 1u);
    EXPECT_TRUE(s_portal->notifications().empty());
}

TEST_F(PortalInputTest, RefusedKeyboardLeavesTheTextOnTheClipboardAndSaysSo)
{
    s_portal->setModes(QStringLiteral("grant"), QStringLiteral("refuse"));
    const auto input = portals();
    TextInjector injector(TextInjector::createPortalKeySender(input->keyboard()));
    injector.paste(QStringLiteral("вставьте сами"));

    const std::vector<TestPortal::Notification> told{
        {QStringLiteral("Текст скопирован — вставьте его сочетанием Ctrl+V"),
            QStringLiteral("Доступ к клавиатуре не разрешён в диалоге рабочего стола.")}};
    ASSERT_TRUE(waitUntil([&] { return s_portal->notifications() == told; }));
    EXPECT_TRUE(s_portal->keyboardEvents().empty());
    settle(int(TextInjector::kRestoreDelay.count()) + 150);
    EXPECT_EQ(clipboardElsewhere(QStringLiteral("UTF8_STRING")), QStringLiteral("вставьте сами").toUtf8());
    EXPECT_EQ(line(*input, 2),
        QStringLiteral("Не работает: доступ к клавиатуре не разрешён в диалоге рабочего стола. Текст остаётся в "
                       "буфере обмена — вставьте его сочетанием Ctrl+V."));

    // Once refused, a paste does not ask again; the permission views may.
    PermissionsSnapshot snapshot(m_store, PermissionsSnapshot::Probes{nullptr, nullptr, input.get()});
    EXPECT_EQ(snapshot.accessibility(), PermissionStatus::denied);
    injector.paste(QStringLiteral("снова"));
    ASSERT_TRUE(waitUntil([&] { return s_portal->notifications().size() == 2; }));
    EXPECT_EQ(s_portal->keyboardStarts(), 1u);
    s_portal->setModes(QStringLiteral("grant"), QStringLiteral("grant"));
    bool answered = false;
    snapshot.request(PermissionKind::accessibility, [&](PermissionStatus) { answered = true; });
    ASSERT_TRUE(waitUntil([&] { return answered; }));
    EXPECT_EQ(snapshot.accessibility(), PermissionStatus::granted);
    EXPECT_EQ(s_portal->keyboardStarts(), 2u);
}

TEST_F(PortalInputTest, ASilentPortalNeverHoldsTheProgram)
{
    s_portal->setModes(QStringLiteral("silent"), QStringLiteral("silent"));
    QSettings& settingsFile = m_store;
    settingsFile.setValue(QStringLiteral("onboarding.hasCompleted"), true);
    NotificationCenter notifications;
    AppSettings settings(settingsFile, notifications);
    settings.setAutoCheckUpdates(false);
    settings.setDictationHotkey(kDictation);
    RecorderRig rig(&settings);

    // The program starts and its menu works while no portal call has been answered.
    QElapsedTimer clock;
    clock.start();
    MenuBarController::Platform platform;
    platform.sessionInput = portals(std::chrono::milliseconds(400));
    SessionInput* input = platform.sessionInput.get();
    MenuBarController controller(
        *rig.model, rig.store, settings, m_services, settingsFile, notifications, std::move(platform));
    EXPECT_LT(clock.elapsed(), 300);
    EXPECT_TRUE(waitUntil([&] { return input->state().shortcuts == portal::State::asking; }, 200));
    rig.speech.scriptUploads({FakeAnswer::stall()});
    controller.runCommand(TrayMenuItem::Command::startNote);
    ASSERT_TRUE(rig.startSettled());
    EXPECT_TRUE(rig.model->isRecording());
    controller.runCommand(TrayMenuItem::Command::stop);
    EXPECT_FALSE(rig.model->isRecording());

    // A paste meanwhile leaves the text on the clipboard once the portal has kept silent too long.
    TextInjector injector(TextInjector::createPortalKeySender(input->keyboard()));
    std::vector<QString> told;
    injector.notify = [&](const QString& summary, const QString& body) { told.push_back(summary + " " + body); };
    clock.restart();
    injector.paste(QStringLiteral("молчание"));
    EXPECT_LT(clock.elapsed(), 300);
    ASSERT_TRUE(waitUntil([&] { return !told.empty(); }, 5000));
    EXPECT_EQ(told,
        std::vector<QString>{"Текст скопирован — вставьте его сочетанием Ctrl+V Портал рабочего стола не отвечает."});
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("молчание"));
    ASSERT_TRUE(waitUntil([&] { return input->state().shortcuts == portal::State::noAnswer; }, 5000));
    EXPECT_EQ(line(*input, 0),
        QStringLiteral("Не работают: портал рабочего стола не отвечает. Запись запускается из меню в трее."));
    EXPECT_EQ(input->accessibility(), PermissionStatus::denied);
}
