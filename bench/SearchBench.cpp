// bench_search [--recordings N] [--verbose 1]
// Builds a library of N recordings on disk (names, one-hour transcripts of 900 turns with some
// speaker names, a summary on every third), lets the search index read it, and times
// filteredRecordings for queries typed one character at a time. Prints how long the index took to
// build and to open again from its file, the slowest keystroke, and last "search_ms X": the median
// time per keystroke.
#include "model/RecordingStore.h"
#include "ui/logic/LibraryLogic.h"

#include "LibrarySeed.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

using namespace palaverly;
using namespace std::chrono_literals;

namespace {

double milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Processor time of this thread: what a keystroke costs, without the time it waited for a processor
// on a busy machine.
std::chrono::nanoseconds threadTime()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int count = bench::intArgument(argc, argv, "--recordings", 1000);
    const bool verbose = bench::intArgument(argc, argv, "--verbose", 0) != 0;
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const std::filesystem::path folder(dir.path().toStdString());
    std::printf("seeding %d recordings...\n", count);
    bench::seedLibrary(folder / "recordings", count);
    RecordingStore store(folder / "recordings");
    const std::vector<Recording>& recordings = store.recordings();
    const QLocale locale = russianLocale();

    auto started = std::chrono::steady_clock::now();
    {
        SearchIndex building(folder / "search.sqlite");
        if (!building.warmUp(recordings, locale, 3600s)) {
            std::fprintf(stderr, "the index was not built\n");
            return 1;
        }
    }
    const double build = milliseconds(std::chrono::steady_clock::now() - started);
    started = std::chrono::steady_clock::now();
    SearchIndex index(folder / "search.sqlite");
    index.warmUp(recordings, locale, 3600s);
    const double reopen = milliseconds(std::chrono::steady_clock::now() - started);

    // Words people look for: from the transcripts, speaker names, words of names, and words
    // that occur nowhere (those read every text to the end).
    const QStringList words{
        "бюджет", "Анна", "релиз", "Кирилл", "встреча", "миграция", "кофе", "Дарья", "ОТЧЁТ", "презентация"};
    std::vector<double> perKeystroke, cpuPerKeystroke;
    QString slowest, costliest;
    std::size_t found = 0;
    for (const QString& word : words) {
        for (int length = 1; length <= std::min<int>(8, static_cast<int>(word.size())); ++length) {
            const QString query = word.left(length);
            const auto keystroke = std::chrono::steady_clock::now();
            const auto cpu = threadTime();
            found += filteredRecordings(recordings, query, locale, index).size();
            cpuPerKeystroke.push_back(milliseconds(threadTime() - cpu));
            perKeystroke.push_back(milliseconds(std::chrono::steady_clock::now() - keystroke));
            if (perKeystroke.back() >= *std::max_element(perKeystroke.begin(), perKeystroke.end()))
                slowest = query;
            if (cpuPerKeystroke.back() >= *std::max_element(cpuPerKeystroke.begin(), cpuPerKeystroke.end()))
                costliest = query;
            if (verbose)
                std::printf("  %-10s %7.2f ms, processor %6.2f ms\n", query.toUtf8().constData(), perKeystroke.back(),
                    cpuPerKeystroke.back());
        }
    }
    std::printf("index built in %.1f ms, opened from its file in %.1f ms\n", build, reopen);
    std::printf("keystrokes: %zu, matches seen: %zu\n", perKeystroke.size(), found);
    std::printf("slowest keystroke: %.2f ms (\"%s\")\n", *std::max_element(perKeystroke.begin(), perKeystroke.end()),
        slowest.toUtf8().constData());
    std::printf("costliest keystroke in processor time: %.2f ms (\"%s\"), median %.2f ms\n",
        *std::max_element(cpuPerKeystroke.begin(), cpuPerKeystroke.end()), costliest.toUtf8().constData(),
        median(cpuPerKeystroke));
    std::printf("search_ms %.2f\n", median(perKeystroke));
    return 0;
}
