#include "LibrarySeed.h"

#include "model/RecordingStore.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

namespace palaverly::bench {

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

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

void seedLibrary(const std::filesystem::path& base, int count)
{
    std::mt19937 random(42);
    const Timestamp start = parseIsoDate("2025-01-01T09:00:00Z").value();
    for (int i = 0; i < count; ++i) {
        const RecordingKind kind = i % 2 ? RecordingKind::note : RecordingKind::meeting;
        const RecordingMeta meta{
            Uuid::generate(), "Запись " + std::to_string(i), start + std::chrono::hours(i), 3600, kind};
        const std::filesystem::path folder = base / folderName(kind) / meta.id.toString();
        std::filesystem::create_directories(folder);
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

int intArgument(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    return fallback;
}

} // namespace palaverly::bench
