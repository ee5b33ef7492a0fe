#include "system/PortalKeyboard.h"

#include "common/Log.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QSettings>

Q_LOGGING_CATEGORY(lcPortalKeyboard, "PortalKeyboard")

namespace palaverly {

using portal::State;

namespace {

constexpr uint kKeyboardDevice = 1;
// Keep the permission until the user revokes it in the desktop's settings.
constexpr uint kPersistUntilRevoked = 2;
// The first version whose sessions can be restored with a token.
constexpr uint kRestorableVersion = 2;

} // namespace

PortalKeyboard::PortalKeyboard(QDBusConnection bus, QSettings* store, portal::Timeouts timeouts, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_store(store)
    , m_timeouts(timeouts)
{
    probe();
}

PortalKeyboard::~PortalKeyboard()
{
    portal::closeSession(m_bus, m_session);
}

// Whether the desktop offers the portal at all, and which version, so that the status can say so
// before the first paste.
void PortalKeyboard::probe()
{
    QDBusMessage get = QDBusMessage::createMethodCall(QLatin1String(portal::kService), QLatin1String(portal::kPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({QLatin1String(kInterface), QStringLiteral("version")});
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get, int(m_timeouts.answer.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        if (reply.isError()) {
            const bool silent
                = reply.error().type() == QDBusError::NoReply || reply.error().type() == QDBusError::Timeout;
            if (m_state == State::idle)
                setState(silent ? State::noAnswer : State::unavailable);
            log::info(lcPortalKeyboard(), QStringLiteral("No RemoteDesktop portal: %1").arg(reply.error().message()));
            return;
        }
        m_version = reply.value().variant().toUInt();
    });
}

void PortalKeyboard::request(std::function<void(bool)> done)
{
    switch (m_state) {
    case State::ready:
        done(true);
        return;
    case State::asking:
        m_waiting.push_back(std::move(done));
        return;
    case State::idle:
        m_waiting.push_back(std::move(done));
        start();
        return;
    default:
        done(false);
        return;
    }
}

void PortalKeyboard::askAgain(std::function<void(bool)> done)
{
    if (m_state == State::ready || m_state == State::asking) {
        request(std::move(done));
        return;
    }
    m_waiting.push_back(std::move(done));
    start();
}

void PortalKeyboard::start()
{
    setState(State::asking);
    const QVariantMap options{{QStringLiteral("session_handle_token"), portal::newToken()}};
    portal::request(m_bus, this, QLatin1String(kInterface), QStringLiteral("CreateSession"), {options},
        m_timeouts.answer, [this](const portal::Reply& reply) {
            if (reply.state != State::ready) {
                fail(reply, "CreateSession");
                return;
            }
            m_session = portal::objectPath(reply.results.value(QStringLiteral("session_handle")));
            m_bus.connect(QLatin1String(portal::kService), m_session, QLatin1String(portal::kSessionInterface),
                QStringLiteral("Closed"), this, SLOT(onSessionClosed(QDBusMessage)));
            selectDevices();
        });
}

void PortalKeyboard::selectDevices()
{
    QVariantMap options{{QStringLiteral("types"), kKeyboardDevice}};
    if (m_version >= kRestorableVersion) {
        options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        if (const QString token = m_store ? m_store->value(kRestoreTokenKey).toString() : QString(); !token.isEmpty())
            options.insert(QStringLiteral("restore_token"), token);
    }
    portal::request(m_bus, this, QLatin1String(kInterface), QStringLiteral("SelectDevices"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), options}, m_timeouts.answer,
        [this](const portal::Reply& reply) {
            if (reply.state != State::ready) {
                fail(reply, "SelectDevices");
                return;
            }
            startSession();
        });
}

void PortalKeyboard::startSession()
{
    portal::request(m_bus, this, QLatin1String(kInterface), QStringLiteral("Start"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), QString(), QVariantMap()}, m_timeouts.dialog,
        [this](const portal::Reply& reply) {
            if (reply.state != State::ready) {
                fail(reply, "Start");
                return;
            }
            if (!(reply.results.value(QStringLiteral("devices")).toUInt() & kKeyboardDevice)) {
                fail({State::failed, {}, QStringLiteral("the desktop gave no keyboard")}, "Start");
                return;
            }
            if (const QString token = reply.results.value(QStringLiteral("restore_token")).toString();
                !token.isEmpty() && m_store) {
                m_store->setValue(kRestoreTokenKey, token);
                m_store->sync();
            }
            log::info(lcPortalKeyboard(), QStringLiteral("RemoteDesktop keyboard ready"));
            setState(State::ready);
            settle(true);
        });
}

void PortalKeyboard::fail(const portal::Reply& reply, const char* step)
{
    log::error(
        lcPortalKeyboard(), QStringLiteral("RemoteDesktop %1 failed: %2").arg(QLatin1String(step), reply.detail));
    // A token the desktop no longer honours would fail every later run the same way.
    if (m_store && reply.state == State::failed)
        m_store->remove(kRestoreTokenKey);
    portal::closeSession(m_bus, m_session);
    m_session.clear();
    setState(reply.state);
    settle(false);
}

void PortalKeyboard::settle(bool ready)
{
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    for (const auto& done : waiting)
        if (done)
            done(ready);
}

void PortalKeyboard::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

void PortalKeyboard::onSessionClosed(const QDBusMessage& message)
{
    if (message.path() != m_session)
        return;
    log::info(lcPortalKeyboard(), QStringLiteral("The desktop closed the RemoteDesktop session"));
    m_session.clear();
    setState(State::idle); // the next paste asks again
}

bool PortalKeyboard::pressPaste(std::function<void()> sent)
{
    if (m_state != State::ready)
        return false;
    sendKeys({{kLeftControl, true}, {kV, true}, {kV, false}, {kLeftControl, false}}, std::move(sent));
    return true;
}

void PortalKeyboard::sendKeys(std::vector<std::pair<int, bool>> keys, std::function<void()> sent)
{
    if (keys.empty()) {
        if (sent)
            sent();
        return;
    }
    const auto [keyCode, pressed] = keys.front();
    keys.erase(keys.begin());
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(portal::kService), QLatin1String(portal::kPath),
        QLatin1String(kInterface), QStringLiteral("NotifyKeyboardKeycode"));
    message.setArguments({QVariant::fromValue(QDBusObjectPath(m_session)), QVariantMap(), keyCode, uint(pressed)});
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, int(m_timeouts.answer.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, watcher, keys = std::move(keys), sent = std::move(sent)]() mutable {
            watcher->deleteLater();
            // A key the portal refused is still followed by the rest, so no key is left down.
            sendKeys(std::move(keys), std::move(sent));
        });
}

} // namespace palaverly
