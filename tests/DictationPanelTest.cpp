#include "dictation/DictationBars.h"
#include "dictation/DictationManager.h"
#include "dictation/DictationPanelController.h"
#include "dictation/DictationPanelLayout.h"
#include "dictation/DictationPanelView.h"
#include "services/ASRClient.h"

#include "FakeCaptureBackend.h"
#include "FakeSpeechService.h"
#include "FocusedField.h"
#include "RecordingSleeper.h"

#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>
#include <gtest/gtest.h>
#include <thread>

using namespace palaverly;
using namespace palaverly::dictationpanel;
using Kind = DictationManager::State::Kind;

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

namespace {

class DictationPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "needs an X server";
        m_client = std::make_unique<ASRClient>(m_service.baseUrl(), std::make_shared<test::RecordingSleeper>());
        DictationManager::Dependencies deps;
        deps.microphone = std::make_unique<MicrophoneTap>(std::make_unique<test::FakeCaptureBackend>(m_mic));
        deps.speechClient = m_client.get();
        deps.sleeper = std::make_shared<test::RecordingSleeper>();
        deps.paste = [](const std::string&) {};
        deps.temporaryRoot = m_tempRoot.path().toStdString();
        m_manager = std::make_unique<DictationManager>(std::move(deps));
        m_panel = std::make_unique<DictationPanelController>(m_manager.get());
        // What the tray does on every change of the state (as a task of the main thread), and a
        // record of what was shown.
        QObject::connect(
            m_manager.get(), &DictationManager::stateChanged, m_panel.get(),
            [this] {
                m_panel->applyState();
                m_shown.push_back(m_panel->panel() ? m_panel->panel()->text() : QStringLiteral("(hidden)"));
            },
            Qt::QueuedConnection);
    }

    void speak(double seconds)
    {
        std::thread capture([this, seconds] {
            std::vector<float> samples(static_cast<size_t>(seconds * 48000), 0.25f);
            m_mic->request.streams.at(0).onBuffer(AudioBuffer::fromFloat(48000, 1, SampleLayout::interleaved, samples));
        });
        capture.join();
    }

    static QString xprop(WId window, const char* property)
    {
        QProcess process;
        process.start(QStringLiteral("xprop"), {"-id", QString::number(window), QString::fromLatin1(property)});
        process.waitForFinished(3000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    QTemporaryDir m_tempRoot;
    test::FakeSpeechService m_service;
    std::unique_ptr<ASRClient> m_client;
    std::shared_ptr<test::FakeCaptureBackend::Control> m_mic = std::make_shared<test::FakeCaptureBackend::Control>();
    std::unique_ptr<DictationManager> m_manager;
    std::unique_ptr<DictationPanelController> m_panel;
    std::vector<QString> m_shown;
};

} // namespace

TEST_F(DictationPanelTest, ThePanelFollowsTheDictationWithoutTakingTheFocus)
{
    test::FocusedField app;
    ASSERT_TRUE(app.showAndFocus());
    QWindow* focusWindow = QGuiApplication::focusWindow();
    int focusChanges = 0;
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, [&](QWindow* window) {
        if (window && window != focusWindow)
            ++focusChanges;
    });

    m_manager->start();
    ASSERT_TRUE(test::waitUntil([&] { return m_panel->panel() != nullptr; }));
    DictationPanelView* panel = m_panel->panel();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->text(), QStringLiteral("Слушаю…"));
    const Qt::WindowFlags flags = panel->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_EQ((flags & Qt::WindowType_Mask), Qt::Tool);
    EXPECT_GE(panel->width(), 200);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(test::waitUntil([&] { return panel->windowHandle() && panel->windowHandle()->isExposed(); }, 3000));
    EXPECT_EQ(panel->pos(), panelOrigin(available, panel->size()));
    const QPoint placed = panel->pos();

    // On every desktop, above the others, out of the task bar; the window manager is told that it
    // takes no input.
    const QString states = xprop(panel->winId(), "_NET_WM_STATE");
    for (const char* state : {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR"})
        EXPECT_TRUE(states.contains(QLatin1String(state))) << states.toStdString() << " lacks " << state;
    EXPECT_TRUE(xprop(panel->winId(), "WM_HINTS").contains(QLatin1String("input or input focus: False")));

    // A second show changes nothing.
    m_panel->show();
    EXPECT_EQ(m_panel->panel(), panel);

    speak(0.5);
    m_service.scriptUploads(std::vector<test::FakeAnswer>(ASRClient::kUploadAttempts,
        test::FakeAnswer::reply(500, std::string(300, 'x'), "text/plain").after(std::chrono::milliseconds(150))));
    m_manager->stop();
    ASSERT_TRUE(test::waitUntil([&] { return m_shown.size() == 2; }));
    EXPECT_EQ(m_panel->panel(), panel); // the same panel, not moved
    EXPECT_EQ(panel->text(), QStringLiteral("Распознаю…"));
    test::settle(100);
    EXPECT_EQ(panel->pos(), placed);

    // The failure shows, then the panel goes with the error.
    ASSERT_TRUE(test::waitUntil([&] { return m_manager->state().kind == Kind::idle; }));
    EXPECT_EQ(m_panel->panel(), nullptr);
    ASSERT_EQ(m_shown.size(), 4u);
    EXPECT_EQ(m_shown[0], QStringLiteral("Слушаю…"));
    EXPECT_EQ(m_shown[1], QStringLiteral("Распознаю…"));
    const QString error = m_shown[2];
    EXPECT_TRUE(QString(error).replace('\n', ' ').startsWith(
        QStringLiteral("Не удалось отправить на расшифровку: HTTP 500 — xxx")))
        << error.toStdString();
    EXPECT_LE(error.count('\n'), 1);
    EXPECT_LE(QString(error).remove('\n').remove(QChar(0x2026)).size(), 80);
    EXPECT_EQ(m_shown[3], QStringLiteral("(hidden)"));

    // The field kept the keyboard all along.
    EXPECT_EQ(focusChanges, 0);
    EXPECT_TRUE(app.hasInputFocus());
    EXPECT_EQ(QApplication::focusWidget(), &app.field());
}

TEST_F(DictationPanelTest, BarsSettleOnASteadyLevelWithin14Ticks)
{
    DictationBars bars([] { return 0.5f; });
    EXPECT_EQ(bars.history(), std::vector<float>(14, 0.0f));
    EXPECT_EQ(bars.sizeHint(), QSize(74, 18));
    bars.show();
    EXPECT_TRUE(test::waitUntil([&] { return bars.history() == std::vector<float>(14, 0.5f); }, 2000));
    bars.hide();

    // The showing rule: nothing while the manager is idle, and nothing once it is gone.
    m_panel->show();
    ASSERT_NE(m_panel->panel(), nullptr);
    EXPECT_TRUE(m_panel->panel()->text().isEmpty());
    m_panel->applyState();
    EXPECT_EQ(m_panel->panel(), nullptr);
    m_manager.reset();
    m_panel->show();
    EXPECT_EQ(m_panel->panel(), nullptr);
}
