#include "DemoLibrary.h"

#include "model/RecordingStore.h"

#include <cstdint>
#include <fstream>
#include <random>

namespace palaverly::test {

namespace fs = std::filesystem;

namespace {

const char* const kLines[] = {
    "Давайте начнём с короткого статуса по релизу.",
    "Сборка для бета-тестеров готова, осталось закрыть два бага в синхронизации.",
    "Я бы не откладывал: пользователи ждут эту версию с прошлого месяца.",
    "Согласна, но сначала надо проверить миграцию базы на копии продакшена.",
    "Кто возьмёт миграцию? Нужен человек, который знает старую схему.",
    "Могу я, но тогда отчёт для клиента уедет на пятницу.",
    "Пятница подходит, клиент сам просил не торопиться.",
    "Ещё вопрос по бюджету на следующий квартал: маркетинг просит увеличить на пятнадцать процентов.",
    "Пятнадцать — много. Давайте посмотрим на метрики прошлой кампании.",
    "Конверсия выросла, но стоимость привлечения тоже подросла.",
    "Тогда предлагаю согласовать десять и вернуться к вопросу в конце месяца.",
    "Хорошо, записываю: десять процентов, пересмотр через месяц.",
    "По дизайну: новые макеты экрана оплаты уже в фигме, посмотрите до среды.",
    "Там есть спорный момент с кнопкой отмены — её почти не видно.",
    "Сделаем контрастнее и добавим подтверждение.",
    "И последнее: на следующей неделе ретро, соберите, пожалуйста, фидбек от команды.",
    "Угу.",
    "Да, принято.",
};

void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

Timestamp at(const QDateTime& time)
{
    return Timestamp(std::chrono::seconds(time.toSecsSinceEpoch()));
}

fs::path addRecording(const fs::path& base, const RecordingMeta& meta, double audioSeconds)
{
    const fs::path folder = base / folderName(meta.kind) / meta.id.toString();
    fs::create_directories(folder);
    writeText(folder / "meta.json", RecordingStore::encode(meta.toJson()));
    if (audioSeconds >= 0)
        writeSilentWav(folder / "audio.wav", audioSeconds);
    return folder;
}

Transcript diarized(int turns, int speakers, std::mt19937& random, double& end)
{
    Transcript transcript;
    std::vector<TranscriptSegment> segments;
    double t = 1.2;
    int speaker = 0;
    for (int i = 0; i < turns; ++i) {
        if (random() % 3 != 0)
            speaker = static_cast<int>(random() % static_cast<unsigned>(speakers));
        const std::string text = kLines[random() % std::size(kLines)];
        const double length = 1.5 + static_cast<double>(text.size()) / 30.0;
        segments.push_back({"SPEAKER_0" + std::to_string(speaker), text, t, t + length});
        t += length + 0.4;
    }
    end = t;
    transcript.segments = std::move(segments);
    transcript.numSpeakers = speakers;
    transcript.durationSec = t;
    transcript.processingTimeSec = t / 20;
    transcript.rtf = 0.05;
    return transcript;
}

} // namespace

void writeSilentWav(const fs::path& path, double seconds)
{
    const std::uint32_t rate = 48000;
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    const std::uint32_t dataBytes = frames * 2;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(dataBytes);
    const std::string silence(dataBytes, '\0');
    out.write(silence.data(), static_cast<std::streamsize>(silence.size()));
}

DemoLibrary DemoLibrary::write(const fs::path& base, const QDateTime& now)
{
    std::mt19937 random(11);
    DemoLibrary demo;
    const auto meta = [&](const std::string& name, RecordingKind kind, const QDateTime& when, double duration) {
        return RecordingMeta{Uuid::generate(), name, at(when), duration, kind};
    };
    const auto transcriptFile = [](const fs::path& folder, const Transcript& transcript) {
        writeText(folder / "transcript.json", RecordingStore::encode(transcript.toJson()));
    };
    const auto summaryFile = [&](const fs::path& folder, const std::string& text, const QDateTime& when) {
        writeText(folder / "summary.json", RecordingStore::encode(Summary{"qwen-summary", at(when), text}.toJson()));
    };

    // In progress: no transcript, no duration yet.
    const auto live = meta("Встреча — сейчас", RecordingKind::meeting, now.addSecs(-95), 0);
    addRecording(base, live, 1);
    demo.inProgress = live.id;

    // The long meeting of this morning, four speakers, two of them named, with a summary.
    double end = 0;
    const auto planning = meta("Планёрка по релизу 2.4", RecordingKind::meeting, now.addSecs(-3 * 3600), 0);
    Transcript long_ = diarized(140, 4, random, end);
    long_.speakerLabels = std::map<std::string, std::string>{{"SPEAKER_00", "Анна"}, {"SPEAKER_02", "Борис"}};
    auto planningMeta = planning;
    planningMeta.duration = end;
    const fs::path planningFolder = addRecording(base, planningMeta, end);
    transcriptFile(planningFolder, long_);
    summaryFile(planningFolder,
        "Итоги встречи\n\n"
        "• Бета-сборка готова; до релиза закрыть два бага синхронизации.\n"
        "• Миграцию базы проверяем на копии продакшена — отвечает Борис.\n"
        "• Отчёт для клиента переносится на пятницу.\n"
        "• Бюджет маркетинга: +10 % вместо +15 %, пересмотр в конце месяца.\n"
        "• Макеты экрана оплаты — посмотреть до среды; кнопку отмены сделать контрастнее.\n\n"
        "Следующие шаги: Анна собирает фидбек к ретро на следующей неделе.",
        now.addSecs(-2 * 3600));
    demo.longMeeting = planning.id;

    // A note being transcribed right now.
    const auto running = meta("Заметка — идея для онбординга", RecordingKind::note, now.addSecs(-40 * 60), 48);
    addRecording(base, running, 48);
    demo.transcribing = running.id;

    // Yesterday: a note whose transcription failed.
    const auto failed = meta("Заметка — звонок юристам", RecordingKind::note, now.addDays(-1).addSecs(-2 * 3600), 83);
    addRecording(base, failed, 83);
    demo.failedNote = failed.id;

    // Earlier this week and this month.
    const auto shortMeeting = meta("Созвон с подрядчиком", RecordingKind::meeting, now.addDays(-3), 0);
    Transcript two = diarized(12, 2, random, end);
    auto shortMeta = shortMeeting;
    shortMeta.duration = end;
    transcriptFile(addRecording(base, shortMeta, end), two);

    const auto note = meta("Список покупок для офиса", RecordingKind::note, now.addDays(-9), 21);
    Transcript plain;
    plain.text = "Купить кофе, фильтры для воды и новые маркеры для доски.\nИ не забыть батарейки для пульта.";
    plain.durationSec = 21;
    transcriptFile(addRecording(base, note, 21), plain);
    demo.plainTextNote = note.id;

    const auto empty = meta("Заметка — тишина", RecordingKind::note, now.addDays(-12), 6);
    Transcript nothing;
    nothing.text = "";
    nothing.segments = std::vector<TranscriptSegment>{};
    transcriptFile(addRecording(base, empty, 6), nothing);
    demo.emptyTranscript = empty.id;

    // Earlier months.
    const char* const older[] = {"Ретро спринта 14", "Интервью с кандидатом", "Демо для клиента", "Обсуждение бюджета",
        "Идея: экспорт в PDF", "Синк с маркетингом"};
    for (int i = 0; i < 6; ++i) {
        const bool isNote = i % 3 == 2;
        const auto old = meta(older[i], isNote ? RecordingKind::note : RecordingKind::meeting,
            now.addDays(-(25 + i * 17)).addSecs(-i * 3000), 0);
        Transcript t = diarized(isNote ? 3 : 20, isNote ? 1 : 3, random, end);
        auto oldMeta = old;
        oldMeta.duration = end;
        const fs::path folder = addRecording(base, oldMeta, -1);
        transcriptFile(folder, t);
        if (i % 2 == 0)
            summaryFile(folder, "Коротко: " + std::string(kLines[random() % std::size(kLines)]), now.addDays(-20));
    }
    // A company-wide call with nine speakers: more chips than two rows hold.
    const auto allHands = meta("Всем отделом: планы на год", RecordingKind::meeting, now.addDays(-40), 0);
    Transcript crowd = diarized(60, 9, random, end);
    crowd.speakerLabels = std::map<std::string, std::string>{{"SPEAKER_01", "Виктория Сергеевна"},
        {"SPEAKER_03", "Дмитрий"}, {"SPEAKER_05", "Екатерина Александровна"}, {"SPEAKER_07", "Глеб"}};
    auto allHandsMeta = allHands;
    allHandsMeta.duration = end;
    transcriptFile(addRecording(base, allHandsMeta, -1), crowd);
    demo.crowdedMeeting = allHands.id;
    return demo;
}

} // namespace palaverly::test
