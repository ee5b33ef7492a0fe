#pragma once

#include "updater/Appcast.h"

#include <QString>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace palaverly {

class NotificationCenter;

// A failure of the updater in the shape the error report prints: what failed (domain, code,
// message), extra facts, and the failure underneath it, if any.
struct UpdateError {
    QString domain;
    qint64 code = 0;
    QString message;
    std::vector<std::pair<QString, QString>> userInfo;
    std::shared_ptr<const UpdateError> underlying;
};

// The updater's event points. Each writes one console line starting "[Updater]" (plain console
// logging, not a class category); the points about showing an update also announce through the
// notification centre when an update waits for the user ("palaverly.updateAvailable" with
// {"version": display version}) and when that is over ("palaverly.updateDismissed"). Holds no
// state. Main thread.
class UpdaterLogger {
public:
    static constexpr char kPrefix[] = "[Updater]";

    // Writes "initialised". `feedUrl` is the address feedURLString() hands out.
    explicit UpdaterLogger(NotificationCenter& notifications, QString feedUrl = compiledFeedUrl());
    UpdaterLogger(const UpdaterLogger&) = delete;
    UpdaterLogger& operator=(const UpdaterLogger&) = delete;

    static QString compiledFeedUrl();
    // One console line: the prefix, a space, `text`. Any thread.
    static void writeLine(const QString& text);

    QString feedURLString();
    // The same address, without a log line.
    const QString& feedUrl() const { return m_feedUrl; }
    void willScheduleUpdateCheckAfterDelay(double seconds);
    void didFinishLoadingAppcast(const std::vector<AppcastItem>& items);
    void didFindValidUpdate(const AppcastItem& item);
    void didNotFindUpdate();
    // `requestUrl` is the address being fetched; "?" is written when there is none.
    void willDownloadUpdate(const AppcastItem& item, const std::optional<QString>& requestUrl);
    void didDownloadUpdate(const AppcastItem& item);
    void willInstallUpdate(const AppcastItem& item);
    // The error report: the error, its facts and at most four underlying errors.
    void didAbortWithError(const UpdateError& error);

    void willShowModalAlert();
    void didShowModalAlert();
    bool supportsGentleScheduledUpdateReminders() const { return true; }
    // Returns `immediateFocus`: an update found by a scheduled check is shown at once only while
    // the user is looking at the program; otherwise it waits behind the menu's update line.
    bool shouldHandleShowingScheduledUpdate(const AppcastItem& item, bool immediateFocus);
    void willHandleShowingUpdate(bool handle, const AppcastItem& item, bool userInitiated);
    void didReceiveUserAttention(const AppcastItem& item);
    void willFinishUpdateSession();

    static constexpr int kMaxUnderlyingErrors = 4;

private:
    NotificationCenter& m_notifications;
    QString m_feedUrl;
};

} // namespace palaverly
