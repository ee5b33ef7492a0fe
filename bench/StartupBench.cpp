// bench_startup [--recordings N]
// Seeds a library of N recordings, then starts the program's objects in a fresh process (this
// binary again, in child mode) several times, with the library's caches in a folder of the run,
// and measures from process start:
//   - until the tray icon is set up and its menu has been built once (startup_ms);
//   - until the library window holds a row for every recording (library_ms);
// and the resident memory of the program once the library is shown, the search index is
// complete and one search has run (rss_mb). The first run fills the caches and is reported on its
// own; the last line is "startup_ms X library_ms Y rss_mb Z", the medians of the other runs.
#include "app/Application.h"
#include "app/MenuBarController.h"
#include "model/RecordingStore.h"
#include "ui/library/LibraryListModel.h"
#include "ui/library/LibraryView.h"
#include "ui/library/LibraryWindow.h"

#include "LibrarySeed.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

using namespace palaverly;

namespace {

double residentMegabytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int runChild(int argc, char** argv, const char* base, const char* settingsFile, const char* cacheFile, int expected)
{
    QApplication app(argc, argv);
    QSettings settings(QString::fromUtf8(settingsFile), QSettings::IniFormat);
    Application application(settings, base, cacheFile);
    LibraryView* view = nullptr;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!view) {
            if (static_cast<int>(application.store().recordings().size()) < expected)
                return;
            application.menuBar().openLibrary();
            view = application.menuBar().libraryWindow()->view();
            // Every recording has its row (and the headers of the date groups).
            if (view->listModel()->rowCount() < expected) {
                std::fprintf(stderr, "the library window shows %d rows\n", view->listModel()->rowCount());
                QCoreApplication::exit(1);
            }
            say("library");
            return;
        }
        view->searchIndex().collect();
        if (!view->searchIndex().progress().complete())
            return;
        poll.stop();
        view->searchField()->setText(QStringLiteral("бюджет"));
        QCoreApplication::processEvents();
        std::printf("rss %.1f\n", residentMegabytes());
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, [&] {
        application.menuBar().rebuildMenu();
        say("ready");
        poll.start();
    });
    return app.exec();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 7 && std::strcmp(argv[1], "--child") == 0)
        return runChild(argc, argv, argv[2], argv[3], argv[4], std::atoi(argv[5]));

    const int recordings = bench::intArgument(argc, argv, "--recordings", 1000);
    const int runs = bench::intArgument(argc, argv, "--runs", 7);
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("recordings"));
    std::printf("seeding %d recordings...\n", recordings);
    bench::seedLibrary(base.toStdString(), recordings);

    std::vector<double> ready, library, rss;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        child.start(QString::fromLocal8Bit(argv[0]),
            {QStringLiteral("--child"), base, dir.filePath(QStringLiteral("settings.conf")),
                dir.filePath(QStringLiteral("cache/library.sqlite")), QString::number(recordings),
                QStringLiteral("end")});
        QByteArray output;
        double readyMs = 0, libraryMs = 0, rssMb = 0;
        while (child.waitForReadyRead(120000)) {
            output += child.readAllStandardOutput();
            const double now = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            if (!readyMs && output.contains("ready"))
                readyMs = now;
            if (!libraryMs && output.contains("library"))
                libraryMs = now;
            if (const qsizetype at = output.indexOf("rss "); at >= 0 && output.indexOf('\n', at) > 0) {
                rssMb = output.mid(at + 4).split('\n').front().toDouble();
                break;
            }
        }
        child.waitForFinished(30000);
        if (!readyMs || !libraryMs || !rssMb) {
            std::fprintf(stderr, "the program did not get ready\n");
            return 1;
        }
        std::printf("run %d%s: tray %.1f ms, library %.1f ms, %.1f MB\n", run, run == 0 ? " (fills the caches)" : "",
            readyMs, libraryMs, rssMb);
        std::fflush(stdout);
        if (run == 0 && runs > 1)
            continue;
        ready.push_back(readyMs);
        library.push_back(libraryMs);
        rss.push_back(rssMb);
    }
    std::printf("startup_ms %.1f library_ms %.1f rss_mb %.1f\n", median(ready), median(library), median(rss));
    return 0;
}
