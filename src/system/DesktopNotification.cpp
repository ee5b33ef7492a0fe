#include "system/DesktopNotification.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace palaverly {

void showDesktopNotification(const QString& summary, const QString& body, QDBusConnection bus)
{
    QDBusMessage notify = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("palaverly")}};
    notify.setArguments(
        {QStringLiteral("Palaverly"), uint(0), QStringLiteral("palaverly"), summary, body, QStringList(), hints, -1});
    bus.asyncCall(notify);
}

} // namespace palaverly
