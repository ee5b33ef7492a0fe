// The first-run wizard on a real X server: walked with clicks and keys, against probes that find
// nothing (no permission) and, under run-with-services.sh, against the real session (all granted).
#include "system/NotificationCenter.h"
#include "system/PermissionsSnapshot.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"
#include "ui/onboarding/OnboardingView.h"
#include "ui/onboarding/OnboardingWindowController.h"

#include "QtWait.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;

namespace {

class OnboardingTest : public ::testing::Test {
protected:
    OnboardingTest()
        : m_store(m_dir.filePath("palaverly.conf"), QSettings::IniFormat)
    {
        m_notifications.addObserver(notifications::kOpenSettings, &m_notifications, [this](const QVariantMap& info) {
            const QString pane = info.value(QStringLiteral("pane")).toString();
            m_events.push_back(pane.isEmpty() ? "openSettings" : "openSettings:" + pane.toStdString());
        });
    }

    ~OnboardingTest() override
    {
        // Windows dropped by finish() go when the event loop gets to them.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A controller whose snapshots find neither a sound server nor a display.
    std::unique_ptr<OnboardingWindowController> makeController()
    {
        return std::make_unique<OnboardingWindowController>(
            m_store, m_notifications, [this] { m_events.push_back("completed"); },
            [this] {
                return std::make_unique<PermissionsSnapshot>(m_store,
                    PermissionsSnapshot::Probes{
                        std::make_unique<NullSoundServerProbe>(), std::make_unique<NullSyntheticInputProbe>()});
            });
    }

    static OnboardingView* view(OnboardingWindowController& controller)
    {
        return qobject_cast<OnboardingView*>(controller.window());
    }
    template <typename T = QPushButton> static T* child(QWidget* root, const char* name)
    {
        T* found = nullptr;
        for (T* candidate : root->findChildren<T*>(QLatin1String(name))) {
            if (candidate->isVisibleTo(root))
                found = candidate;
        }
        return found;
    }
    static QString primaryText(QWidget* root) { return child(root, "primaryButton")->text(); }
    static bool showsBack(QWidget* root) { return child(root, "backButton") != nullptr; }
    static int visibleLimitations(QWidget* root)
    {
        int count = 0;
        for (QWidget* row : root->findChildren<QWidget*>(QStringLiteral("limitationRow")))
            count += row->isVisibleTo(root) ? 1 : 0;
        return count;
    }
    static void click(QWidget* root, const char* name)
    {
        QPushButton* button = child(root, name);
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QTemporaryDir m_dir;
    QSettings m_store;
    NotificationCenter m_notifications;
    std::vector<std::string> m_events;
};

} // namespace

TEST_F(OnboardingTest, WalkingThroughWithoutGrantingAnythingEndsWithThreeLimitations)
{
    EXPECT_TRUE(OnboardingWindowController::needsOnboarding(m_store));
    auto controller = makeController();
    controller->show();
    OnboardingView* wizard = view(*controller);
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wizard));
    EXPECT_EQ(wizard->windowTitle(), "Palaverly");
    EXPECT_EQ(wizard->size(), QSize(580, 620));
    EXPECT_EQ(wizard->minimumSize(), wizard->maximumSize()); // not resizable
    EXPECT_FALSE(wizard->windowFlags() & Qt::WindowMinimizeButtonHint);

    EXPECT_EQ(wizard->step(), OnboardingStep::welcome);
    EXPECT_EQ(primaryText(wizard), "Начать");
    EXPECT_FALSE(showsBack(wizard));

    const std::vector<std::pair<OnboardingStep, const char*>> pages{
        {OnboardingStep::microphone, "deniedState"}, // no sound server: nothing to ask for
        {OnboardingStep::screenRecording, "requestButton"},
        {OnboardingStep::accessibility, "requestButton"},
    };
    for (const auto& [step, state] : pages) {
        click(wizard, "primaryButton");
        EXPECT_EQ(wizard->step(), step);
        EXPECT_EQ(primaryText(wizard), "Далее");
        EXPECT_TRUE(showsBack(wizard));
        EXPECT_NE(child<QWidget>(wizard, state), nullptr) << static_cast<int>(step);
    }
    click(wizard, "primaryButton");
    EXPECT_EQ(wizard->step(), OnboardingStep::done);
    EXPECT_EQ(primaryText(wizard), "Готово");
    EXPECT_FALSE(showsBack(wizard));
    EXPECT_EQ(child<QLabel>(wizard, "doneTitle")->text(), "Почти готово");
    EXPECT_EQ(visibleLimitations(wizard), 3);
    EXPECT_NE(child(wizard, "finishInSettingsButton"), nullptr);
    EXPECT_FALSE(m_store.contains(OnboardingWindowController::kHasCompletedKey));

    click(wizard, "primaryButton");
    EXPECT_EQ(m_events, std::vector<std::string>{"completed"});
    EXPECT_EQ(controller->window(), nullptr);
    QSettings reread(m_dir.filePath("palaverly.conf"), QSettings::IniFormat);
    EXPECT_TRUE(reread.value(OnboardingWindowController::kHasCompletedKey).toBool());
    EXPECT_FALSE(OnboardingWindowController::needsOnboarding(reread));

    // Shown again later (from the settings), it starts over.
    controller->show();
    ASSERT_NE(view(*controller), nullptr);
    EXPECT_EQ(view(*controller)->step(), OnboardingStep::welcome);
}

TEST_F(OnboardingTest, ControlLeftGoesBackAndClosingKeepsThePage)
{
    auto controller = makeController();
    controller->show();
    OnboardingView* wizard = view(*controller);
    ASSERT_TRUE(QTest::qWaitForWindowActive(wizard));
    QTest::keyClick(wizard, Qt::Key_Left, Qt::ControlModifier); // no "Назад" on the welcome page
    QTest::qWait(200); // a shortcut clicks its button after a short press animation
    EXPECT_EQ(wizard->step(), OnboardingStep::welcome);
    click(wizard, "primaryButton");
    click(wizard, "primaryButton");
    ASSERT_EQ(wizard->step(), OnboardingStep::screenRecording);
    QTest::keyClick(wizard, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_TRUE(waitUntil([&] { return wizard->step() == OnboardingStep::microphone; }, 2000));
    click(wizard, "primaryButton");

    wizard->close();
    EXPECT_TRUE(waitUntil([&] { return !wizard->isVisible(); }));
    EXPECT_TRUE(m_events.empty());
    EXPECT_TRUE(OnboardingWindowController::needsOnboarding(m_store));
    controller->show();
    EXPECT_EQ(view(*controller), wizard); // the same window, on the same page
    EXPECT_TRUE(wizard->isVisible());
    EXPECT_EQ(wizard->step(), OnboardingStep::screenRecording);
}

TEST_F(OnboardingTest, ARequestLocksItsButtonUntilTheAnswerAndShowsTheRefusal)
{
    auto controller = makeController();
    controller->show();
    OnboardingView* wizard = view(*controller);
    click(wizard, "primaryButton");
    click(wizard, "primaryButton");
    ASSERT_EQ(wizard->step(), OnboardingStep::screenRecording);

    QPushButton* request = child(wizard, "requestButton");
    ASSERT_NE(request, nullptr);
    QTest::mouseClick(request, Qt::LeftButton);
    EXPECT_TRUE(wizard->requestInFlight());
    EXPECT_FALSE(request->isEnabled());
    QTest::mouseClick(request, Qt::LeftButton); // ignored while the first one runs

    ASSERT_TRUE(waitUntil([&] { return !wizard->requestInFlight(); }));
    EXPECT_EQ(wizard->step(), OnboardingStep::screenRecording); // the page stays
    EXPECT_NE(child<QWidget>(wizard, "deniedState"), nullptr);
    EXPECT_NE(child(wizard, "openSettingsButton"), nullptr);
    EXPECT_TRUE(m_store.value(PermissionsSnapshot::kHasPromptedScreenRecordingKey).toBool());
    EXPECT_EQ(wizard->snapshot().accessibility(), PermissionStatus::notDetermined);
}

TEST_F(OnboardingTest, FinishingInTheSettingsOpensThemAndCompletes)
{
    auto controller = makeController();
    controller->show();
    OnboardingView* wizard = view(*controller);
    for (int page = 0; page < 4; ++page)
        click(wizard, "primaryButton");
    EXPECT_EQ(child<QWidget>(wizard, "servicesNotice"), nullptr);
    click(wizard, "finishInSettingsButton");
    EXPECT_EQ(m_events, (std::vector<std::string>{"openSettings", "completed"}));
    EXPECT_FALSE(OnboardingWindowController::needsOnboarding(m_store));

    // A build without a recognizer says so on the last page and leads to its settings.
    m_events.clear();
    controller->setServicesNotice([] { return QStringLiteral("Сервис распознавания речи не настроен."); });
    controller->show();
    wizard = view(*controller);
    for (int page = 0; page < 4; ++page)
        click(wizard, "primaryButton");
    EXPECT_EQ(child<QLabel>(wizard, "servicesNoticeText")->text(), "Сервис распознавания речи не настроен.");
    click(wizard, "openServicesButton");
    EXPECT_EQ(m_events, (std::vector<std::string>{"openSettings:services", "completed"}));
}

TEST_F(OnboardingTest, WithEverythingGrantedTheLastPageHasNoLimitations)
{
    if (!std::getenv("PALAVERLY_TEST_SERVICES"))
        GTEST_SKIP() << "needs tests/support/run-with-services.sh";
    OnboardingWindowController controller(m_store, m_notifications, [] {});
    controller.show();
    OnboardingView* wizard = view(controller);
    for (int page = 1; page < 4; ++page) {
        click(wizard, "primaryButton");
        // The page shows the answer of the probes once they have given it.
        EXPECT_TRUE(waitUntil([&] { return child<QWidget>(wizard, "grantedState") != nullptr; })) << page;
    }
    click(wizard, "primaryButton");
    EXPECT_EQ(child<QLabel>(wizard, "doneTitle")->text(), "Готово");
    EXPECT_EQ(visibleLimitations(wizard), 0);
    EXPECT_EQ(child(wizard, "finishInSettingsButton"), nullptr);
}
