#include "system/NotificationCenter.h"

#include "QtWait.h"

#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace palaverly;

TEST(NotificationCenterTest, ObserversGetTheirNameWithItsValuesUntilRemovedOrTheirContextDies)
{
    NotificationCenter center;
    QStringList seen;
    QObject owner;
    auto shortLived = std::make_unique<QObject>();
    center.addObserver(notifications::kUpdateAvailable, &owner,
        [&](const QVariantMap& info) { seen << "owner " + info.value("version").toString(); });
    const auto token
        = center.addObserver(notifications::kOpenSettings, &owner, [&](const QVariantMap&) { seen << "settings"; });
    center.addObserver(notifications::kUpdateAvailable, shortLived.get(), [&](const QVariantMap&) { seen << "short"; });

    center.post(notifications::kUpdateAvailable, {{"version", "1.2"}});
    center.post(notifications::kOpenSettings);
    center.post(notifications::kOpenOnboarding);
    EXPECT_EQ(seen, QStringList({"owner 1.2", "short", "settings"})); // at once, in order

    seen.clear();
    shortLived.reset();
    NotificationCenter::removeObserver(token);
    center.post(notifications::kUpdateAvailable, {{"version", "1.3"}});
    center.post(notifications::kOpenSettings);
    EXPECT_EQ(seen, QStringList({"owner 1.3"}));
}

TEST(NotificationCenterTest, PostsFromOtherThreadsAreDeliveredOnTheMainThread)
{
    NotificationCenter center;
    QObject owner;
    int delivered = 0;
    bool onMainThread = true;
    center.addObserver(notifications::kCheckForUpdates, &owner, [&](const QVariantMap&) {
        ++delivered;
        onMainThread = onMainThread && QThread::currentThread() == owner.thread();
    });
    std::thread([&] {
        center.post(notifications::kCheckForUpdates);
        center.post(notifications::kUpdateDismissed);
    }).join();
    EXPECT_EQ(delivered, 0); // not before the main loop runs
    EXPECT_TRUE(test::waitUntil([&] { return delivered == 1; }));
    EXPECT_TRUE(onMainThread);
}
