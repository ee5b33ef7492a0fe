#include "app/TrayMenuModel.h"

#include <gtest/gtest.h>

using namespace palaverly;

namespace {
std::vector<QString> texts(const std::vector<TrayMenuItem>& items)
{
    std::vector<QString> out;
    for (const auto& item : items)
        out.push_back(item.kind == TrayMenuItem::Kind::separator ? QStringLiteral("-") : item.text);
    return out;
}
} // namespace

TEST(TrayMenuModelTest, ElapsedTextSwitchesToHoursAtOneHour)
{
    EXPECT_EQ(elapsedText(59), "0:59");
    EXPECT_EQ(elapsedText(60), "1:00");
    EXPECT_EQ(elapsedText(425), "7:05");
    EXPECT_EQ(elapsedText(3599), "59:59");
    EXPECT_EQ(elapsedText(3600), "1:00:00");
    EXPECT_EQ(elapsedText(-3), "0:00");
}

TEST(TrayMenuModelTest, LinesFollowTheRecorderState)
{
    TrayMenuState idle;
    idle.meetingHotkey = {15, HotkeyConfig::kCommand | HotkeyConfig::kOption};
    idle.noteHotkey = {45, HotkeyConfig::kCommand | HotkeyConfig::kOption};
    const auto idleItems = buildTrayMenu(idle); // its texts: see the tray controller test
    EXPECT_EQ(idleItems[0].shortcut, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R));
    EXPECT_EQ(idleItems[1].shortcut, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_N));

    TrayMenuState failed = idle;
    failed.failedTranscription = "Ошибка расшифровки: unknown";
    failed.lastError = "Не удалось запустить захват звука: Connection refused";
    const auto failedItems = buildTrayMenu(failed);
    EXPECT_EQ(texts(failedItems).at(0), "Последняя расшифровка не удалась");
    EXPECT_EQ(failedItems[0].tint, TrayMenuItem::Tint::orange);
    EXPECT_EQ(texts(failedItems).at(1), "Ошибка расшифровки: unknown");
    EXPECT_EQ(failedItems[1].font, TrayMenuItem::Font::small);
    EXPECT_EQ(texts(failedItems).at(2), "-");
    EXPECT_EQ(failedItems[3].symbol, "exclamationmark.octagon");
    EXPECT_EQ(texts(failedItems).at(5), "Записать встречу");

    TrayMenuState running = failed;
    running.runningStage = "processing"; // a running job wins over a failed one
    EXPECT_EQ(texts(buildTrayMenu(running)).at(0), "Расшифровка (processing)…");

    TrayMenuState recording;
    recording.isRecording = true;
    recording.currentKind = RecordingKind::note;
    recording.elapsedSeconds = 65;
    recording.stopHotkey = {1, HotkeyConfig::kCommand | HotkeyConfig::kOption}; // S
    recording.pendingUpdateVersion = QStringLiteral("2.1");
    recording.captureWarning = "Не слышно собеседников";
    const auto recordingItems = buildTrayMenu(recording);
    EXPECT_EQ(texts(recordingItems),
        (std::vector<QString>{"Доступно обновление 2.1", "-", "Идёт запись заметки…", "1:05 прошло",
            "Не слышно собеседников", "-", "Остановить", "-", "Открыть заметки…", "-", "Настройки…",
            "Проверить обновления…", "Выйти"}));
    EXPECT_TRUE(recordingItems[3].isElapsed);
    EXPECT_EQ(recordingItems[4].kind, TrayMenuItem::Kind::status);
    EXPECT_EQ(recordingItems[4].tint, TrayMenuItem::Tint::orange);
    EXPECT_EQ(recordingItems[6].shortcut, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    recording.captureWarning.reset();
    recording.stopHotkey = {};
    recording.currentKind.reset();
    recording.elapsedSeconds.reset();
    const auto bare = buildTrayMenu(recording);
    EXPECT_EQ(texts(bare).at(2), "Идёт запись…");
    EXPECT_EQ(texts(bare).at(3), "-");
    EXPECT_TRUE(bare[4].shortcut.isEmpty());
}
