#include "dictation/DictationManager.h"
#include "ui/dictation/DictationBars.h"
#include "ui/dictation/DictationPanelController.h"
#include "ui/dictation/DictationPanelLayout.h"
#include "ui/dictation/DictationPanelView.h"

#include "FakeCaptureBackend.h"
#include "FocusedField.h"

#include <QScreen>
#include <QWindow>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::dictationpanel;

TEST(DictationPanelLayoutTest, BarsFollowTheLevelAndScrollInFromTheRight)
{
    EXPECT_DOUBLE_EQ(barHeight(0), 2);
    EXPECT_DOUBLE_EQ(barHeight(-0.3f), 2);
    EXPECT_DOUBLE_EQ(barHeight(0.5f), 10);
    EXPECT_DOUBLE_EQ(barHeight(1), 18);
    EXPECT_DOUBLE_EQ(barHeight(1.5f), 26); // not clipped

    std::vector<float> history{0.1f, 0.2f, 0.3f};
    pushLevel(history, 0.9f);
    EXPECT_EQ(history, (std::vector<float>{0.2f, 0.3f, 0.9f}));
    std::vector<float> none;
    pushLevel(none, 0.9f);
    EXPECT_TRUE(none.empty());

    // Centred, its top 96 below the top of the available area (under a 30-pixel panel).
    EXPECT_EQ(panelOrigin(QRect(0, 30, 1920, 1050), QSize(240, 44)), QPoint(840, 126));
    EXPECT_EQ(panelOrigin(QRect(1920, 0, 1280, 1024), QSize(200, 40)), QPoint(2460, 96));
}

TEST(DictationPanelLayoutTest, AnErrorShowsItsFirst80CharactersOnAtMostTwoLines)
{
    std::string message;
    for (int i = 0; i < 20; ++i)
        message += "ошибка-" + std::to_string(i % 10) + " "; // 200 characters
    const QString excerpt = errorExcerpt(message);
    EXPECT_EQ(excerpt.size(), 80);
    EXPECT_TRUE(QString::fromStdString(message).startsWith(excerpt));
    // Characters as the user sees them: an accented letter is one.
    std::string accented;
    for (int i = 0; i < 100; ++i)
        accented += "e\xCC\x81";
    EXPECT_EQ(errorExcerpt(accented).size(), 160);
    EXPECT_EQ(errorExcerpt("коротко"), QStringLiteral("коротко"));

    QFont font = QApplication::font();
    const QString clamped = clampLines(excerpt, font, 120);
    EXPECT_EQ(clamped.count('\n'), 1);
    EXPECT_TRUE(clamped.endsWith(QChar(0x2026)));
    EXPECT_EQ(clampLines(QStringLiteral("коротко"), font, 280), QStringLiteral("коротко"));
}

// The panel on screen (flags, place, window-manager hints, focus) is part of the end-to-end test.
TEST(DictationPanelTest, BarsSettleOnASteadyLevelWithin14TicksAndTheShowingRuleFollowsTheState)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X server";
    DictationBars bars([] { return 0.5f; });
    EXPECT_EQ(bars.history(), std::vector<float>(14, 0.0f));
    EXPECT_EQ(bars.sizeHint(), QSize(74, 18));
    bars.show();
    EXPECT_TRUE(test::waitUntil([&] { return bars.history() == std::vector<float>(14, 0.5f); }, 2000));
    bars.hide();

    auto mic = std::make_shared<test::FakeCaptureBackend::Control>();
    DictationManager::Dependencies deps;
    deps.microphone = std::make_unique<MicrophoneTap>(std::make_unique<test::FakeCaptureBackend>(mic));
    deps.paste = [](const std::string&) {};
    auto manager = std::make_unique<DictationManager>(std::move(deps));
    DictationPanelController controller(manager.get());
    controller.show();
    ASSERT_NE(controller.panel(), nullptr);
    EXPECT_TRUE(controller.panel()->text().isEmpty()); // idle shows nothing
    controller.applyState();
    EXPECT_EQ(controller.panel(), nullptr);
    manager->start();
    controller.applyState();
    ASSERT_NE(controller.panel(), nullptr);
    EXPECT_EQ(controller.panel()->text(), QStringLiteral("Слушаю…"));
    manager.reset(); // a manager that is gone shows nothing
    controller.applyState();
    EXPECT_EQ(controller.panel(), nullptr);
    controller.show();
    EXPECT_EQ(controller.panel(), nullptr);
}
