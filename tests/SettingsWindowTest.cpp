// The settings window with its three panes, offscreen, against probes that find no sound server
// and no display; and the texts the window computes.
#include "system/AppSettings.h"
#include "system/NotificationCenter.h"
#include "system/PermissionsSnapshot.h"
#include "system/ServiceSettings.h"
#include "system/SoundServerProbe.h"
#include "system/SyntheticInputProbe.h"
#include "ui/settings/SettingsAboutPane.h"
#include "ui/settings/SettingsGeneralPane.h"
#include "ui/settings/SettingsPermissionsPane.h"
#include "ui/settings/SettingsText.h"
#include "ui/settings/SettingsWindowController.h"
#include "updater/LastCheckTime.h"

#include "QtWait.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::test;

namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    SettingsWindowTest()
        : m_store(m_dir.filePath("palaverly.conf"), QSettings::IniFormat)
        , m_settings(m_store, m_notifications)
    {
        for (const char* name : {notifications::kOpenOnboarding, notifications::kCheckForUpdates})
            m_notifications.addObserver(name, &m_notifications, [this, name](const QVariantMap&) { m_posted << name; });
    }

    std::unique_ptr<SettingsWindowController> makeController()
    {
        return std::make_unique<SettingsWindowController>(
            m_settings, m_services, m_store, m_notifications,
            [this] { return std::make_unique<PermissionsSnapshot>(m_store, PermissionsSnapshot::Probes{}); },
            AutostartEntry(m_dir.filePath("config")));
    }

    template <typename T> static std::vector<QString> texts(QWidget* root, const char* name)
    {
        std::vector<QString> out;
        for (T* widget : root->findChildren<T*>(QLatin1String(name))) {
            if (widget->isVisibleTo(root))
                out.push_back(widget->text());
        }
        return out;
    }

    QTemporaryDir m_dir;
    QSettings m_store;
    NotificationCenter m_notifications;
    AppSettings m_settings;
    ServiceSettings m_services{m_store, {.keyFile = m_dir.filePath("keys.json").toStdString()}};
    QStringList m_posted;
};

} // namespace

TEST_F(SettingsWindowTest, ToolbarItemsSwitchPanesAndTheTitle)
{
    auto controller = makeController();
    controller->show();
    QWidget* window = controller->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    auto* toolbar = window->findChild<QToolBar*>(QStringLiteral("settingsToolbar"));
    ASSERT_NE(toolbar, nullptr);
    QStringList items;
    for (QAction* action : toolbar->actions()) {
        if (action->isCheckable())
            items << action->text();
    }
    EXPECT_EQ(items, (QStringList{"Общие", "Сервисы", "Разрешения", "О приложении"}));
    EXPECT_EQ(window->windowTitle(), "Общие");
    EXPECT_EQ(controller->currentPane(), SettingsWindowController::Pane::general);

    toolbar->findChild<QAction*>(QStringLiteral("about"))->trigger();
    EXPECT_EQ(window->windowTitle(), "О приложении");
    EXPECT_TRUE(controller->aboutPane()->isVisible());
    EXPECT_FALSE(controller->generalPane()->isVisible());
    EXPECT_TRUE(toolbar->findChild<QAction*>(QStringLiteral("about"))->isChecked());
    EXPECT_FALSE(toolbar->findChild<QAction*>(QStringLiteral("general"))->isChecked());

    window->close();
    controller->show(SettingsWindowController::Pane::permissions);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Разрешения");
}

TEST_F(SettingsWindowTest, PermissionRowsRequestOneAtATimeAndOpenTheWizard)
{
    auto controller = makeController();
    controller->show(SettingsWindowController::Pane::permissions);
    SettingsPermissionsPane* pane = controller->permissionsPane();
    // The probes answer off the main thread; until then nothing counts as granted.
    ASSERT_TRUE(waitUntil([&] { return !controller->snapshot().isProbing(); }));
    EXPECT_EQ(texts<QLabel>(pane, "stateText"), (std::vector<QString>{"Запрещено", "Не запрошено", "Не запрошено"}));
    EXPECT_EQ(texts<QPushButton>(pane, "permissionButton"),
        (std::vector<QString>{"Открыть Настройки", "Запросить", "Запросить"}));

    QPushButton* screen = pane->findChildren<QPushButton*>(QStringLiteral("permissionButton")).at(1);
    QTest::mouseClick(screen, Qt::LeftButton);
    EXPECT_EQ(pane->requestInFlight(), PermissionKind::screenRecording);
    EXPECT_FALSE(screen->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !pane->requestInFlight(); }));
    EXPECT_EQ(texts<QLabel>(pane, "stateText"), (std::vector<QString>{"Запрещено", "Запрещено", "Не запрошено"}));
    EXPECT_EQ(screen->text(), "Открыть Настройки");

    QTest::mouseClick(pane->findChild<QPushButton*>(QStringLiteral("openWizardButton")), Qt::LeftButton);
    EXPECT_EQ(m_posted, QStringList{notifications::kOpenOnboarding});
}

TEST_F(SettingsWindowTest, AboutShowsVersionLastCheckAndLinks)
{
    SettingsAboutPane pane(m_store, m_notifications, {"2.3.1", "57", "https://notes.example.org/appcast.xml"});
    pane.show();
    EXPECT_EQ(pane.findChild<QLabel*>(QStringLiteral("versionLine"))->text(), "Версия 2.3.1 (build 57)");
    auto* lastCheck = pane.findChild<QLabel*>(QStringLiteral("lastCheckLine"));
    EXPECT_EQ(lastCheck->text(), "Никогда не проверялось");
    const QString links = pane.findChild<QLabel*>(QStringLiteral("links"))->text();
    EXPECT_TRUE(links.contains("href=\"https://notes.example.org\""));
    EXPECT_TRUE(links.contains("href=\"mailto:support@notes.example.org\">Поддержка<"));

    writeLastCheckTime(m_store, QDateTime(QDate(2024, 12, 4), QTime(9, 5)));
    pane.refreshLastCheck();
    EXPECT_EQ(lastCheck->text(), "Проверено 4 декабря 2024, 09:05");

    QTest::mouseClick(pane.findChild<QPushButton*>(QStringLiteral("checkForUpdatesButton")), Qt::LeftButton);
    EXPECT_EQ(m_posted, QStringList{notifications::kCheckForUpdates});

    // A build without an update feed offers no check and says where updates come from.
    SettingsAboutPane packaged(m_store, m_notifications, {"2.3.1", "57", "https://palaverly.invalid/appcast.xml"});
    EXPECT_EQ(packaged.findChild<QPushButton*>(QStringLiteral("checkForUpdatesButton")), nullptr);
    EXPECT_EQ(packaged.findChild<QLabel*>(QStringLiteral("lastCheckLine")), nullptr);
    EXPECT_TRUE(packaged.findChild<QLabel*>(QStringLiteral("packageManagerLine"))->text().contains("менеджер пакетов"));
}

TEST(SettingsTextTest, SiteAndSupportComeFromTheFeedOrigin)
{
    using namespace settingsText;
    EXPECT_EQ(lastCheckedLine(QDateTime()), "Никогда не проверялось");
    EXPECT_EQ(siteUrl("https://palaverly.app/appcast.xml"), "https://palaverly.app");
    EXPECT_EQ(siteUrl("http://user@127.0.0.1:8080/feeds/appcast.xml?x=1"), "http://127.0.0.1:8080");
    EXPECT_EQ(supportUrl("https://palaverly.app/appcast.xml"), "mailto:support@palaverly.app");
    EXPECT_EQ(siteUrl("appcast.xml"), "");
    EXPECT_EQ(supportUrl(""), "");
}

TEST(LastCheckTimeTest, DatesSurviveTheStoreAndAnythingElseIsNoDate)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("palaverly.conf");
    const QDateTime at(QDate(2025, 3, 1), QTime(12, 30, 15), Qt::UTC);
    {
        QSettings store(file, QSettings::IniFormat);
        EXPECT_EQ(readLastCheckTime(store), std::nullopt);
        writeLastCheckTime(store, at);
    }
    QSettings store(file, QSettings::IniFormat);
    EXPECT_EQ(readLastCheckTime(store), at);
    store.setValue(kLastCheckTimeKey, "2025-03-01T12:30:15Z");
    EXPECT_EQ(readLastCheckTime(store), at);
    store.setValue(kLastCheckTimeKey, "yesterday");
    EXPECT_EQ(readLastCheckTime(store), std::nullopt);
}
