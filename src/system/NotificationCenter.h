#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

namespace palaverly {

// Names of the in-process notifications.
namespace notifications {
inline constexpr char kHotkeysChanged[] = "palaverly.hotkeysChanged";
inline constexpr char kOpenSettings[] = "palaverly.openSettings";
inline constexpr char kOpenOnboarding[] = "palaverly.openOnboarding";
inline constexpr char kCheckForUpdates[] = "palaverly.checkForUpdates";
inline constexpr char kUpdateAvailable[] = "palaverly.updateAvailable";
inline constexpr char kUpdateDismissed[] = "palaverly.updateDismissed";
} // namespace notifications

// Broadcasts named notifications with an optional map of values to whoever observes the name.
// One instance is created at start-up and handed to everything that posts or observes.
// Lives on the main thread.
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    using Observer = std::function<void(const QVariantMap& userInfo)>;

    explicit NotificationCenter(QObject* parent = nullptr);

    // Any thread. Observers of `name` run on their context's thread: at once when posted from
    // that thread (in the order they were added), later through its event loop otherwise.
    void post(const QString& name, const QVariantMap& userInfo = {});

    // Main thread. The observer stays until `context` is destroyed or the returned connection is
    // disconnected with removeObserver().
    QMetaObject::Connection addObserver(const QString& name, const QObject* context, Observer observer);
    static void removeObserver(const QMetaObject::Connection& token);

signals:
    void posted(const QString& name, const QVariantMap& userInfo);
};

} // namespace palaverly
