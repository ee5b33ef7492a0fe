// bench_startup [--recordings N]
// Seeds a library of N recordings, then starts the program's objects in a fresh process (this
// binary again, in child mode) several times and measures the time from process start until the
// tray icon is set up and its menu has been built once. Last line: "startup_ms X" (the median).
#include "app/Application.h"
#include "app/MenuBarController.h"

#include "LibrarySeed.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace palaverly;

namespace {

int runChild(int argc, char** argv, const char* base, const char* settingsFile)
{
    QApplication app(argc, argv);
    QSettings settings(QString::fromUtf8(settingsFile), QSettings::IniFormat);
    Application application(settings, base);
    QTimer::singleShot(0, [&] {
        application.menuBar().rebuildMenu();
        std::printf("ready\n");
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0)
        return runChild(argc, argv, argv[2], argv[3]);

    const int recordings = bench::intArgument(argc, argv, "--recordings", 1000);
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("recordings"));
    std::printf("seeding %d recordings...\n", recordings);
    bench::seedLibrary(base.toStdString(), recordings);

    std::vector<double> times;
    for (int run = 0; run < 7; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        child.start(QString::fromLocal8Bit(argv[0]),
            {QStringLiteral("--child"), base, dir.filePath(QStringLiteral("settings.conf"))});
        QByteArray output;
        while (!output.contains("ready") && child.waitForReadyRead(10000))
            output += child.readAllStandardOutput();
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        child.waitForFinished(30000);
        if (!output.contains("ready")) {
            std::fprintf(stderr, "the program did not get ready\n");
            return 1;
        }
        if (run > 0) // the first run warms the caches
            times.push_back(ms);
        std::printf("run %d: %.1f ms\n", run, ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("startup_ms %.1f\n", times[times.size() / 2]);
    return 0;
}
