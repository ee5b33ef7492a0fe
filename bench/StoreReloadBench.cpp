// bench_store_reload [--recordings N]
// Builds a library of N recordings (half meetings, half notes) whose transcripts hold one hour
// of speech (900 turns), then times, against reading the same files' bytes without parsing:
//   - the first scan of a new store (every file decoded), printed as "first scan ... ratio";
//   - RecordingStore::reload on the running store after one recording changed, which is what
//     every edit costs. Last line: "ratio X" with X = that reload time / raw read time.
#include "common/AtomicFile.h"
#include "model/RecordingStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

using namespace palaverly;
namespace fs = std::filesystem;

namespace {

const char* const kWords[] = {"итак", "давайте", "обсудим", "план", "на", "квартал", "бюджет", "сроки", "задача",
    "релиз", "команда", "клиент", "вопрос", "решение", "нужно", "проверить", "данные", "отчёт", "встреча", "завтра",
    "хорошо", "согласен", "предлагаю", "перенести"};

std::string sentence(std::mt19937& random, int words)
{
    std::string text;
    for (int i = 0; i < words; ++i) {
        if (i)
            text += ' ';
        text += kWords[random() % std::size(kWords)];
    }
    text += '.';
    return text;
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

void seed(const fs::path& base, int count)
{
    std::mt19937 random(42);
    const Timestamp start = parseIsoDate("2025-01-01T09:00:00Z").value();
    for (int i = 0; i < count; ++i) {
        const RecordingKind kind = i % 2 ? RecordingKind::note : RecordingKind::meeting;
        const RecordingMeta meta{
            Uuid::generate(), "Запись " + std::to_string(i), start + std::chrono::hours(i), 3600, kind};
        const fs::path folder = base / folderName(kind) / meta.id.toString();
        fs::create_directories(folder);
        writeFile(folder / "meta.json", RecordingStore::encode(meta.toJson()));

        Transcript transcript;
        std::vector<TranscriptSegment> segments;
        for (int s = 0; s < 900; ++s)
            segments.push_back({"SPEAKER_0" + std::to_string(s % 3),
                sentence(random, 6 + static_cast<int>(random() % 10)), s * 4.0, s * 4.0 + 3.5});
        transcript.segments = std::move(segments);
        transcript.numSpeakers = 3;
        transcript.durationSec = 3600;
        transcript.processingTimeSec = 120;
        transcript.rtf = 0.033;
        writeFile(folder / "transcript.json", RecordingStore::encode(transcript.toJson()));
    }
}

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
    int recordings = 1000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--recordings") == 0)
            recordings = std::atoi(argv[i + 1]);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const fs::path base = fs::path(dir.path().toStdString()) / "recordings";
    std::printf("seeding %d recordings...\n", recordings);
    seed(base, recordings);

    std::uintmax_t bytes = 0;
    rawReadSeconds(base, bytes); // warm the page cache for both measurements
    double raw = 1e9;
    for (int i = 0; i < 3; ++i)
        raw = std::min(raw, rawReadSeconds(base, bytes));

    const auto seconds = [](auto started) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    double firstScan = 1e9;
    for (int i = 0; i < 3; ++i) {
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
    std::printf("first scan %.1f ms, ratio %.2f\n", firstScan * 1000, firstScan / raw);
    std::printf("reload after an edit %.1f ms\n", reload * 1000);
    std::printf("ratio %.2f\n", reload / raw);
    return 0;
}
