// bench_store_reload [--recordings N]
// Builds a library of N recordings (half meetings, half notes) whose transcripts hold one hour
// of speech (900 turns), then times, against reading the same files' bytes without parsing:
//   - the first scan of a new store without any cache (every file decoded);
//   - RecordingStore::reload on the running store after one recording changed, which is what
//     every edit costs.
// Last line: "first_scan_ratio X reload_ratio Y", each time divided by the raw read time.
#include "common/AtomicFile.h"
#include "model/RecordingStore.h"

#include "LibrarySeed.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>

using namespace palaverly;
namespace fs = std::filesystem;

namespace {

double rawReadSeconds(const fs::path& base, std::uintmax_t& bytes)
{
    const auto started = std::chrono::steady_clock::now();
    bytes = 0;
    std::string buffer;
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".json")
            continue;
        bytes += readSmallFile(entry.path(), 1u << 30).value_or(std::string{}).size();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int recordings = bench::intArgument(argc, argv, "--recordings", 1000);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const fs::path base = fs::path(dir.path().toStdString()) / "recordings";
    std::printf("seeding %d recordings...\n", recordings);
    bench::seedLibrary(base, recordings);

    std::uintmax_t bytes = 0;
    rawReadSeconds(base, bytes); // warm the page cache for both measurements
    const auto seconds = [](auto started) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    // Raw reads and scans alternate, so that both see the same load of the machine.
    double raw = 1e9, firstScan = 1e9;
    for (int i = 0; i < 3; ++i) {
        raw = std::min(raw, rawReadSeconds(base, bytes));
        const auto started = std::chrono::steady_clock::now();
        RecordingStore fresh(base);
        firstScan = std::min(firstScan, seconds(started));
        if (static_cast<int>(fresh.recordings().size()) != recordings) {
            std::fprintf(stderr, "expected %d recordings, got %zu\n", recordings, fresh.recordings().size());
            return 1;
        }
    }

    RecordingStore store(base);
    double reload = 1e9;
    for (int i = 0; i < 5; ++i) {
        const Recording& edited = store.recordings()[static_cast<size_t>(i) % store.recordings().size()];
        store.updateDuration(edited.id, edited.kind, 100 + i);
        const auto started = std::chrono::steady_clock::now();
        store.reload();
        reload = std::min(reload, seconds(started));
    }
    std::printf("library: %d recordings, %.1f MB of JSON\n", recordings, static_cast<double>(bytes) / 1e6);
    std::printf("raw read %.1f ms\n", raw * 1000);
    std::printf("first scan %.1f ms\n", firstScan * 1000);
    std::printf("reload after an edit %.1f ms\n", reload * 1000);
    std::printf("first_scan_ratio %.2f reload_ratio %.2f\n", firstScan / raw, reload / raw);
    return 0;
}
