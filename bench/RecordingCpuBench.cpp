// bench_recording_cpu [--seconds N] [--library]
// What a running recording costs the user's battery. Starts the program's objects as the program
// does (store, settings, recorder, tray controller) on an empty library, plays one tone into the
// default output and another into the microphone, records a meeting through the real capture path
// and measures this process's CPU time (every thread, user and system) over N seconds (default
// 60) of the recording, from its first sound on. With --library the library window is open
// meanwhile, showing the live pane. Run under tests/support/run-with-services.sh. Last line:
// "cpu_percent X": CPU seconds / wall seconds x 100 (one core = 100). The recording is not
// stopped: its file is thrown away with the temporary library.
#include "app/Application.h"
#include "app/MenuBarController.h"
#include "recorder/RecorderModel.h"
#include "ui/onboarding/OnboardingWindowController.h"

#include "LibrarySeed.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <sys/resource.h>
#include <vector>

using namespace palaverly;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("?");
}

// A sine played into `sink` by pacat (its own process, so its cost is not counted here).
std::unique_ptr<QProcess> playTone(const QString& folder, const QString& sink, double frequency, int seconds)
{
    const QString path = folder + QStringLiteral("/tone-%1.raw").arg(frequency);
    {
        std::vector<float> samples(static_cast<size_t>(48000) * seconds);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * frequency * i / 48000.0));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return nullptr;
        file.write(reinterpret_cast<const char*>(samples.data()), static_cast<qint64>(samples.size() * sizeof(float)));
    }
    auto player = std::make_unique<QProcess>();
    player->start(QStringLiteral("pacat"),
        {"--playback", "--raw", "--format=float32le", "--rate=48000", "--channels=1", "-d", sink, path});
    return player->waitForStarted() ? std::move(player) : nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = bench::intArgument(argc, argv, "--seconds", 60);
    bool withLibrary = false;
    for (int i = 1; i < argc; ++i)
        withLibrary = withLibrary || std::strcmp(argv[i], "--library") == 0;
    if (!qEnvironmentVariableIsSet("PULSE_SERVER") || !qEnvironmentVariableIsSet("DISPLAY")) {
        std::fprintf(stderr, "run it under tests/support/run-with-services.sh\n");
        return 2;
    }

    QApplication app(argc, argv);
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("settings.conf")), QSettings::IniFormat);
    settings.setValue(QLatin1String(OnboardingWindowController::kHasCompletedKey), true);
    Application application(settings, dir.filePath(QStringLiteral("recordings")).toStdString());
    RecorderModel& recorder = application.recorder();
    if (withLibrary)
        application.menuBar().openLibrary();

    const auto call = playTone(dir.path(), QStringLiteral("palaverly_speakers"), 440, seconds + 30);
    const auto voice = playTone(dir.path(), QStringLiteral("palaverly_mic"), 1000, seconds + 30);
    if (!call || !voice) {
        std::fprintf(stderr, "pacat did not start\n");
        return 1;
    }
    std::printf("load before: %s\n", loadAverage().constData());

    int status = 0;
    double cpuAtStart = 0;
    QElapsedTimer wall;
    QTimer::singleShot(0, [&] {
        recorder.toggleMeeting();
        if (!recorder.isRecording()) {
            std::fprintf(stderr, "the meeting did not start: %s\n", recorder.lastError().value_or("").c_str());
            status = 1;
            QCoreApplication::quit();
        }
    });
    // The measurement starts with the first sound (a sound server may open a stream late).
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (wall.isValid() || recorder.inputLevel() < 0.05f)
            return;
        poll.stop();
        cpuAtStart = cpuSeconds();
        wall.start();
        QTimer::singleShot(seconds * 1000, [&] {
            const double cpu = cpuSeconds() - cpuAtStart;
            const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
            std::printf("load after: %s\n", loadAverage().constData());
            std::printf("recorded %.1f s, cpu %.2f s\n", elapsed, cpu);
            std::printf("cpu_percent %.2f\n", cpu / elapsed * 100);
            QCoreApplication::quit();
        });
    });
    poll.start();
    QTimer::singleShot((seconds + 20) * 1000, [&] {
        if (!wall.isValid()) {
            std::fprintf(stderr, "no sound arrived\n");
            status = 1;
            QCoreApplication::quit();
        }
    });
    app.exec();
    return status;
}
