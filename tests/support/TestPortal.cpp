#include "TestPortal.h"

#include "QtWait.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcessEnvironment>

namespace palaverly::test {

namespace {

QDBusMessage control(const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.palaverly.TestPortal"),
        QStringLiteral("/org/palaverly/TestPortal"), QStringLiteral("org.palaverly.TestPortal"), method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

bool controlFlag(const QString& method, const QVariantList& arguments)
{
    const QDBusMessage reply = control(method, arguments);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

// The first argument of a reply, an array of structures, one QVariantList per structure.
std::vector<QVariantList> structures(const QDBusMessage& reply)
{
    std::vector<QVariantList> rows;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return rows;
    const QDBusArgument array = reply.arguments().first().value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
        QVariantList row;
        array.beginStructure();
        while (!array.atEnd())
            row << array.asVariant();
        array.endStructure();
        rows.push_back(row);
    }
    array.endArray();
    return rows;
}

bool portalAnswers()
{
    QDBusMessage get = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get.setArguments({QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("version")});
    return QDBusConnection::sessionBus().call(get, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
}

} // namespace

TestPortal::TestPortal()
{
    const QString portalDir = QStringLiteral(PALAVERLY_TEST_SUPPORT_DIR "/portal");
    m_backend.start(portalDir + QStringLiteral("/test-portal-backend.py"), {});
    if (!waitUntil([&] { return m_backend.canReadLine() || m_backend.state() == QProcess::NotRunning; }, 10000)
        || !m_backend.readLine().startsWith("ready"))
        return;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DESKTOP_PORTAL_DIR"), portalDir);
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("palaverly-test"));
    m_frontend.setProcessEnvironment(environment);
    m_frontend.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_frontend.setStandardOutputFile(QProcess::nullDevice());
    m_frontend.start(QStringLiteral("/usr/libexec/xdg-desktop-portal"), {QStringLiteral("--replace")});
    m_started = waitUntil([] { return portalAnswers(); }, 10000);
}

TestPortal::~TestPortal()
{
    for (QProcess* process : {&m_frontend, &m_backend}) {
        process->terminate();
        if (!process->waitForFinished(3000))
            process->kill();
        process->waitForFinished(1000);
    }
}

void TestPortal::reset()
{
    control(QStringLiteral("Reset"));
}

void TestPortal::setModes(const QString& shortcuts, const QString& keyboard)
{
    control(QStringLiteral("SetModes"), {shortcuts, keyboard});
}

bool TestPortal::activate(const QString& id)
{
    return controlFlag(QStringLiteral("Activate"), {id});
}

bool TestPortal::deactivate(const QString& id)
{
    return controlFlag(QStringLiteral("Deactivate"), {id});
}

bool TestPortal::changeTrigger(const QString& id, const QString& description)
{
    return controlFlag(QStringLiteral("ChangeTrigger"), {id, description});
}

std::vector<TestPortal::Shortcut> TestPortal::bound()
{
    std::vector<Shortcut> shortcuts;
    for (const QVariantList& row : structures(control(QStringLiteral("Bound"))))
        shortcuts.push_back({row.value(0).toString(), row.value(1).toString(), row.value(2).toString()});
    return shortcuts;
}

std::vector<TestPortal::Key> TestPortal::keyboardEvents()
{
    std::vector<Key> keys;
    for (const QVariantList& row : structures(control(QStringLiteral("KeyboardEvents"))))
        keys.emplace_back(row.value(0).toInt(), row.value(1).toUInt());
    return keys;
}

uint TestPortal::keyboardStarts()
{
    return control(QStringLiteral("Starts")).arguments().value(0).toUInt();
}

std::vector<TestPortal::Notification> TestPortal::notifications()
{
    std::vector<Notification> notes;
    for (const QVariantList& row : structures(control(QStringLiteral("Notifications"))))
        notes.emplace_back(row.value(0).toString(), row.value(1).toString());
    return notes;
}

} // namespace palaverly::test
