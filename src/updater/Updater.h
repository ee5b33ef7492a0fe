#pragma once

#include "updater/Appcast.h"
#include "updater/AppcastFetcher.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

class QSettings;

namespace palaverly {

class AppSettings;
class BackgroundJob;
class UpdateUserDriver;
class UpdaterLogger;
struct UpdateError;

// Looks for newer releases in the update feed and offers them. A check downloads the feed on a
// background thread, picks the item with the highest version and compares it with the running
// build number. A check the user asked for always answers in a window. A scheduled check shows a
// found release only while the user is looking at the program; otherwise the release waits
// ("palaverly.updateAvailable", posted through the logger) until the user's next check looks at
// it. Scheduled checks run while AppSettings::autoCheckUpdates is on, one check interval after
// the last check ("SULastCheckTime"). Every event goes through UpdaterLogger. Main thread; the
// objects passed in must outlive the updater.
class Updater : public QObject {
    Q_OBJECT
public:
    using Fetch = std::function<AppcastFetch(const std::string& url, std::stop_token stop)>;

    static constexpr std::chrono::seconds kDefaultCheckInterval{24 * 60 * 60};

    struct Options {
        // The build number releases are compared with.
        QString runningVersion;
        std::chrono::seconds checkInterval = kDefaultCheckInterval;
        // The current time; the system clock when empty.
        std::function<QDateTime()> now;
        // Downloads the feed (off the main thread); AppcastFetch::get when empty.
        Fetch fetch;
    };
    // The compiled-in build number and the defaults above.
    static Options defaultOptions();

    Updater(QSettings& store, AppSettings& settings, UpdaterLogger& logger, UpdateUserDriver& driver,
        Options options = defaultOptions(), QObject* parent = nullptr);
    ~Updater() override;

    // False for a build without an update feed (the placeholder address): it is updated by the
    // package manager, and no check of any kind is made.
    bool hasFeed() const;
    // Schedules the first automatic check (when automatic checks are on and there is a feed).
    // Called once at launch.
    void start();
    // A check the user asked for ("Проверить обновления…"); nothing without a feed.
    void checkForUpdates();
    // A scheduled check; the timer calls it. While a release already waits for the user it is
    // offered again instead of downloading the feed.
    void checkInBackground();

    bool isChecking() const { return m_job != nullptr; }
    bool isCheckScheduled() const { return m_timer.isActive(); }
    // The release that waits for the user, if any.
    const std::optional<AppcastItem>& pendingUpdate() const { return m_pending; }
    // Time until the next scheduled check: the interval minus the time since the last check,
    // within 0 and the interval.
    std::chrono::seconds nextCheckDelay() const;

signals:
    // A check has been handled up to the point where only the user's answer is missing.
    void checkFinished();

private:
    void startCheck(bool userInitiated);
    void finishCheck(const QString& feedUrl, AppcastFetch fetch);
    void abort(bool userInitiated, const UpdateError& error);
    void present(const AppcastItem& item, bool userInitiated);
    void showUpdate(const AppcastItem& item);
    void showAlert(bool failed, const QString& message);
    void endSession();
    void scheduleNext();
    QDateTime now() const;

    QSettings& m_store;
    AppSettings& m_settings;
    UpdaterLogger& m_logger;
    UpdateUserDriver& m_driver;
    Options m_options;
    QTimer m_timer;
    bool m_started = false;
    // The running check answers in a window (the user asked, possibly while it ran).
    bool m_userInitiated = false;
    // A window of ours (update offer or alert) waits for the user.
    bool m_windowOpen = false;
    std::optional<AppcastItem> m_pending;
    std::unique_ptr<BackgroundJob> m_job;
};

} // namespace palaverly
