#include "app/SingleInstance.h"

#include <QLocalSocket>
#include <unistd.h>

namespace palaverly {

namespace {
constexpr int kConnectTimeoutMs = 1000;
const QByteArray kActivate = "activate\n";
} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
{
}

QString SingleInstance::defaultName()
{
    return QStringLiteral("palaverly-%1").arg(::getuid());
}

bool SingleInstance::handOverToRunningInstance()
{
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(kConnectTimeoutMs)) {
        probe.write(kActivate);
        probe.waitForBytesWritten(kConnectTimeoutMs);
        probe.disconnectFromServer();
        return true;
    }
    // Nobody answers: a socket file left by a crashed instance may still be there.
    QLocalServer::removeServer(m_name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_name))
        return false; // run anyway; a second start will then not be caught
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("activate"))
                    emit activationRequested();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return false;
}

} // namespace palaverly
