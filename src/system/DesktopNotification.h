#pragma once

#include <QDBusConnection>
#include <QString>

namespace palaverly {

// Shows a notification through the desktop's notification server (org.freedesktop.Notifications)
// on `bus`. Nobody waits for the answer; without a server nothing is shown. Main thread.
void showDesktopNotification(
    const QString& summary, const QString& body, QDBusConnection bus = QDBusConnection::sessionBus());

} // namespace palaverly
