#include "app/Application.h"
#include "app/MenuBarController.h"
#include "app/SingleInstance.h"
#include "common/Log.h"
#include "model/RecordingStore.h"
#include "system/DesktopSession.h"

#include <QApplication>
#include <QSettings>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace palaverly;

namespace {

int g_signalPipe[2] = {-1, -1};

// SIGINT and SIGTERM end the event loop like "Выйти" does, so a running recording is finalized.
// The handler only writes a byte; the main loop reads it.
void quitOnSignals(QObject* context)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
        char byte = 0;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[1], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action { };
    action.sa_handler = [](int) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(g_signalPipe[0], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    log::installHandler();
    // In a Wayland session the windows go through XWayland when it is there: the dictation panel
    // has to place itself and stay above the others, which a Wayland client may not do, and a
    // Wayland client may set the clipboard only while one of its windows has the focus, where an
    // X client's selection is taken over by GNOME at any time (docs/ARCHITECTURE-notes.md).
    // Hotkeys and the paste keystroke go through the portals either way.
    if (currentSessionType() == SessionType::wayland && !qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("palaverly"));
    QApplication::setApplicationName(QStringLiteral("palaverly"));
    QApplication::setApplicationDisplayName(QStringLiteral("Palaverly"));
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (instance.handOverToRunningInstance())
        return 0;

    QSettings defaults;
    Application application(defaults, RecordingStore::defaultBaseDirectory());
    QObject::connect(&instance, &SingleInstance::activationRequested, &application.menuBar(),
        [&application] { application.menuBar().runCommand(TrayMenuItem::Command::openLibrary); });
    quitOnSignals(&app);

    const int status = app.exec();
    return status;
}
