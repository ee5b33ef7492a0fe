#include "dictation/DictationManager.h"
#include "services/ASRClient.h"
#include "ui/dictation/DictatedTextNotice.h"
#include "ui/dictation/DictationBars.h"
#include "ui/dictation/DictationPanelController.h"
#include "ui/dictation/DictationPanelLayout.h"
#include "ui/dictation/DictationPanelView.h"

#include "FakeCaptureBackend.h"
#include "FakeSpeechService.h"
#include "FocusedField.h"
#include "QtWait.h"
#include "RecordingSleeper.h"

#include <QClipboard>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <gtest/gtest.h>
#include <thread>

using namespace palaverly;
using namespace palaverly::dictationpanel;

TEST(DictationPanelLayoutTest, BarsFollowTheLevelAndScrollInFromTheRight)
{
    EXPECT_DOUBLE_EQ(barHeight(0), 2);
    EXPECT_DOUBLE_EQ(barHeight(-0.3f), 2);
    EXPECT_DOUBLE_EQ(barHeight(0.5f), 10);
    EXPECT_DOUBLE_EQ(barHeight(1), 18);
    EXPECT_DOUBLE_EQ(barHeight(1.5f), 26); // not clipped
    EXPECT_EQ(areaHeight({0.1f, 0.9f}), 18);
    EXPECT_EQ(areaHeight({0.1f, 1.5f, 1.2f}), 26); // the area grows with the tallest bar

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

TEST(DictationPanelTest, ThePanelIsAtLeast200WideInEveryStateAndLoudBarsMakeItTaller)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X server";
    test::FakeSpeechService speech;
    speech.scriptUploads({test::FakeAnswer::stall()});
    ASRClient client(speech.baseUrl(), std::make_shared<test::RecordingSleeper>());
    auto mic = std::make_shared<test::FakeCaptureBackend::Control>();
    DictationManager::Dependencies deps;
    deps.microphone = std::make_unique<MicrophoneTap>(std::make_unique<test::FakeCaptureBackend>(mic));
    deps.transcriber = fixedTranscriber(client);
    deps.paste = [](const std::string&) {};
    DictationManager manager(std::move(deps));
    DictationPanelController controller(&manager);
    QObject::connect(&manager, &DictationManager::stateChanged, [&] { controller.applyState(); });
    const auto settledWidth = [&] {
        test::settle(100);
        return controller.panel() ? controller.panel()->width() : 0;
    };

    manager.start();
    ASSERT_NE(controller.panel(), nullptr);
    EXPECT_GE(settledWidth(), 200);
    const int quietHeight = controller.panel()->height();
    // Half a second louder than full scale: the bars rise above their area, which grows.
    std::thread([&] {
        std::vector<float> loud(4800, 1.6f);
        for (int i = 0; i < 5; ++i)
            mic->request.streams.at(0).onBuffer(AudioBuffer::fromFloat(48000, 1, SampleLayout::interleaved, loud));
    }).join();
    EXPECT_TRUE(test::waitUntil([&] { return controller.panel()->height() >= quietHeight + 6; }, 3000));

    manager.stop(); // long enough: off to the service, which does not answer yet
    ASSERT_EQ(manager.state().kind, DictationManager::State::Kind::transcribing);
    EXPECT_GE(settledWidth(), 200);
    EXPECT_EQ(controller.panel()->text(), QStringLiteral("Распознаю…"));
    speech.server().releaseStalls();
}

TEST(DictationPanelTest, ATextTheClipboardRefusedIsOfferedUntilCopied)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X server";
    DictationPanelController controller(nullptr);
    controller.offerText(QStringLiteral("первая диктовка"));
    controller.offerText(QStringLiteral("вторая")); // while the first is still shown
    ASSERT_NE(controller.notice(), nullptr);
    EXPECT_TRUE(controller.notice()->isVisible());
    EXPECT_EQ(controller.notice()->text(), QStringLiteral("первая диктовка\n\nвторая"));
    controller.notice()->copyButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("первая диктовка\n\nвторая"));
    EXPECT_FALSE(controller.notice()->isVisible());
}
