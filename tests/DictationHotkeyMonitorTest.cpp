#include "dictation/DictationHotkeyMonitor.h"
#include "system/XcbPtr.h"

#include "FocusedField.h"
#include "LogCapture.h"
#include "OtherXClient.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace palaverly;
using test::xdotool;

namespace {

constexpr HotkeyConfig kControlV{9, HotkeyConfig::kControl}; // Super+V here
constexpr HotkeyConfig kCommandD{2, HotkeyConfig::kCommand}; // Ctrl+D here
const QString kCategory = QStringLiteral("DictationHotkeyMonitor");

class DictationHotkeyMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "needs an X server";
        ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")}), 0);
        ASSERT_TRUE(m_app.showAndFocus());
        DictationHotkeyMonitor::Accessibility access;
        access.isTrusted = [this] { return m_trusted; };
        access.request = [this] { ++m_requests; };
        m_monitor = DictationHotkeyMonitor::create(access);
        m_monitor->onPressDown = [this] { m_reported += 'D'; };
        m_monitor->onPressUp = [this] { m_reported += 'U'; };
    }

    void TearDown() override
    {
        // Nothing may stay down for the next test, and the keyboard is the usual one again.
        xdotool({"keyup", "v", "d", "shift", "ctrl", "super", "alt"});
        QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")});
    }

    bool reported(const std::string& expected)
    {
        return test::waitUntil([&] { return m_reported == expected; }, 3000);
    }

    test::FocusedField m_app;
    std::unique_ptr<DictationHotkeyMonitor> m_monitor;
    bool m_trusted = true;
    int m_requests = 0;
    std::string m_reported;
};

} // namespace

TEST_F(DictationHotkeyMonitorTest, AHoldIsOnePressAndOneReleaseThatTheFocusedWindowNeverSees)
{
    m_monitor->install(kControlV);
    ASSERT_TRUE(m_monitor->hasTap());

    ASSERT_TRUE(xdotool({"keydown", "super+v"}));
    EXPECT_TRUE(reported("D"));
    EXPECT_TRUE(m_monitor->keyHeld());
    test::settle(900); // past the server's repeat delay: the key repeats
    EXPECT_EQ(m_reported, "D");
    ASSERT_TRUE(xdotool({"keyup", "v"}));
    EXPECT_TRUE(reported("DU"));
    EXPECT_FALSE(m_monitor->keyHeld());
    ASSERT_TRUE(xdotool({"keyup", "super"}));
    test::settle();
    EXPECT_EQ(m_app.count(QEvent::KeyPress, Qt::Key_V), 0);
    EXPECT_EQ(m_app.count(QEvent::KeyRelease, Qt::Key_V), 0);

    // Other combinations of the key, and the key alone, go to the focused window untouched.
    ASSERT_TRUE(xdotool({"key", "super+shift+v", "v"}));
    test::settle();
    EXPECT_EQ(m_reported, "DU");
    EXPECT_EQ(m_app.count(QEvent::KeyPress, Qt::Key_V), 2);
    EXPECT_EQ(m_app.field().text(), QStringLiteral("Vv"));

    // The lock keys do not defeat the grab.
    ASSERT_TRUE(xdotool({"key", "Num_Lock", "Caps_Lock"}));
    ASSERT_TRUE(xdotool({"key", "super+v"}));
    EXPECT_TRUE(reported("DUDU"));
    ASSERT_TRUE(xdotool({"key", "Num_Lock", "Caps_Lock"}));

    // Holding the combination never moved the keyboard focus.
    EXPECT_TRUE(m_app.hasInputFocus());
    EXPECT_EQ(QApplication::focusWidget(), &m_app.field());
}

// (A modifier let go first is part of the end-to-end test.)
TEST_F(DictationHotkeyMonitorTest, AModifierAddedDuringTheHoldEndsItAndTheNextHoldWorks)
{
    m_monitor->install(kCommandD);
    ASSERT_TRUE(xdotool({"keydown", "ctrl+d"}));
    ASSERT_TRUE(reported("D"));
    ASSERT_TRUE(xdotool({"keydown", "shift"}));
    EXPECT_TRUE(reported("DU"));
    EXPECT_FALSE(m_monitor->keyHeld());
    ASSERT_TRUE(xdotool({"keyup", "d", "keyup", "shift", "keyup", "ctrl"}));
    test::settle();
    EXPECT_EQ(m_reported, "DU");
    EXPECT_EQ(m_app.count(QEvent::KeyRelease, Qt::Key_D), 1); // the hold is over: it passes

    ASSERT_TRUE(xdotool({"key", "ctrl+d"}));
    EXPECT_TRUE(reported("DUDU"));
}

TEST_F(DictationHotkeyMonitorTest, InstallReplacesTheCombinationAndForgetsAHoldWithoutARelease)
{
    m_monitor->install(kCommandD);
    ASSERT_TRUE(xdotool({"keydown", "ctrl+d"}));
    ASSERT_TRUE(reported("D"));

    m_monitor->install(kControlV);
    EXPECT_FALSE(m_monitor->keyHeld());
    ASSERT_TRUE(xdotool({"keyup", "d", "keyup", "ctrl"}));
    test::settle();
    EXPECT_EQ(m_reported, "D");
    EXPECT_EQ(m_app.count(QEvent::KeyRelease, Qt::Key_D), 1); // the old grab let go of the keyboard

    ASSERT_TRUE(xdotool({"key", "ctrl+d", "super+v"}));
    EXPECT_TRUE(reported("DDU"));
    EXPECT_EQ(m_app.count(QEvent::KeyPress, Qt::Key_D), 1);

    // Key code 0 watches nothing, whatever the modifiers, and frees the old combination.
    m_monitor->install(HotkeyConfig{0, kControlV.modifiers});
    EXPECT_FALSE(m_monitor->hasTap());
    ASSERT_TRUE(xdotool({"key", "super+v"}));
    test::settle();
    EXPECT_EQ(m_reported, "DDU");
    test::OtherXClient other;
    EXPECT_TRUE(other.grab(kControlV));
}

TEST_F(DictationHotkeyMonitorTest, WithoutThePermissionItAsksAndWatchesOnlyOnceInstallTapFindsIt)
{
    test::LogCapture log;
    m_trusted = false;
    m_monitor->install(kCommandD);
    EXPECT_FALSE(m_monitor->hasTap());
    EXPECT_EQ(m_requests, 0); // asked from the event loop, not from inside install
    test::settle();
    EXPECT_EQ(m_requests, 1);
    EXPECT_TRUE(log.messages(kCategory).empty());

    m_monitor->installTap();
    EXPECT_TRUE(log.contains(kCategory, QStringLiteral("Skipping key grab install — no Accessibility permission")));
    EXPECT_FALSE(m_monitor->hasTap());
    ASSERT_TRUE(xdotool({"key", "ctrl+d"}));
    test::settle();
    EXPECT_EQ(m_reported, "");
    EXPECT_EQ(m_app.count(QEvent::KeyPress, Qt::Key_D), 1);

    m_trusted = true; // granted meanwhile
    m_monitor->installTap();
    EXPECT_TRUE(m_monitor->hasTap());
    ASSERT_TRUE(xdotool({"key", "ctrl+d"}));
    EXPECT_TRUE(reported("DU"));
    EXPECT_EQ(m_requests, 1);

    // Without a display there is nothing to watch, permission or not.
    DictationHotkeyMonitor::Accessibility trusted;
    trusted.isTrusted = [] { return true; };
    NullDictationHotkeyMonitor null(trusted);
    null.install(kCommandD);
    EXPECT_FALSE(null.hasTap());
}

namespace {

// Evdev key codes of Xvfb's keyboard.
constexpr xcb_keycode_t kX11D = 40;
constexpr xcb_keycode_t kX11AltL = 64;
constexpr xcb_keycode_t kX11AltR = 108;

// Moves the Alt keys from Mod1 to Mod3, the way another keyboard setup may place them.
void moveAltToMod3()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    XcbPtr<xcb_get_modifier_mapping_reply_t> map(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    const int perModifier = map->keycodes_per_modifier;
    std::vector<xcb_keycode_t> keys(
        xcb_get_modifier_mapping_keycodes(map.get()), xcb_get_modifier_mapping_keycodes(map.get()) + 8 * perModifier);
    const auto isAlt = [](xcb_keycode_t key) { return key == kX11AltL || key == kX11AltR; };
    std::replace_if(keys.begin() + 3 * perModifier, keys.begin() + 4 * perModifier, isAlt, xcb_keycode_t{0});
    std::vector<xcb_keycode_t> mod3{kX11AltL, kX11AltR};
    for (int k = 0; k < perModifier && !mod3.empty(); ++k) {
        if (keys[5 * perModifier + k] == 0) {
            keys[5 * perModifier + k] = mod3.back();
            mod3.pop_back();
        }
    }
    std::free(xcb_set_modifier_mapping_reply(
        connection, xcb_set_modifier_mapping(connection, static_cast<uint8_t>(perModifier), keys.data()), nullptr));
    xcb_disconnect(connection);
}

} // namespace

TEST_F(DictationHotkeyMonitorTest, AKeyboardChangeEndsAHoldAndAGrabItCostsIsTakenAgainLater)
{
    constexpr HotkeyConfig kOptionD{2, HotkeyConfig::kOption}; // Alt+D
    m_monitor->install(kOptionD);
    ASSERT_TRUE(xdotool({"keydown", "alt+d"}));
    ASSERT_TRUE(reported("D"));
    // Another layout while the key is held: its release may never reach us, so the hold ends.
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("de")}), 0);
    EXPECT_TRUE(reported("DU"));
    EXPECT_FALSE(m_monitor->keyHeld());
    ASSERT_TRUE(xdotool({"keyup", "d", "keyup", "alt"}));
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")}), 0);
    test::settle();
    ASSERT_TRUE(xdotool({"key", "alt+d"}));
    EXPECT_TRUE(reported("DUDU"));

    // Another program holds Alt+D in the form the next keyboard gives it: the grab after the
    // change fails, and is tried again until that program lets go.
    test::LogCapture log;
    {
        xcb_connection_t* other = xcb_connect(nullptr, nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
        ASSERT_FALSE(XcbPtr<xcb_generic_error_t>(xcb_request_check(other,
            xcb_grab_key_checked(other, 1, root, XCB_MOD_MASK_3, kX11D, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC))));
        moveAltToMod3();
        EXPECT_TRUE(test::waitUntil([&] { return !log.errors(kCategory).empty(); }, 3000));
        EXPECT_EQ(log.errors(kCategory),
            std::vector<QString>{QStringLiteral("XGrabKey failed — combination taken by another program")});
        EXPECT_FALSE(m_monitor->hasTap());
        xcb_disconnect(other);
    }
    EXPECT_TRUE(test::waitUntil([&] { return m_monitor->hasTap(); }, 3000));
    ASSERT_TRUE(xdotool({"key", "alt+d"}));
    EXPECT_TRUE(reported("DUDUDU"));
    EXPECT_EQ(log.errors(kCategory).size(), 1u); // the retries do not fill the log
}

TEST_F(DictationHotkeyMonitorTest, ACombinationTakenByAnotherProgramIsReportedAndLeftToIt)
{
    test::OtherXClient other;
    ASSERT_TRUE(other.grab(kCommandD));
    test::LogCapture log;
    m_monitor->install(kCommandD);
    EXPECT_FALSE(m_monitor->hasTap());
    EXPECT_EQ(log.errors(kCategory),
        std::vector<QString>{QStringLiteral("XGrabKey failed — combination taken by another program")});

    // Nothing of ours is left behind: with Caps Lock on, the combination is still not ours.
    ASSERT_TRUE(xdotool({"key", "Caps_Lock", "ctrl+d", "Caps_Lock"}));
    test::settle();
    EXPECT_EQ(m_reported, "");
}
