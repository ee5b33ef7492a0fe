// bench_search [--recordings N]
// Builds a library of N recordings (names, one-hour transcripts of 900 turns with some speaker
// names, a summary on every third) and times filteredRecordings for queries typed one
// character at a time, with the search index the library window keeps between keystrokes.
// Prints the cost of the first keystroke (which folds every text once), the median without the
// index for comparison, and last "search_ms X": the median time per keystroke.
#include "ui/logic/LibraryLogic.h"

#include "LibrarySeed.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace palaverly;

namespace {

double milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
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
    QCoreApplication app(argc, argv);
    std::printf("building %d recordings...\n", count);
    const std::vector<Recording> recordings = bench::makeRecordings(count);
    const QLocale locale = russianLocale();

    // Words people look for: from the transcripts, speaker names, words of names, and words
    // that occur nowhere (those read every text to the end).
    const QStringList words{
        "бюджет", "Анна", "релиз", "Кирилл", "встреча", "миграция", "кофе", "Дарья", "ОТЧЁТ", "презентация"};
    SearchIndex index;
    const auto firstStarted = std::chrono::steady_clock::now();
    const auto warm = filteredRecordings(recordings, "б", locale, &index);
    const double first = milliseconds(std::chrono::steady_clock::now() - firstStarted);

    std::vector<double> perKeystroke;
    std::size_t found = warm.size();
    for (const QString& word : words) {
        for (int length = 1; length <= std::min<int>(8, static_cast<int>(word.size())); ++length) {
            const QString query = word.left(length);
            const auto started = std::chrono::steady_clock::now();
            found += filteredRecordings(recordings, query, locale, &index).size();
            perKeystroke.push_back(milliseconds(std::chrono::steady_clock::now() - started));
        }
    }
    std::vector<double> unindexed;
    for (const QString& query : {QStringLiteral("бю"), QStringLiteral("Кир"), QStringLiteral("релиз")}) {
        const auto started = std::chrono::steady_clock::now();
        found += filteredRecordings(recordings, query, locale).size();
        unindexed.push_back(milliseconds(std::chrono::steady_clock::now() - started));
    }
    std::printf("keystrokes: %zu, matches seen: %zu\n", perKeystroke.size(), found);
    std::printf("first keystroke (folds every text): %.1f ms\n", first);
    std::printf("slowest keystroke: %.2f ms\n", *std::max_element(perKeystroke.begin(), perKeystroke.end()));
    std::printf("without the index, median: %.1f ms\n", median(unindexed));
    std::printf("search_ms %.2f\n", median(perKeystroke));
    return 0;
}
