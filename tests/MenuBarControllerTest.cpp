// The tray controller against the real X server and sound server of run-with-services.sh.
#include "app/MenuBarController.h"
#include "dictation/DictationHotkeyMonitor.h"
#include "dictation/DictationManager.h"
#include "system/AppSettings.h"
#include "system/GlobalHotkeyManager.h"
#include "system/NotificationCenter.h"
#include "system/ServiceSettings.h"
#include "system/X11KeyGrab.h"
#include "ui/library/LibraryWindow.h"
#include "ui/logic/UntrustedText.h"
#include "ui/settings/ShortcutRecorderField.h"
#include "ui/widgets/SymbolIcon.h"

#include "LogCapture.h"
#include "QtWait.h"
#include "RecorderRig.h"
#include "SoundServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace palaverly;
using namespace palaverly::test;

namespace {

// A system tray as far as its icons see it: the owner of the tray selection, telling the colours
// it wants icons drawn in. It never takes an icon in.
class PanelTray {
public:
    explicit PanelTray(QColor foreground)
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const QRgba64 c = foreground.rgba64();
        const std::array<uint32_t, 12> colors{
            c.red(), c.green(), c.blue(), 0xFFFF, 0, 0, 0xFFFF, 0xFFFF, 0, 0, 0xFFFF, 0};
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window,
            internAtom(m_connection, "_NET_SYSTEM_TRAY_COLORS"), XCB_ATOM_CARDINAL, 32, 12, colors.data());
        xcb_set_selection_owner(
            m_connection, m_window, internAtom(m_connection, "_NET_SYSTEM_TRAY_S0"), XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }
    ~PanelTray() { xcb_disconnect(m_connection); }
    PanelTray(const PanelTray&) = delete;
    PanelTray& operator=(const PanelTray&) = delete;

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window = XCB_NONE;
};

// Milliseconds the calling thread has spent ready to run but waiting for a CPU (0 when the kernel
// does not tell). On a busy machine that is where a heartbeat goes missing, through no doing of
// the program.
qint64 runQueueWaitMs()
{
    long long running = 0;
    long long waiting = 0;
    if (FILE* stats = std::fopen("/proc/thread-self/schedstat", "r")) {
        if (std::fscanf(stats, "%lld %lld", &running, &waiting) != 2)
            waiting = 0;
        std::fclose(stats);
    }
    return waiting / 1000000;
}

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
    ASSERT_TRUE(rig.startSettled());
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
        ASSERT_TRUE(rig.startSettled());
    }
    ASSERT_TRUE(recorder->lastError());
    const auto items = menu();
    // One line of at most 80 characters; the whole text in the tooltip.
    const QString error = QString::fromStdString(*recorder->lastError());
    EXPECT_EQ(items.at(0), untrusted::oneLine(error));
    EXPECT_EQ(controller->menu()->actions().at(0)->toolTip(), untrusted::asWritten(error));
    EXPECT_EQ(items.at(1), "-");
    EXPECT_EQ(items.at(2), "Записать встречу");
    // The stop command while idle does nothing.
    controller->runCommand(TrayMenuItem::Command::stop);
    EXPECT_FALSE(recorder->isRecording());
}

TEST_F(MenuBarControllerTest, AHungSoundServerNeverHoldsUpTheMainThread)
{
    // A server of the test's own that stops answering (not gone: its socket still connects).
    PrivateSoundServer server({"module-null-sink sink_name=speakers", "module-null-sink sink_name=mic"});
    ASSERT_TRUE(server.started());
    ScopedEnvironment hung("PULSE_SERVER", server.address());
    server.suspend();
    LogCapture logs;

    // The windows are made first: building them takes its time on a busy machine, which is not
    // what this is about.
    controller->openSettings();
    controller->showOnboarding();
    settle(100);

    // The longest time between two beats of the main thread in which it could have run.
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 lastWait = runQueueWaitMs();
    qint64 longestGap = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const qint64 wait = runQueueWaitMs();
        longestGap = std::max(longestGap, now - last - (wait - lastWait));
        last = now;
        lastWait = wait;
    });
    clock.start();
    heartbeat.start();

    controller->runCommand(TrayMenuItem::Command::startMeeting);
    EXPECT_TRUE(recorder->isStarting());
    // Every window that shows the permissions asks the sound server and the display again
    // whenever a window gets the focus.
    for (int round = 0; round < 3; ++round) {
        controller->openSettings();
        settle(300);
        controller->showOnboarding();
        settle(300);
    }
    EXPECT_TRUE(waitUntil([&] { return !recorder->isStarting(); }, 15000));
    heartbeat.stop();
    EXPECT_LE(longestGap, 100);

    // The start ran into the capture's timeout and took the failure path.
    EXPECT_FALSE(recorder->isRecording());
    ASSERT_TRUE(recorder->lastError());
    EXPECT_TRUE(recorder->lastError()->starts_with("Не удалось запустить захват звука: ")) << *recorder->lastError();
    EXPECT_EQ(logs.errors("RecorderModel"),
        std::vector<QString>{"Meeting start failed: " + QString::fromStdString(*recorder->lastError())});
    server.resume();
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

TEST_F(MenuBarControllerTest, AShortcutFieldTakesTheCombinationsOfOurOwnHotkeysWhileItRecords)
{
    settings.setDictationHotkey({2, HotkeyConfig::kCommand | HotkeyConfig::kOption}); // Ctrl+Alt+D
    ASSERT_TRUE(controller->dictationMonitor().hasTap());
    controller->openSettings();
    QWidget* window = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->findChild<ShortcutRecorderField*>(QStringLiteral("noteField")))
            window = top;
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    auto* field = window->findChild<ShortcutRecorderField*>(QStringLiteral("noteField"));

    // The meeting's and the dictation's combinations reach the field, which refuses them; neither
    // a meeting nor a dictation starts.
    const auto press = [](const char* keys) { QProcess::execute("xdotool", {"key", "--clearmodifiers", keys}); };
    for (const auto& [keys, owner] :
        {std::pair{"ctrl+alt+r", "«Новая встреча»"}, {"ctrl+alt+d", "«Push-to-talk диктовка»"}}) {
        field->startCapturing();
        press(keys);
        ASSERT_TRUE(waitUntil([&] { return !field->isCapturing(); })) << keys;
        EXPECT_TRUE(field->message().contains(QString::fromUtf8(owner))) << field->message().toStdString();
    }
    settle(300);
    EXPECT_FALSE(recorder->isRecording() || recorder->isStarting());
    EXPECT_EQ(controller->dictation().state(), DictationManager::State::idle());

    // Once the field is done, the hotkeys are the program's again.
    press("ctrl+alt+r");
    EXPECT_TRUE(waitUntil([&] { return recorder->isRecording(); }));
}

TEST_F(MenuBarControllerTest, TheMarkTakesThePanelsColourAndIsDrawnForEveryScale)
{
    const QColor panel(0xF0, 0xE0, 0x30);
    PanelTray tray(panel);
    controller = std::make_unique<MenuBarController>(
        *recorder, store, settings, services, settingsFile, notifications, MenuBarController::Platform{});
    const auto pixels = [&](qreal scale) {
        return controller->currentIcon().pixmap(QSize(22, 22), scale).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    // On a 2x screen the mark is drawn at 44 pixels, not a 22-pixel one blown up.
    const QImage sharp = pixels(2.0);
    ASSERT_EQ(sharp.size(), QSize(44, 44));
    EXPECT_EQ(sharp, symbolPixmap("BrandMark", 44, panel).toImage().convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(pixels(1.0), symbolPixmap("BrandMark", 22, panel).toImage().convertToFormat(QImage::Format_ARGB32));

    // The update badge: the same mark with the accent dot in its lower right corner.
    notifications.post(
        QString::fromLatin1(notifications::kUpdateAvailable), {{QStringLiteral("version"), QStringLiteral("2.1")}});
    QCoreApplication::processEvents();
    const QImage badged = pixels(2.0);
    ASSERT_EQ(badged.size(), QSize(44, 44));
    EXPECT_EQ(QColor(badged.pixel(34, 34)), colors::accent()); // the dot's centre: (14, 14) of 18
    EXPECT_EQ(sharp.pixel(16, 22), panel.rgba()); // inside the second bar of the mark
    EXPECT_EQ(badged.pixel(16, 22), panel.rgba());
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
