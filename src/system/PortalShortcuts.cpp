#include "system/PortalShortcuts.h"

#include "common/Log.h"
#include "system/PortalTrigger.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcPortalShortcuts, "PortalShortcuts")

namespace palaverly::portal {

// One entry of the portal's a(sa{sv}) shortcut lists.
struct ShortcutEntry {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const ShortcutEntry& entry)
{
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ShortcutEntry& entry)
{
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

} // namespace palaverly::portal

Q_DECLARE_METATYPE(palaverly::portal::ShortcutEntry)

namespace palaverly {

using portal::ShortcutEntry;
using portal::State;

namespace {

constexpr char kActivated[] = "Activated";
constexpr char kDeactivated[] = "Deactivated";
constexpr char kShortcutsChanged[] = "ShortcutsChanged";

} // namespace

PortalShortcuts::PortalShortcuts(QDBusConnection bus, portal::Timeouts timeouts, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_timeouts(timeouts)
{
    qDBusRegisterMetaType<ShortcutEntry>();
    qDBusRegisterMetaType<QList<ShortcutEntry>>();
    const QString service = QLatin1String(portal::kService);
    const QString path = QLatin1String(portal::kPath);
    const QString interface = QLatin1String(kInterface);
    m_bus.connect(service, path, interface, QLatin1String(kActivated), this, SLOT(onActivated(QDBusMessage)));
    m_bus.connect(service, path, interface, QLatin1String(kDeactivated), this, SLOT(onDeactivated(QDBusMessage)));
    m_bus.connect(
        service, path, interface, QLatin1String(kShortcutsChanged), this, SLOT(onShortcutsChanged(QDBusMessage)));
}

PortalShortcuts::~PortalShortcuts()
{
    portal::closeSession(m_bus, m_session);
}

void PortalShortcuts::setShortcut(const QString& id, const QString& description, const HotkeyConfig& hotkey)
{
    const auto it = m_shortcuts.find(id);
    if (!hotkey.isAssigned()) {
        if (it == m_shortcuts.end())
            return;
        m_shortcuts.erase(it);
    } else {
        if (it != m_shortcuts.end() && it->second.hotkey == hotkey && it->second.description == description)
            return;
        m_shortcuts[id] = {description, hotkey};
    }
    scheduleBind();
}

void PortalShortcuts::rebind()
{
    bind();
}

bool PortalShortcuts::isBound(const QString& id) const
{
    return m_state == State::ready && m_triggers.contains(id);
}

QString PortalShortcuts::triggerDescription(const QString& id) const
{
    const auto it = m_triggers.find(id);
    return it == m_triggers.end() ? QString() : it->second;
}

void PortalShortcuts::scheduleBind()
{
    if (m_bindScheduled)
        return;
    m_bindScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_bindScheduled = false;
        bind();
    });
}

void PortalShortcuts::bind()
{
    if (m_busy) {
        m_changedWhileBusy = true;
        return;
    }
    // A new session for every change: a session binds its shortcuts once on some desktops.
    portal::closeSession(m_bus, m_session);
    m_session.clear();
    if (!m_triggers.empty()) {
        m_triggers.clear();
        emit triggersChanged();
    }
    if (m_shortcuts.empty()) {
        setState(State::idle);
        return;
    }
    m_busy = true;
    setState(State::asking);
    const QVariantMap options{{QStringLiteral("session_handle_token"), portal::newToken()}};
    portal::request(m_bus, this, QLatin1String(kInterface), QStringLiteral("CreateSession"), {options},
        m_timeouts.answer, [this](const portal::Reply& reply) {
            if (reply.state != State::ready) {
                finished(reply, "CreateSession");
                return;
            }
            bindInSession(portal::objectPath(reply.results.value(QStringLiteral("session_handle"))));
        });
}

void PortalShortcuts::bindInSession(const QString& session)
{
    m_session = session;
    QList<ShortcutEntry> entries;
    for (const auto& [id, shortcut] : m_shortcuts) {
        QVariantMap properties{{QStringLiteral("description"), shortcut.description}};
        if (const QString trigger = portalTrigger(shortcut.hotkey); !trigger.isEmpty())
            properties.insert(QStringLiteral("preferred_trigger"), trigger);
        entries.push_back({id, properties});
    }
    const QVariantList arguments{
        QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(entries), QString(), QVariantMap()};
    portal::request(m_bus, this, QLatin1String(kInterface), QStringLiteral("BindShortcuts"), arguments,
        m_timeouts.dialog, [this](const portal::Reply& reply) {
            if (reply.state == State::ready)
                takeTriggers(reply.results.value(QStringLiteral("shortcuts")));
            finished(reply, "BindShortcuts");
        });
}

void PortalShortcuts::finished(const portal::Reply& reply, const char* step)
{
    m_busy = false;
    if (reply.state == State::ready) {
        QStringList bound;
        for (const auto& [id, trigger] : m_triggers)
            bound << id + QStringLiteral(" = ") + (trigger.isEmpty() ? QStringLiteral("?") : trigger);
        log::info(lcPortalShortcuts(),
            QStringLiteral("Global shortcuts bound through the desktop portal: %1")
                .arg(bound.join(QStringLiteral(", "))));
    } else {
        log::error(lcPortalShortcuts(),
            QStringLiteral("GlobalShortcuts %1 failed: %2").arg(QLatin1String(step), reply.detail));
        portal::closeSession(m_bus, m_session);
        m_session.clear();
    }
    setState(reply.state);
    if (m_changedWhileBusy) {
        m_changedWhileBusy = false;
        bind();
    }
}

void PortalShortcuts::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

void PortalShortcuts::takeTriggers(const QVariant& shortcuts)
{
    m_triggers.clear();
    if (shortcuts.userType() == qMetaTypeId<QDBusArgument>()) {
        for (const ShortcutEntry& entry : qdbus_cast<QList<ShortcutEntry>>(shortcuts))
            m_triggers[entry.id] = entry.properties.value(QStringLiteral("trigger_description")).toString();
    }
    emit triggersChanged();
}

QString PortalShortcuts::shortcutOf(const QDBusMessage& message) const
{
    const QVariantList arguments = message.arguments();
    if (m_session.isEmpty() || arguments.size() < 2 || portal::objectPath(arguments[0]) != m_session)
        return {};
    return arguments[1].toString();
}

void PortalShortcuts::onActivated(const QDBusMessage& message)
{
    if (const QString id = shortcutOf(message); !id.isEmpty())
        emit activated(id);
}

void PortalShortcuts::onDeactivated(const QDBusMessage& message)
{
    if (const QString id = shortcutOf(message); !id.isEmpty())
        emit deactivated(id);
}

void PortalShortcuts::onShortcutsChanged(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (m_session.isEmpty() || arguments.size() < 2 || portal::objectPath(arguments[0]) != m_session)
        return;
    takeTriggers(arguments[1]);
    log::info(lcPortalShortcuts(), QStringLiteral("The desktop changed the triggers of our global shortcuts"));
}

} // namespace palaverly
