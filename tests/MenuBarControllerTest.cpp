// The tray controller against the real X server and sound server of run-with-services.sh.
#include "app/MenuBarController.h"
#include "dictation/DictationHotkeyMonitor.h"
#include "dictation/DictationManager.h"
#include "system/AppSettings.h"
#include "system/GlobalHotkeyManager.h"
#include "system/NotificationCenter.h"
#include "system/ServiceSettings.h"
#include "ui/library/LibraryWindow.h"

#include "QtWait.h"
#include "RecorderRig.h"
#include "SoundServer.h"

#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;

namespace {

class MenuBarControllerTest : public ::testing::Test {
protected:
    MenuBarControllerTest()
    {
        // Not a first launch, and no update checks against the compiled-in feed.
        settingsFile.setValue(QStringLiteral("onboarding.hasCompleted"), true);
        settings.setAutoCheckUpdates(false);
        controller = std::make_unique<MenuBarController>(
            *recorder, store, settings, services, settingsFile, notifications, MenuBarController::Platform{});
    }

    // The menu as the user would see it on opening: texts, "-" for separators.
    std::vector<QString> menu()
    {
        controller->rebuildMenu();
        std::vector<QString> out;
        for (QAction* action : controller->menu()->actions())
            out.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
        return out;
    }

    QAction* action(const QString& text)
    {
        for (QAction* action : controller->menu()->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }

    QTemporaryDir settingsDir;
    QSettings settingsFile{settingsDir.filePath("palaverly.conf"), QSettings::IniFormat};
    NotificationCenter notifications;
    AppSettings settings{settingsFile, notifications};
    ServiceSettings services{settingsFile, {.keyFile = settingsDir.filePath("keys.json").toStdString()}};
    RecorderRig rig{&settings};
    RecordingStore& store = rig.store;
    FakeSpeechService& speech = rig.speech;
    std::unique_ptr<RecorderModel>& recorder = rig.model;
    std::unique_ptr<MenuBarController> controller;
};

} // namespace

TEST_F(MenuBarControllerTest, MenuShowsRecordingClockStopAndThenTranscriptionProgress)
{
    EXPECT_EQ(menu(),
        (std::vector<QString>{"Записать встречу", "Быстрая заметка", "-", "Открыть заметки…", "-", "Настройки…",
            "Проверить обновления…", "Выйти"}));
    EXPECT_EQ(action("Записать встречу")->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R));
    EXPECT_FALSE(controller->isShowingRecordingIcon());

    speech.scriptUploads({FakeAnswer::stall()});
    action("Записать встречу")->trigger();
    ASSERT_TRUE(recorder->isRecording()) << recorder->lastError().value_or("");
    ASSERT_TRUE(waitUntil([&] { return controller->isShowingRecordingIcon(); }));
    const auto recordingMenu = menu();
    ASSERT_GE(recordingMenu.size(), 4u);
    EXPECT_EQ(recordingMenu[0], "Идёт запись встречи…");
    EXPECT_EQ(recordingMenu[1], "0:00 прошло");
    EXPECT_EQ(recordingMenu[2], "-");
    EXPECT_EQ(recordingMenu[3], "Остановить");
    EXPECT_FALSE(controller->menu()->actions()[0]->isEnabled());
    EXPECT_FALSE(action("Записать встречу"));
    // The clock refreshes the open menu's line every second.
    ASSERT_TRUE(waitUntil(
        [&] {
            const QString text = controller->menu()->actions()[1]->text();
            return text == "0:01 прошло" || text == "0:02 прошло";
        },
        4000));

    QSignalSpy finished(controller.get(), &MenuBarController::recordingFinished);
    action("Остановить")->trigger();
    EXPECT_FALSE(recorder->isRecording());
    ASSERT_TRUE(waitUntil([&] { return finished.count() == 1; }));
    // The finished recording brings the library window forward.
    EXPECT_TRUE(controller->libraryWindow() && controller->libraryWindow()->isVisible());
    EXPECT_FALSE(controller->isShowingRecordingIcon());
    EXPECT_EQ(menu().at(0), "Расшифровка (uploading)…");
    speech.server().releaseStalls(); // the upload fails with a reset; retries follow without waiting
}

TEST_F(MenuBarControllerTest, AFailedStartShowsItsErrorAboveTheStartItems)
{
    {
        ScopedEnvironment noServer("PULSE_SERVER", "unix:/nonexistent/palaverly-test-socket");
        controller->runCommand(TrayMenuItem::Command::startMeeting);
    }
    ASSERT_TRUE(recorder->lastError());
    const auto items = menu();
    EXPECT_EQ(items.at(0), QString::fromStdString(*recorder->lastError()));
    EXPECT_EQ(items.at(1), "-");
    EXPECT_EQ(items.at(2), "Записать встречу");
    // The stop command while idle does nothing.
    controller->runCommand(TrayMenuItem::Command::stop);
    EXPECT_FALSE(recorder->isRecording());
}

TEST_F(MenuBarControllerTest, GlobalHotkeysStartAndStopAndFollowTheSettings)
{
    const auto press = [](const char* keys) { QProcess::execute("xdotool", {"key", "--clearmodifiers", keys}); };
    press("ctrl+alt+n");
    ASSERT_TRUE(waitUntil([&] { return recorder->isRecording(); }));
    EXPECT_EQ(recorder->currentKind(), RecordingKind::note);
    press("ctrl+alt+r"); // the meeting hotkey during a note stops the note
    ASSERT_TRUE(waitUntil([&] { return !recorder->isRecording(); }));

    // A stop hotkey set in the settings is registered at once and shown in the menu.
    settings.setStopHotkey({1, HotkeyConfig::kCommand | HotkeyConfig::kOption});
    press("ctrl+alt+s"); // idle: nothing
    QCoreApplication::processEvents();
    EXPECT_FALSE(recorder->isRecording());
    press("ctrl+alt+r");
    ASSERT_TRUE(waitUntil([&] { return recorder->isRecording(); }));
    EXPECT_EQ(recorder->currentKind(), RecordingKind::meeting);
    menu();
    EXPECT_EQ(action("Остановить")->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    press("ctrl+alt+s");
    ASSERT_TRUE(waitUntil([&] { return !recorder->isRecording(); }));
}

TEST_F(MenuBarControllerTest, UpdateNoticesBadgeTheIconAndAddTheTopLine)
{
    notifications.post(
        QString::fromLatin1(notifications::kUpdateAvailable), {{QStringLiteral("version"), QStringLiteral("2.1")}});
    QCoreApplication::processEvents();
    ASSERT_EQ(controller->pendingUpdateVersion(), QStringLiteral("2.1"));
    EXPECT_EQ(menu().at(0), "Доступно обновление 2.1");
    EXPECT_EQ(menu().at(1), "-");
    // A second notice while one is pending changes nothing.
    notifications.post(
        QString::fromLatin1(notifications::kUpdateAvailable), {{QStringLiteral("version"), QStringLiteral("2.2")}});
    QCoreApplication::processEvents();
    EXPECT_EQ(controller->pendingUpdateVersion(), QStringLiteral("2.1"));

    notifications.post(QString::fromLatin1(notifications::kUpdateDismissed));
    QCoreApplication::processEvents();
    EXPECT_FALSE(controller->pendingUpdateVersion());
    EXPECT_EQ(menu().at(0), "Записать встречу");
}

TEST_F(MenuBarControllerTest, OnboardingOpensOnTheFirstLaunchOnly)
{
    EXPECT_FALSE(controller->isShowingOnboarding());
    controller.reset();
    settingsFile.remove(QStringLiteral("onboarding.hasCompleted"));
    controller = std::make_unique<MenuBarController>(
        *recorder, store, settings, services, settingsFile, notifications, MenuBarController::Platform{});
    EXPECT_FALSE(controller->isShowingOnboarding()); // scheduled after start-up, not during it
    ASSERT_TRUE(waitUntil([&] { return controller->isShowingOnboarding(); }));
}
