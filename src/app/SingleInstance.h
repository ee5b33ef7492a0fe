#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace palaverly {

// Makes sure one Palaverly runs per user session: the first start listens on a local socket,
// a later start hands over to it (the running one is told to show itself) and exits.
// Main thread only.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);

    // True when another instance answered: it has been told to show itself and this process
    // should exit. False when this process is now the one instance.
    bool handOverToRunningInstance();

    static QString defaultName();

signals:
    // A later start asked the running instance to come forward.
    void activationRequested();

private:
    QString m_name;
    QLocalServer m_server;
};

} // namespace palaverly
