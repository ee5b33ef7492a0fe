// The updater against a real HTTP server on 127.0.0.1 serving the feed, with a scripted user in
// place of the windows; the console lines are the product here, so they are compared whole.
#include "updater/Updater.h"
#include "system/AppSettings.h"
#include "system/NotificationCenter.h"
#include "updater/LastCheckTime.h"
#include "updater/UpdateUserDriver.h"
#include "updater/UpdaterLogger.h"

#include "FakeHttpServer.h"
#include "LogCapture.h"
#include "QtWait.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <mutex>

using namespace palaverly;
using namespace palaverly::test;

namespace {

const char* const kFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Palaverly</title>
    <item>
      <title>Palaverly 1.9</title>
      <enclosure url="https://palaverly.invalid/releases/palaverly_1.9_amd64.deb" sparkle:version="1.9"
                 sparkle:shortVersionString="1.9" length="1000" type="application/vnd.debian.binary-package"/>
    </item>
    <item>
      <title>Palaverly 2.1</title>
      <link>https://palaverly.invalid/releases/2.1</link>
      <sparkle:version>2.1</sparkle:version>
      <sparkle:shortVersionString>2.1</sparkle:shortVersionString>
      <enclosure url="https://palaverly.invalid/releases/palaverly_2.1_amd64.deb" length="1000"
                 type="application/vnd.debian.binary-package"/>
    </item>
  </channel>
</rss>
)";

// Stands in for the person in front of the screen: looks or does not, answers offers at once.
class ScriptedUser : public UpdateUserDriver {
public:
    bool looking = false;
    Choice answer = Choice::later;
    QStringList seen;
    QStringList opened;

    bool isInImmediateFocus() override { return looking; }
    void showUpdateFound(const AppcastItem& item, std::function<void(Choice)> reply) override
    {
        seen << "update " + item.displayVersionString;
        reply(answer);
    }
    void showUpToDate(std::function<void()> acknowledged) override
    {
        seen << "up to date";
        acknowledged();
    }
    void showCheckFailed(const QString& message, std::function<void()> acknowledged) override
    {
        seen << "failed: " + message;
        acknowledged();
    }
    void openUrl(const QString& url) override { opened << url; }
};

class UpdaterTest : public ::testing::Test {
protected:
    UpdaterTest()
        : m_server({[this](const RecordedRequest&) {
                        std::lock_guard lock(m_mutex);
                        return m_answer;
                    },
            {}})
        , m_store(m_dir.filePath("palaverly.conf"), QSettings::IniFormat)
        , m_settings(m_store, m_notifications)
    {
        for (const char* name : {notifications::kUpdateAvailable, notifications::kUpdateDismissed}) {
            m_notifications.addObserver(name, &m_notifications, [this, name](const QVariantMap& info) {
                m_posted << QString::fromLatin1(name).section(u'.', 1) + info.value("version").toString();
            });
        }
        serve(FakeAnswer::reply(200, kFeed, "application/rss+xml"));
    }

    void serve(FakeAnswer answer)
    {
        std::lock_guard lock(m_mutex);
        m_answer = std::move(answer);
    }

    QString feedUrl() const { return QString::fromStdString(m_server.baseUrl()) + "/appcast.xml"; }

    std::unique_ptr<Updater> makeUpdater(const QString& runningVersion, UpdaterLogger& logger)
    {
        Updater::Options options = Updater::defaultOptions();
        options.runningVersion = runningVersion;
        options.now = [this] { return m_now; };
        return std::make_unique<Updater>(m_store, m_settings, logger, m_user, options);
    }

    // The updater's console lines since the last call.
    QStringList takeLines()
    {
        QStringList lines;
        for (const QString& line : m_log.messages("default")) {
            if (line.startsWith("[Updater]"))
                lines << line;
        }
        m_log.clear();
        return lines;
    }

    static void check(Updater& updater, bool userInitiated)
    {
        int finished = 0;
        QObject::connect(&updater, &Updater::checkFinished, [&] { ++finished; });
        if (userInitiated)
            updater.checkForUpdates();
        else
            updater.checkInBackground();
        ASSERT_TRUE(waitUntil([&] { return finished > 0; }));
    }

    LogCapture m_log;
    std::mutex m_mutex;
    FakeAnswer m_answer;
    FakeHttpServer m_server;
    QTemporaryDir m_dir;
    QSettings m_store;
    NotificationCenter m_notifications;
    AppSettings m_settings;
    ScriptedUser m_user;
    QStringList m_posted;
    QDateTime m_now{QDate(2025, 6, 2), QTime(10, 0), Qt::UTC};
};

} // namespace

TEST_F(UpdaterTest, AScheduledCheckLeavesANewerReleaseWaitingUntilTheUserLooks)
{
    UpdaterLogger logger(m_notifications, feedUrl());
    auto updater = makeUpdater("2.0", logger);
    EXPECT_EQ(takeLines(), QStringList{"[Updater] UpdaterLogger initialised"});

    // Never checked: the first check is due at once.
    updater->start();
    EXPECT_EQ(takeLines(), QStringList{"[Updater] willScheduleUpdateCheckAfterDelay: 0s"});
    ASSERT_TRUE(waitUntil([&] { return updater->pendingUpdate().has_value(); }));
    EXPECT_EQ(takeLines(),
        (QStringList{
            "[Updater] feedURLString → " + feedUrl(),
            "[Updater] didFinishLoading appcast: 2 items [1.9, 2.1]",
            "[Updater] didFindValidUpdate: version=2.1 short=2.1",
            "[Updater] shouldHandleShowingScheduledUpdate: immediateFocus=no",
            "[Updater] willHandleShowingUpdate: handle=no userInitiated=no version=2.1",
            "[Updater] willScheduleUpdateCheckAfterDelay: 86400s",
        }));
    EXPECT_EQ(m_posted, QStringList{"updateAvailable2.1"});
    EXPECT_TRUE(m_user.seen.isEmpty());
    EXPECT_EQ(readLastCheckTime(m_store), m_now);
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/appcast.xml");
    EXPECT_EQ(requests[0].header("User-Agent").value_or("").rfind("Palaverly/", 0), 0u);

    // The user picks the menu's update line: a check of their own shows the release.
    m_posted.clear();
    m_user.answer = UpdateUserDriver::Choice::openDownloadPage;
    check(*updater, true);
    EXPECT_EQ(takeLines(),
        (QStringList{
            "[Updater] feedURLString → " + feedUrl(),
            "[Updater] didFinishLoading appcast: 2 items [1.9, 2.1]",
            "[Updater] didFindValidUpdate: version=2.1 short=2.1",
            "[Updater] willHandleShowingUpdate: handle=yes userInitiated=yes version=2.1",
            "[Updater] didReceiveUserAttention",
            "[Updater] willDownloadUpdate: https://palaverly.invalid/releases/2.1",
            "[Updater] willFinishUpdateSession",
            "[Updater] willScheduleUpdateCheckAfterDelay: 86400s",
        }));
    EXPECT_EQ(m_posted, (QStringList{"updateDismissed", "updateDismissed"}));
    EXPECT_EQ(m_user.seen, QStringList{"update 2.1"});
    EXPECT_EQ(m_user.opened, QStringList{"https://palaverly.invalid/releases/2.1"});
    EXPECT_FALSE(updater->pendingUpdate());
}

TEST_F(UpdaterTest, AWaitingReleaseIsShownOnTheNextScheduledCheckWhileTheUserLooks)
{
    UpdaterLogger logger(m_notifications, feedUrl());
    auto updater = makeUpdater("2.0", logger);
    check(*updater, false);
    ASSERT_TRUE(updater->pendingUpdate());
    takeLines();
    m_posted.clear();

    m_user.looking = true;
    check(*updater, false);
    EXPECT_EQ(m_server.requestCount(), 1u); // offered again without downloading the feed
    EXPECT_EQ(takeLines(),
        (QStringList{
            "[Updater] shouldHandleShowingScheduledUpdate: immediateFocus=yes",
            "[Updater] willHandleShowingUpdate: handle=yes userInitiated=no version=2.1",
            "[Updater] didReceiveUserAttention",
            "[Updater] willFinishUpdateSession",
        }));
    EXPECT_EQ(m_user.seen, QStringList{"update 2.1"});
    EXPECT_TRUE(m_user.opened.isEmpty()); // "Позже"
    EXPECT_EQ(m_posted, (QStringList{"updateDismissed", "updateDismissed"}));
}

TEST_F(UpdaterTest, TheRunningVersionIsNoUpdate)
{
    UpdaterLogger logger(m_notifications, feedUrl());
    auto updater = makeUpdater("2.1", logger);
    takeLines();
    check(*updater, false);
    EXPECT_EQ(takeLines(),
        (QStringList{
            "[Updater] feedURLString → " + feedUrl(),
            "[Updater] didFinishLoading appcast: 2 items [1.9, 2.1]",
            "[Updater] updaterDidNotFindUpdate (running version is current)",
            "[Updater] willFinishUpdateSession",
        }));
    EXPECT_TRUE(m_user.seen.isEmpty());

    check(*updater, true);
    EXPECT_EQ(takeLines(),
        (QStringList{
            "[Updater] feedURLString → " + feedUrl(),
            "[Updater] didFinishLoading appcast: 2 items [1.9, 2.1]",
            "[Updater] updaterDidNotFindUpdate (running version is current)",
            "[Updater] UI: willShowModalAlert",
            "[Updater] UI: didShowModalAlert",
            "[Updater] willFinishUpdateSession",
        }));
    EXPECT_EQ(m_user.seen, QStringList{"up to date"});
    EXPECT_FALSE(m_posted.contains("updateAvailable2.1"));
}

TEST_F(UpdaterTest, FailuresGiveTheErrorReport)
{
    UpdaterLogger logger(m_notifications, feedUrl());
    auto updater = makeUpdater("2.0", logger);
    takeLines();

    serve(FakeAnswer::reply(200, R"(<rss version="2.0"><channel><item><title>Palaverly)", "application/rss+xml"));
    check(*updater, true);
    QStringList lines = takeLines();
    ASSERT_EQ(lines.size(), 10) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(0, 6),
        (QStringList{
            "[Updater] feedURLString → " + feedUrl(),
            "[Updater] ✘ didAbortWithError",
            "[Updater]   domain  = org.quorvane.palaverly.updater",
            "[Updater]   code    = 1000",
            "[Updater]   message = Не удалось разобрать ленту обновлений.",
            "[Updater]   userInfo[feedURL] = " + feedUrl(),
        }));
    EXPECT_TRUE(lines[6].startsWith("[Updater]   underlying[1]: domain=QXmlStreamReader code="))
        << lines[6].toStdString();
    EXPECT_TRUE(lines[6].contains(" — строка 1, столбец ")) << lines[6].toStdString();
    EXPECT_EQ(lines.mid(7),
        (QStringList{"[Updater] UI: willShowModalAlert", "[Updater] UI: didShowModalAlert",
            "[Updater] willFinishUpdateSession"}));
    EXPECT_EQ(m_user.seen, QStringList{"failed: Не удалось разобрать ленту обновлений. Лента обновлений повреждена."});
    EXPECT_EQ(readLastCheckTime(m_store), m_now); // a failed check is still a check

    serve(FakeAnswer::reply(404, "not here", "text/plain"));
    check(*updater, false);
    lines = takeLines();
    EXPECT_TRUE(lines.contains("[Updater]   code    = 1002"));
    EXPECT_TRUE(lines.contains("[Updater]   message = Не удалось загрузить ленту обновлений."));
    EXPECT_TRUE(lines.contains("[Updater]   underlying[1]: domain=HTTP code=404 — Сервер ответил кодом 404"));
    EXPECT_EQ(m_user.seen.size(), 1); // nobody asked, so no window

    serve(FakeAnswer::reply(200, "<html><body>Not a feed</body></html>", "text/html"));
    check(*updater, false);
    lines = takeLines();
    EXPECT_TRUE(lines.contains("[Updater]   code    = 1000"));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
        [](const QString& line) { return line.contains("корневой элемент <html> вместо <rss>"); }));

    // Nothing listens any more: a transfer error with libcurl's code.
    QString deadUrl;
    {
        FakeHttpServer gone({[](const RecordedRequest&) { return FakeAnswer::reply(200, ""); }, {}});
        deadUrl = QString::fromStdString(gone.baseUrl()) + "/appcast.xml";
    }
    UpdaterLogger deadLogger(m_notifications, deadUrl);
    check(*makeUpdater("2.0", deadLogger), false);
    lines = takeLines();
    EXPECT_TRUE(lines.contains("[Updater]   code    = 1002"));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) {
        return line.startsWith("[Updater]   underlying[1]: domain=libcurl code=7 — ");
    })) << lines.join('\n').toStdString();
}

TEST_F(UpdaterTest, ScheduledChecksFollowTheSwitchAndTheLastCheck)
{
    UpdaterLogger logger(m_notifications, feedUrl());
    auto updater = makeUpdater("2.0", logger);
    m_settings.setAutoCheckUpdates(false);
    takeLines();
    updater->start();
    EXPECT_FALSE(updater->isCheckScheduled());
    EXPECT_TRUE(takeLines().isEmpty());

    writeLastCheckTime(m_store, m_now.addSecs(-23 * 3600));
    m_settings.setAutoCheckUpdates(true);
    EXPECT_TRUE(updater->isCheckScheduled());
    EXPECT_EQ(takeLines(), QStringList{"[Updater] willScheduleUpdateCheckAfterDelay: 3600s"});

    m_settings.setAutoCheckUpdates(false);
    EXPECT_FALSE(updater->isCheckScheduled());

    writeLastCheckTime(m_store, m_now.addSecs(3 * 24 * 3600)); // the clock was turned back
    EXPECT_EQ(updater->nextCheckDelay(), std::chrono::seconds(86400));
    writeLastCheckTime(m_store, m_now.addSecs(-40 * 24 * 3600));
    EXPECT_EQ(updater->nextCheckDelay(), std::chrono::seconds(0));
    EXPECT_EQ(m_server.requestCount(), 0u);

    // A build without a feed never looks, whether scheduled or asked.
    UpdaterLogger packaged(m_notifications, "https://palaverly.invalid/appcast.xml");
    auto none = makeUpdater("2.0", packaged);
    m_settings.setAutoCheckUpdates(true);
    takeLines();
    none->start();
    none->checkForUpdates();
    none->checkInBackground();
    EXPECT_FALSE(none->hasFeed());
    EXPECT_FALSE(none->isCheckScheduled());
    EXPECT_FALSE(none->isChecking());
    EXPECT_TRUE(takeLines().isEmpty());
}

TEST(UpdaterLoggerTest, LinesOfTheEventsTheUpdaterDoesNotReachOnItsOwn)
{
    LogCapture log;
    NotificationCenter notifications;
    UpdaterLogger logger(notifications, "https://palaverly.invalid/appcast.xml");
    const AppcastItem item{"Palaverly 3.0", "300", "3.0", "", ""};
    logger.willDownloadUpdate(item, std::nullopt);
    logger.didDownloadUpdate(item);
    logger.willInstallUpdate(item);
    EXPECT_TRUE(logger.supportsGentleScheduledUpdateReminders());
    UpdaterLogger::writeLine("checkUpdatesAction invoked");

    // Five errors deep: the report stops after four underlying ones.
    std::shared_ptr<const UpdateError> chain;
    for (int depth = 5; depth >= 1; --depth)
        chain = std::make_shared<UpdateError>(UpdateError{"level", depth, QString("уровень %1").arg(depth), {}, chain});
    logger.didAbortWithError(UpdateError{"top", -1, "сверху", {{"a", "1"}, {"b", "2"}}, chain});

    EXPECT_EQ(log.messages("default"),
        (std::vector<QString>{
            "[Updater] UpdaterLogger initialised",
            "[Updater] willDownloadUpdate: ?",
            "[Updater] didDownloadUpdate: 300",
            "[Updater] willInstallUpdate: 300",
            "[Updater] checkUpdatesAction invoked",
            "[Updater] ✘ didAbortWithError",
            "[Updater]   domain  = top",
            "[Updater]   code    = -1",
            "[Updater]   message = сверху",
            "[Updater]   userInfo[a] = 1",
            "[Updater]   userInfo[b] = 2",
            "[Updater]   underlying[1]: domain=level code=1 — уровень 1",
            "[Updater]   underlying[2]: domain=level code=2 — уровень 2",
            "[Updater]   underlying[3]: domain=level code=3 — уровень 3",
            "[Updater]   underlying[4]: domain=level code=4 — уровень 4",
        }));
}
