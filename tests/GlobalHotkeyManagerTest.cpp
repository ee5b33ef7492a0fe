#include "system/GlobalHotkeyManager.h"

#include "OtherXClient.h"

#include <gtest/gtest.h>
#include <vector>

using namespace palaverly;
using Action = GlobalHotkeyManager::Action;
using test::OtherXClient;
using test::settle;
using test::xdotool;

namespace {

constexpr HotkeyConfig kOptionCommandR{15, HotkeyConfig::kOption | HotkeyConfig::kCommand}; // Ctrl+Alt+R
constexpr HotkeyConfig kOptionCommandN{45, HotkeyConfig::kOption | HotkeyConfig::kCommand}; // Ctrl+Alt+N
constexpr HotkeyConfig kControlShiftF5{96, HotkeyConfig::kControl | HotkeyConfig::kShift}; // Super+Shift+F5

class GlobalHotkeyManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "needs an X server";
        ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")}), 0);
        m_manager = GlobalHotkeyManager::create();
        m_manager->onTrigger = [this](Action action) { m_triggered.push_back(action); };
    }

    // Presses a combination and returns what reached onTrigger. xdotool returns once the server
    // has taken the keys, so what the press causes is on our socket by then.
    std::vector<Action> press(const char* combination)
    {
        m_triggered.clear();
        EXPECT_TRUE(xdotool({QStringLiteral("key"), QString::fromLatin1(combination)}));
        test::waitUntil([this] { return !m_triggered.empty(); }, 300);
        settle(100);
        return m_triggered;
    }

    std::unique_ptr<GlobalHotkeyManager> m_manager;
    std::vector<Action> m_triggered;
};

} // namespace

TEST_F(GlobalHotkeyManagerTest, RegisteredCombinationsReachOnTriggerWhateverTheLockKeys)
{
    m_manager->registerHotkey(Action::meeting, kOptionCommandR);
    m_manager->registerHotkey(Action::note, kOptionCommandN);
    m_manager->registerHotkey(Action::stop, kControlShiftF5);
    EXPECT_TRUE(m_manager->isRegistered(Action::meeting));
    EXPECT_TRUE(m_manager->isRegistered(Action::note));
    EXPECT_TRUE(m_manager->isRegistered(Action::stop));

    EXPECT_EQ(press("ctrl+alt+r"), std::vector{Action::meeting});
    EXPECT_EQ(press("ctrl+alt+n"), std::vector{Action::note});
    EXPECT_EQ(press("super+shift+F5"), std::vector{Action::stop});
    EXPECT_TRUE(press("ctrl+r").empty());
    EXPECT_TRUE(press("ctrl+alt+shift+r").empty());

    ASSERT_TRUE(xdotool({"key", "Num_Lock"}));
    EXPECT_EQ(press("ctrl+alt+n"), std::vector{Action::note});
    ASSERT_TRUE(xdotool({"key", "Caps_Lock"}));
    EXPECT_EQ(press("ctrl+alt+r"), std::vector{Action::meeting});
    ASSERT_TRUE(xdotool({"key", "Num_Lock", "Caps_Lock"}));

    // A held key repeats (after the server's 660 ms delay); the repeats are not presses.
    m_triggered.clear();
    ASSERT_TRUE(xdotool({"keydown", "ctrl+alt+r"}));
    settle(800);
    ASSERT_TRUE(xdotool({"keyup", "r", "keyup", "alt", "keyup", "ctrl"}));
    test::waitUntil([this] { return !m_triggered.empty(); }, 300);
    settle();
    EXPECT_EQ(m_triggered, std::vector{Action::meeting});

    // Delivery is deferred to the event loop, and an empty callback drops the press.
    m_manager->onTrigger = nullptr;
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+r"}));
    settle();
    EXPECT_EQ(m_triggered.size(), 1u);
}

TEST_F(GlobalHotkeyManagerTest, RegisteringReplacesTheOldCombinationAndKeyCodeZeroUnregisters)
{
    m_manager->registerHotkey(Action::meeting, kOptionCommandR);
    m_manager->registerHotkey(Action::meeting, kOptionCommandN);
    EXPECT_EQ(press("ctrl+alt+n"), std::vector{Action::meeting});
    EXPECT_TRUE(press("ctrl+alt+r").empty());

    m_manager->registerHotkey(Action::stop, kControlShiftF5);
    m_manager->registerHotkey(Action::stop, HotkeyConfig{0, kControlShiftF5.modifiers});
    EXPECT_FALSE(m_manager->isRegistered(Action::stop));
    EXPECT_TRUE(press("super+shift+F5").empty());

    OtherXClient other; // the released combinations are free for others
    EXPECT_TRUE(other.grab(kOptionCommandR));
    EXPECT_TRUE(other.grab(kControlShiftF5));
    EXPECT_FALSE(other.grab(kOptionCommandN));
}

TEST_F(GlobalHotkeyManagerTest, CombinationTakenElsewhereLeavesOnlyThatActionUnregistered)
{
    OtherXClient other;
    ASSERT_TRUE(other.grab(kOptionCommandN));

    m_manager->registerHotkey(Action::meeting, kOptionCommandR);
    m_manager->registerHotkey(Action::note, kOptionCommandN);
    m_manager->registerHotkey(Action::stop, kOptionCommandR); // already meeting's
    EXPECT_TRUE(m_manager->isRegistered(Action::meeting));
    EXPECT_FALSE(m_manager->isRegistered(Action::note));
    EXPECT_FALSE(m_manager->isRegistered(Action::stop));

    EXPECT_TRUE(press("ctrl+alt+n").empty());
    EXPECT_TRUE(other.sawPress(kOptionCommandN));
    EXPECT_EQ(press("ctrl+alt+r"), std::vector{Action::meeting});

    // Giving the meeting key back does not hand it to stop, which failed to register.
    m_manager->registerHotkey(Action::meeting, HotkeyConfig{});
    EXPECT_TRUE(press("ctrl+alt+r").empty());
}

TEST_F(GlobalHotkeyManagerTest, DestructionReleasesEveryGrab)
{
    m_manager->registerHotkey(Action::meeting, kOptionCommandR);
    m_manager->registerHotkey(Action::note, kOptionCommandN);
    m_manager->registerHotkey(Action::stop, kControlShiftF5);
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+r"})); // a press the manager has not read yet
    m_manager.reset();
    settle();
    EXPECT_TRUE(m_triggered.empty());

    OtherXClient other;
    EXPECT_TRUE(other.grab(kOptionCommandR));
    EXPECT_TRUE(other.grab(kOptionCommandN));
    EXPECT_TRUE(other.grab(kControlShiftF5));
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+r"}));
    EXPECT_TRUE(other.sawPress(kOptionCommandR));
}

TEST(GlobalHotkeyManagerNullTest, WithoutADisplayNothingIsRegistered)
{
    const auto manager = GlobalHotkeyManager::create(":4242");
    manager->registerHotkey(Action::meeting, kOptionCommandR);
    EXPECT_FALSE(manager->isRegistered(Action::meeting));
    EXPECT_NE(dynamic_cast<NullGlobalHotkeyManager*>(manager.get()), nullptr);
}
