#include "system/PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QTimer>
#include <atomic>

namespace palaverly::portal {

namespace {

constexpr char kRequestInterface[] = "org.freedesktop.portal.Request";

// The error names a bus or an object gives for a method nobody offers.
bool meansUnavailable(const QString& errorName)
{
    return errorName == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")
        || errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface")
        || errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")
        || errorName == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

// The path the portal gives the request made with `token`: our unique bus name without the colon
// and with its dots as underscores. Listening there before the call means a quick Response cannot
// be missed.
QString requestPath(const QDBusConnection& bus, const QString& token)
{
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/request/%2/%3").arg(QLatin1String(kPath), sender, token);
}

} // namespace

// One call and its Response; deletes itself when done.
class PendingRequest : public QObject {
    Q_OBJECT
public:
    PendingRequest(const QDBusConnection& bus, QObject* context, std::function<void(const Reply&)> done)
        : QObject(context)
        , m_bus(bus)
        , m_done(std::move(done))
    {
    }

    void start(QDBusMessage message, const QString& token, std::chrono::milliseconds timeout)
    {
        listen(requestPath(m_bus, token));
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] {
            if (!m_path.isEmpty()) {
                m_bus.asyncCall(QDBusMessage::createMethodCall(
                    QLatin1String(kService), m_path, QLatin1String(kRequestInterface), QStringLiteral("Close")));
            }
            finish({State::noAnswer, {}, QStringLiteral("no answer")});
        });
        m_deadline.start(timeout);
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, int(timeout.count())), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
            watcher->deleteLater();
            if (m_finished)
                return;
            const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
            if (reply.isError()) {
                const QDBusError error = reply.error();
                const State state = error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout
                    ? State::noAnswer
                    : meansUnavailable(error.name()) ? State::unavailable
                                                     : State::failed;
                finish({state, {}, error.name() + QStringLiteral(": ") + error.message()});
                return;
            }
            // Portals older than the handle_token convention choose the path themselves.
            if (const QString path = reply.value().path(); path != m_path)
                listen(path);
        });
    }

public slots:
    void response(uint code, const QVariantMap& results)
    {
        switch (code) {
        case 0:
            finish({State::ready, results, {}});
            break;
        case 1:
            finish({State::refused, results, QStringLiteral("cancelled by the user")});
            break;
        default:
            finish({State::failed, results, QStringLiteral("response %1").arg(code)});
            break;
        }
    }

private:
    void listen(const QString& path)
    {
        if (!m_path.isEmpty())
            m_bus.disconnect(QLatin1String(kService), m_path, QLatin1String(kRequestInterface),
                QStringLiteral("Response"), this, SLOT(response(uint, QVariantMap)));
        m_path = path;
        m_bus.connect(QLatin1String(kService), m_path, QLatin1String(kRequestInterface), QStringLiteral("Response"),
            this, SLOT(response(uint, QVariantMap)));
    }

    void finish(const Reply& reply)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_deadline.stop();
        m_bus.disconnect(QLatin1String(kService), m_path, QLatin1String(kRequestInterface), QStringLiteral("Response"),
            this, SLOT(response(uint, QVariantMap)));
        deleteLater();
        if (m_done)
            m_done(reply);
    }

    QDBusConnection m_bus;
    std::function<void(const Reply&)> m_done;
    QString m_path;
    QTimer m_deadline;
    bool m_finished = false;
};

void request(const QDBusConnection& bus, QObject* context, const QString& interface, const QString& method,
    QVariantList arguments, std::chrono::milliseconds timeout, std::function<void(const Reply&)> done)
{
    const QString token = newToken();
    if (!arguments.isEmpty()) {
        QVariantMap options = arguments.last().toMap();
        options.insert(QStringLiteral("handle_token"), token);
        arguments.last() = options;
    }
    QDBusMessage message
        = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath), interface, method);
    message.setArguments(arguments);
    auto* pending = new PendingRequest(bus, context, std::move(done));
    pending->start(message, token, timeout);
}

void closeSession(const QDBusConnection& bus, const QString& sessionHandle)
{
    if (sessionHandle.isEmpty())
        return;
    QDBusConnection(bus).asyncCall(QDBusMessage::createMethodCall(
        QLatin1String(kService), sessionHandle, QLatin1String(kSessionInterface), QStringLiteral("Close")));
}

QString objectPath(const QVariant& value)
{
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

QString newToken()
{
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("palaverly_%1").arg(++counter);
}

} // namespace palaverly::portal

#include "PortalRequest.moc"
