#include "system/HotkeyConfig.h"
#include "system/KeyCodeTable.h"
#include "system/KeyboardLayout.h"

#include <QKeyEvent>
#include <QProcess>
#include <gtest/gtest.h>
#include <set>

using namespace palaverly;

namespace {

constexpr quint32 kR = 15;
constexpr quint32 kN = 45;
constexpr quint32 kTwo = 0x13;
constexpr quint32 kX11KeyTwo = 11; // evdev KEY_2 + 8
constexpr quint32 kX11KeyR = 27;

bool setLayout(const char* layout)
{
    return QProcess::execute(QStringLiteral("setxkbmap"), {QString::fromLatin1(layout)}) == 0;
}

} // namespace

TEST(HotkeyConfigTest, DisplayStringNamesModifiersAsLinuxMenusDoInTheirOrderBeforeTheKeyName)
{
    NullKeyboardLayout noLayout;
    EXPECT_EQ(HotkeyConfig({0, 0x1F00}).displayString(&noLayout), "");
    EXPECT_EQ(HotkeyConfig({49, 4096 + 512}).displayString(&noLayout), "Meta+Shift+Space");
    EXPECT_EQ(HotkeyConfig({36, 256}).displayString(&noLayout), "Ctrl+Return");
    EXPECT_EQ(HotkeyConfig({96, 4096 + 512}).displayString(&noLayout), "Meta+Shift+F5");
    EXPECT_EQ(HotkeyConfig({53, 256 | 512 | 2048 | 4096}).displayString(&noLayout), "Meta+Ctrl+Alt+Shift+Esc");
    EXPECT_EQ(HotkeyConfig({126, 0x1 | 0x8000 | 2048}).displayString(&noLayout), "Alt+Up"); // foreign bits ignored
    // Without a layout a letter has no name; codes beyond 16 bits never have one.
    EXPECT_EQ(HotkeyConfig({kR, 2304}).displayString(&noLayout), "Ctrl+Alt+?");
    EXPECT_EQ(HotkeyConfig::keyName(70000), "?");
    EXPECT_EQ(HotkeyConfig::keyName(kR, nullptr), "?");
    EXPECT_EQ(HotkeyConfig::keyName(kR, KeyboardLayout::create(":4242").get()), "?"); // no such display
    EXPECT_EQ(HotkeyConfig::keyName(117, nullptr), "Del");
    EXPECT_EQ(HotkeyConfig::keyName(122, nullptr), "F1");
}

TEST(HotkeyConfigTest, JsonIsCompactAndDecodingNeedsBothMembersAsUnsigned32BitIntegers)
{
    EXPECT_EQ(HotkeyConfig({15, 2304}).toJson(), R"({"keyCode":15,"modifiers":2304})");
    EXPECT_EQ(HotkeyConfig::fromJson(HotkeyConfig({7, 4096}).toJson()), HotkeyConfig({7, 4096}));
    EXPECT_EQ(
        HotkeyConfig::fromJson(R"({"modifiers":0,"extra":[1],"keyCode":4294967295})"), HotkeyConfig({4294967295u, 0}));
    EXPECT_EQ(HotkeyConfig::fromJson(R"({"keyCode":15.0,"modifiers":256})"), HotkeyConfig({15, 256}));
    for (const char* bad : {"", "not json", "{}", R"({"keyCode":15})", R"({"modifiers":2304})",
             R"({"keyCode":-1,"modifiers":0})", R"({"keyCode":4294967296,"modifiers":0})",
             R"({"keyCode":"15","modifiers":0})", R"({"keyCode":15.5,"modifiers":0})",
             R"({"keyCode":null,"modifiers":0})", "[15,2304]", R"({"keyCode":15,"modifiers":2304)"})
        EXPECT_FALSE(HotkeyConfig::fromJson(bad)) << bad;
}

TEST(HotkeyConfigTest, KeyEventsMapToOurNumberingAndModifiersRoundTripThroughMenuFlags)
{
    const QKeyEvent commandShift2(QEvent::KeyPress, Qt::Key_At,
        Qt::ControlModifier | Qt::ShiftModifier | Qt::KeypadModifier | Qt::GroupSwitchModifier, kX11KeyTwo, 0x40,
        0x1 | 0x2 | 0x4 | 0x10); // native state with Caps Lock and Num Lock
    EXPECT_EQ(HotkeyConfig::fromKeyEvent(commandShift2), HotkeyConfig({kTwo, 768}));
    EXPECT_EQ(HotkeyConfig::fromNative(kX11KeyR, Qt::AltModifier | Qt::MetaModifier), HotkeyConfig({kR, 2048 + 4096}));
    EXPECT_EQ(HotkeyConfig::fromNative(8, Qt::ControlModifier).keyCode, 0u); // not a key of the table

    for (quint32 mask = 0; mask < 16; ++mask) {
        const quint32 carbon
            = ((mask & 1) ? 256 : 0) | ((mask & 2) ? 512 : 0) | ((mask & 4) ? 2048 : 0) | ((mask & 8) ? 4096 : 0);
        const HotkeyConfig config{kN, carbon};
        EXPECT_EQ(HotkeyConfig::carbonModifiers(config.menuModifierFlags()), carbon);
    }
    EXPECT_EQ(HotkeyConfig({kN, 256 | 4096}).menuModifierFlags(), Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_EQ(HotkeyConfig({kN, 0x10000 | 0x1}).menuModifierFlags(), Qt::NoModifier);
}

TEST(HotkeyConfigTest, KeyCodeTableIsOneToOne)
{
    std::set<quint32> ours;
    for (quint32 x11 = 0; x11 < 256; ++x11) {
        if (const auto code = keycodes::fromX11(x11)) {
            EXPECT_TRUE(ours.insert(*code).second) << "duplicate " << *code;
            EXPECT_EQ(keycodes::toX11(*code), x11);
        }
    }
    EXPECT_GE(ours.size(), 110u);
    EXPECT_EQ(keycodes::fromX11(kX11KeyR), kR);
    EXPECT_EQ(keycodes::fromX11(57), kN);
    EXPECT_EQ(keycodes::fromX11(65), 49u); // Space
    EXPECT_FALSE(keycodes::toX11(0x34)); // no key has this code
}

TEST(HotkeyConfigTest, KeyNameIsTheUnshiftedSymbolOfTheCurrentLayoutInUpperCase)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X server";
    ASSERT_TRUE(setLayout("us"));
    EXPECT_EQ(HotkeyConfig::keyName(kR), "R");
    EXPECT_EQ(HotkeyConfig::keyName(kN), "N");
    EXPECT_EQ(HotkeyConfig::keyName(kTwo), "2");
    EXPECT_EQ(HotkeyConfig::keyName(0x2B), ","); // comma
    EXPECT_EQ(HotkeyConfig::keyName(0x53), "1"); // keypad 1
    EXPECT_EQ(HotkeyConfig::keyName(0x37), "?"); // left Ctrl types nothing
    EXPECT_EQ(HotkeyConfig({kR, 2304}).displayString(), "Ctrl+Alt+R");
    EXPECT_EQ(HotkeyConfig({47, 256}).displayString(), "Ctrl+."); // 47: the full stop key

    ASSERT_TRUE(setLayout("ru"));
    EXPECT_EQ(HotkeyConfig::keyName(kR), "К");
    EXPECT_EQ(HotkeyConfig({kN, 2304}).displayString(), "Ctrl+Alt+Т");
    EXPECT_EQ(HotkeyConfig::keyName(49), "Space");
    ASSERT_TRUE(setLayout("us"));
    EXPECT_EQ(HotkeyConfig::keyName(kR), "R");
}
