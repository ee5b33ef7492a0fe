#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <functional>

namespace palaverly::test {

// Runs the event loop until `done` holds or `timeoutMs` passes; returns the last value of `done`.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Runs the event loop for a while, for deliveries that must not happen.
inline void settle(int ms = 150)
{
    waitUntil([] { return false; }, ms);
}

// Runs xdotool with the arguments; true when it succeeded. It returns once the X server has taken
// the events, so whatever they cause is on the clients' sockets by then.
inline bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// Runs a program with the event loop turning meanwhile (this process may be the one that answers
// it, as the clipboard owner); its standard output, or nothing when it failed.
inline QByteArray runForOutput(const QString& program, const QStringList& arguments, int timeoutMs = 10000)
{
    QProcess process;
    process.start(program, arguments);
    waitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
    return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray();
}

} // namespace palaverly::test
