#include "dictation/TextInjector.h"

#include "FocusedField.h"
#include "LogCapture.h"

#include <QClipboard>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace palaverly;
using test::xdotool;

namespace {

// Key codes of Shift_L and Control_L with the evdev rules of Xvfb.
constexpr int kShiftL = 50;
constexpr int kControlL = 37;

bool keyIsDown(int code)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    xcb_query_keymap_reply_t* keymap = xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr);
    const bool down = keymap && ((keymap->keys[code / 8] >> (code % 8)) & 1);
    std::free(keymap);
    xcb_disconnect(connection);
    return down;
}

class TextInjectorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "needs an X server";
        ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")}), 0);
        QGuiApplication::clipboard()->clear();
        ASSERT_TRUE(m_app.showAndFocus());
    }

    void TearDown() override { xdotool({"keyup", "shift", "ctrl"}); }

    // Runs the event loop past the restore.
    static void waitPastRestore() { test::settle(int(TextInjector::kRestoreDelay.count()) + 250); }

    test::FocusedField m_app;
};

} // namespace

TEST_F(TextInjectorTest, TheTextArrivesOnceAndTheClipboardGetsBackEveryTargetItOffered)
{
    const QString dictated = QStringLiteral("Привет, это проверка диктовки.");
    struct Case {
        QString target;
        QByteArray data;
    };
    QByteArray png(512, '\0');
    for (int i = 0; i < png.size(); ++i)
        png[i] = char(i * 7);
    const std::vector<Case> cases{
        {QStringLiteral("UTF8_STRING"), QStringLiteral("Старый текст в буфере").toUtf8()},
        {QStringLiteral("image/png"), png},
        {QStringLiteral("application/x-palaverly-note"), QByteArray("\x01\x02 binary \xff", 12)},
    };
    TextInjector injector;
    QString expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        ASSERT_TRUE(test::ownClipboardElsewhere(c.target, c.data));
        const QStringList before = test::clipboardTargetsElsewhere();
        ASSERT_TRUE(before.contains(c.target));

        injector.paste(dictated);
        expected += dictated;
        EXPECT_TRUE(test::waitUntil([&] { return m_app.field().text() == expected; }, 3000));
        waitPastRestore();
        EXPECT_EQ(m_app.field().text(), expected); // once

        const QStringList after = test::clipboardTargetsElsewhere();
        for (const QString& target : before) {
            if (target == QLatin1String("TARGETS"))
                continue;
            EXPECT_TRUE(after.contains(target)) << target.toStdString();
            EXPECT_EQ(test::clipboardElsewhere(target), c.data) << target.toStdString();
        }
    }
    EXPECT_TRUE(m_app.hasInputFocus());
}

TEST_F(TextInjectorTest, AnEmptyClipboardKeepsTheTextAndALaterCopyIsNotOverwritten)
{
    TextInjector injector;
    injector.paste(QStringLiteral("первый"));
    waitPastRestore();
    EXPECT_EQ(m_app.field().text(), QStringLiteral("первый"));
    EXPECT_EQ(test::clipboardElsewhere(QStringLiteral("UTF8_STRING")), QStringLiteral("первый").toUtf8());

    // Something copied before the restore is due stays on the clipboard.
    ASSERT_TRUE(test::ownClipboardElsewhere(QStringLiteral("UTF8_STRING"), QByteArray("old")));
    injector.paste(QStringLiteral(" второй"));
    ASSERT_TRUE(test::waitUntil([&] { return m_app.field().text().endsWith(QStringLiteral("второй")); }, 3000));
    ASSERT_TRUE(test::ownClipboardElsewhere(QStringLiteral("UTF8_STRING"), QByteArray("copied meanwhile")));
    waitPastRestore();
    EXPECT_EQ(test::clipboardElsewhere(QStringLiteral("UTF8_STRING")), QByteArray("copied meanwhile"));
}

TEST_F(TextInjectorTest, ModifiersStillHeldAreLetGoForThePasteAndPressedAgainAfter)
{
    ASSERT_TRUE(xdotool({"keydown", "shift"}));
    ASSERT_TRUE(keyIsDown(kShiftL));
    TextInjector injector;
    injector.paste(QStringLiteral("текст"));
    // Ctrl+Shift+V would not paste into the field.
    EXPECT_TRUE(test::waitUntil([&] { return m_app.field().text() == QStringLiteral("текст"); }, 3000));
    EXPECT_TRUE(keyIsDown(kShiftL));
    EXPECT_FALSE(keyIsDown(kControlL));
    ASSERT_TRUE(xdotool({"keyup", "shift"}));
}

TEST_F(TextInjectorTest, WithoutXTestTheTextIsLeftOnTheClipboard)
{
    ASSERT_TRUE(test::ownClipboardElsewhere(QStringLiteral("UTF8_STRING"), QByteArray("before")));
    test::LogCapture log;
    TextInjector injector(std::unique_ptr<TextInjector::KeySender>{});
    injector.paste(QStringLiteral("вручную"));
    waitPastRestore();
    EXPECT_EQ(log.errors(QStringLiteral("TextInjector")),
        std::vector<QString>{QStringLiteral("Failed to open XTest for paste")});
    EXPECT_TRUE(m_app.field().text().isEmpty());
    EXPECT_EQ(test::clipboardElsewhere(QStringLiteral("UTF8_STRING")), QStringLiteral("вручную").toUtf8());

    // A display without XTest fails the same way.
    TextInjector nowhere(TextInjector::createKeySender(":999"));
    log.clear();
    nowhere.paste(QStringLiteral("x"));
    EXPECT_EQ(log.errors(QStringLiteral("TextInjector")),
        std::vector<QString>{QStringLiteral("Failed to open XTest for paste")});
}

TEST_F(TextInjectorTest, TextTheClipboardRefusesTwiceIsOfferedInsteadAndLogged)
{
    test::LogCapture log;
    int attempts = 0;
    TextInjector injector(TextInjector::createKeySender(), [&](const QString&) {
        ++attempts;
        return false;
    });
    QSignalSpy offered(&injector, &TextInjector::textNotPlaced);
    injector.paste(QStringLiteral("не потерять"));
    ASSERT_TRUE(test::waitUntil([&] { return offered.count() == 1; }, 3000));
    EXPECT_EQ(offered.at(0).at(0).toString(), QStringLiteral("не потерять"));
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(log.errors(QStringLiteral("TextInjector")),
        std::vector<QString>{
            QStringLiteral("Failed to put the text on the clipboard; it is offered for copying instead")});
    waitPastRestore();
    EXPECT_TRUE(m_app.field().text().isEmpty()); // nothing was pasted
}
