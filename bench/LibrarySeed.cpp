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
    "хорошо", "согласен", "предлагаю", "перенести", "договор", "поставщик", "макет", "дизайн", "сервер", "ошибка",
    "тестирование", "пользователи", "метрики", "рост", "выручка", "маркетинг", "продажи", "контракт", "юристы",
    "презентация", "слайды", "доступ", "пароль", "настройки", "интеграция", "оплата", "счёт", "скидка", "неделя",
    "понедельник", "пятница", "утром", "вечером", "созвон", "подрядчик", "оценка", "риски", "приоритет", "спринт",
    "ретро", "демо", "фидбек", "инфраструктура", "миграция", "база", "резервная", "копия", "логи", "мониторинг"};
const char* const kNames[] = {"Анна", "Борис", "Вера", "Григорий", "Дарья"};

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

std::vector<SeedRecording> makeRecordings(int count)
{
    std::mt19937 random(7);
    std::vector<SeedRecording> list;
    list.reserve(static_cast<std::size_t>(count));
    const Timestamp start = parseIsoDate("2025-01-01T09:00:00Z").value();
    for (int i = 0; i < count; ++i) {
        Recording r;
        r.id = Uuid::generate();
        r.name = (i % 2 ? "Заметка " : "Встреча ") + std::to_string(i) + " — " + kWords[random() % std::size(kWords)];
        r.createdAt = start + std::chrono::hours(count - i);
        r.duration = 3600;
        r.kind = i % 2 ? RecordingKind::note : RecordingKind::meeting;
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
        if (i % 4 == 0)
            transcript.speakerLabels
                = std::map<std::string, std::string>{{"SPEAKER_00", kNames[random() % std::size(kNames)]},
                    {"SPEAKER_01", kNames[random() % std::size(kNames)]}};
        r.transcript = TranscriptInfo::of(transcript);
        if (i % 3 == 0)
            r.summary = Summary{"qwen-summary", r.createdAt, "Итоги: " + sentence(random, 40)};
        list.push_back({std::move(r), std::move(transcript)});
    }
    return list;
}

void seedLibrary(const std::filesystem::path& base, int count)
{
    for (const auto& [r, transcript] : makeRecordings(count)) {
        const std::filesystem::path folder = base / folderName(r.kind) / r.id.toString();
        std::filesystem::create_directories(folder);
        writeFile(folder / "meta.json",
            RecordingStore::encode(RecordingMeta{r.id, r.name, r.createdAt, r.duration, r.kind}.toJson()));
        writeFile(folder / "transcript.json", RecordingStore::encode(transcript.toJson()));
        if (r.summary)
            writeFile(folder / "summary.json", RecordingStore::encode(r.summary->toJson()));
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
