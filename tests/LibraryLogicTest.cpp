#include "ui/logic/LibraryLogic.h"
#include "model/RecordingStore.h"

#include "TempLibrary.h"

#include <gtest/gtest.h>

using namespace palaverly;

namespace {

const QTimeZone kMoscow(3 * 3600);

Timestamp at(int year, int month, int day, int hour = 12, int minute = 0, int second = 0)
{
    const QDateTime local(QDate(year, month, day), QTime(hour, minute, second), kMoscow);
    return Timestamp(std::chrono::seconds(local.toSecsSinceEpoch()));
}

QDateTime nowAt(int year, int month, int day, int hour = 15, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), kMoscow);
}

Recording recording(const std::string& name, Timestamp createdAt)
{
    Recording r;
    r.id = Uuid::generate();
    r.name = name;
    r.createdAt = createdAt;
    return r;
}

Transcript transcriptOf(std::vector<TranscriptSegment> segments)
{
    Transcript t;
    t.segments = std::move(segments);
    return t;
}

// Group ids with the names in each group: "today: a b | yesterday: c".
std::string describe(const std::vector<RecordingGroup>& groups)
{
    std::string out;
    for (const auto& group : groups) {
        if (!out.empty())
            out += " | ";
        out += group.id + " " + group.title.toStdString() + ":";
        for (const Recording* r : group.recordings)
            out += " " + r->name;
    }
    return out;
}

std::vector<std::string> names(const std::vector<const Recording*>& list)
{
    std::vector<std::string> out;
    for (const Recording* r : list)
        out.push_back(r->name);
    return out;
}

} // namespace

TEST(LibraryLogicTest, GroupsByDayWeekAndMonthAtTheirBoundaries)
{
    const UserCalendar monday{kMoscow, Qt::Monday};
    // Wednesday 5 March 2025, 15:00. Store order is newest first, the future one included.
    const std::vector<Recording> list{recording("future", at(2025, 3, 6, 10)),
        recording("late", at(2025, 3, 5, 23, 59)), recording("midnight", at(2025, 3, 5, 0, 0)),
        recording("justBefore", at(2025, 3, 4, 23, 59, 59)), recording("yesterdayNoon", at(2025, 3, 4, 12)),
        recording("monday", at(2025, 3, 3, 9)), recording("sunday", at(2025, 3, 2, 9)),
        recording("march1", at(2025, 3, 1, 0, 0)), recording("feb", at(2025, 2, 28, 23, 59)),
        recording("jan1", at(2025, 1, 20)), recording("jan2", at(2025, 1, 2)), recording("dec", at(2024, 12, 31))};
    EXPECT_EQ(describe(groupRecordings(list, nowAt(2025, 3, 5), monday)),
        "today Сегодня: future late midnight | yesterday Вчера: justBefore yesterdayNoon | this-week На этой неделе: "
        "monday | this-month В этом месяце: sunday march1 | 2025-02 Февраль 2025: feb | 2025-01 Январь 2025: jan1 jan2 "
        "| 2024-12 Декабрь 2024: dec");

    // The calendar's first weekday moves the week: with Sunday first, Monday 3 March is last week.
    const UserCalendar sunday{kMoscow, Qt::Sunday};
    EXPECT_EQ(describe(groupRecordings({recording("monday", at(2025, 3, 3, 9)), recording("sunday", at(2025, 3, 2, 9))},
                  nowAt(2025, 3, 5), sunday)),
        "this-week На этой неделе: monday sunday");
}

TEST(LibraryLogicTest, YesterdayWinsOverTheWeekAndTheWeekOverTheMonth)
{
    const UserCalendar monday{kMoscow, Qt::Monday};
    // Monday: yesterday (Sunday) lies in the previous week but is still "Вчера".
    EXPECT_EQ(describe(groupRecordings({recording("sunday", at(2025, 3, 9, 20))}, nowAt(2025, 3, 10), monday)),
        "yesterday Вчера: sunday");
    // Wednesday 2 April: the week began on Monday 31 March, in the previous month.
    EXPECT_EQ(
        describe(groupRecordings({recording("tuesday", at(2025, 4, 1, 8)), recording("monday", at(2025, 3, 31, 8)),
                                     recording("sunday", at(2025, 3, 30, 8))},
            nowAt(2025, 4, 2), monday)),
        "yesterday Вчера: tuesday | this-week На этой неделе: monday | 2025-03 Март 2025: sunday");
    // Two March recordings and one from January, nothing in the current month.
    EXPECT_EQ(describe(groupRecordings(
                  {recording("m1", at(2025, 3, 20)), recording("m2", at(2025, 3, 2)), recording("j", at(2025, 1, 15))},
                  nowAt(2025, 5, 14), monday)),
        "2025-03 Март 2025: m1 m2 | 2025-01 Январь 2025: j");
    EXPECT_TRUE(groupRecordings({}, nowAt(2025, 5, 14), monday).empty());
}

TEST(LibraryLogicTest, SearchFindsNamesTranscriptSpeakersAndSummariesIgnoringCaseButNotLetters)
{
    const QLocale ru = russianLocale();
    test::TempLibrary library;
    const auto add = [&](const std::string& name, int secondsAgo, std::optional<Transcript> transcript,
                         std::optional<std::string> summary) {
        const auto meta = test::TempLibrary::meta(name, RecordingKind::meeting, secondsAgo);
        const auto folder = library.addRecording(meta);
        if (transcript)
            test::TempLibrary::writeFile(folder / "transcript.json", RecordingStore::encode(transcript->toJson()));
        if (summary)
            test::TempLibrary::writeFile(folder / "summary.json",
                RecordingStore::encode(Summary{"qwen-summary", meta.createdAt, *summary}.toJson()));
    };
    Transcript byLabel = transcriptOf({{"SPEAKER_00", "Всем привет", 0, 1}});
    byLabel.speakerLabels = std::map<std::string, std::string>{{"SPEAKER_00", "Анна"}};
    Transcript plainText;
    plainText.text = "Купить МОЛОКО\nи хлеб";
    add("Созвон", 1, byLabel, std::nullopt);
    add("Планёрка", 2, std::nullopt, "Решили, что анна готовит отчёт");
    add("Ёлка в офисе", 3, std::nullopt, std::nullopt);
    add("Заметка", 4, plainText, std::nullopt);
    RecordingStore store(library.base());
    const auto& list = store.recordings();

    SearchIndex index(library.base().parent_path() / "search.sqlite");
    // Before the index has read the transcripts, the search reads them itself.
    EXPECT_EQ(names(filteredRecordings(list, "молоко", ru, index)), std::vector<std::string>{"Заметка"});
    ASSERT_TRUE(index.warmUp(list, ru, std::chrono::seconds(30)));
    EXPECT_EQ(
        names(filteredRecordings(list, "  АННА \n", ru, index)), (std::vector<std::string>{"Созвон", "Планёрка"}));
    EXPECT_EQ(names(filteredRecordings(list, "ёЛКА", ru, index)), std::vector<std::string>{"Ёлка в офисе"});
    EXPECT_TRUE(filteredRecordings(list, "елка", ru, index).empty());
    EXPECT_TRUE(filteredRecordings(list, "планерка", ru, index).empty());
    EXPECT_EQ(names(filteredRecordings(list, "молоко", ru, index)), std::vector<std::string>{"Заметка"});
    // The speaker's shown name and the text are joined as the plain text joins them.
    EXPECT_EQ(names(filteredRecordings(list, "анна: всем", ru, index)), std::vector<std::string>{"Созвон"});
    EXPECT_EQ(filteredRecordings(list, " \t", ru, index).size(), 4u);
    EXPECT_FALSE(isSearching("  \n\t"));
    EXPECT_TRUE(isSearching(" а "));

    // A new index on the same file finds the same without reading the transcripts again.
    SearchIndex reopened(library.base().parent_path() / "search.sqlite");
    ASSERT_TRUE(reopened.warmUp(list, ru, std::chrono::seconds(30)));
    EXPECT_EQ(names(filteredRecordings(list, "молоко", ru, reopened)), std::vector<std::string>{"Заметка"});

    // Composed and decomposed ё are the same letter.
    auto decomposed = recording(QStringLiteral("Е\u0308лка").toStdString(), at(2025, 3, 1));
    EXPECT_EQ(filteredRecordings({decomposed}, "ёлка", ru, index).size(), 1u);
    // The locale decides the case pairs: Turkish dotless ı is the lower case of I.
    EXPECT_EQ(filteredRecordings({recording("ILIK", at(2025, 3, 1))}, "ılık", QLocale("tr_TR"), index).size(), 1u);
}

TEST(LibraryLogicTest, SearchIndexFollowsChangedRecordings)
{
    const QLocale ru = russianLocale();
    test::TempLibrary library;
    const auto first = test::TempLibrary::meta("Первая", RecordingKind::meeting, 1);
    const auto second = test::TempLibrary::meta("Вторая", RecordingKind::meeting, 2);
    library.addRecording(first);
    const auto folder = library.addRecording(second);
    Transcript transcript = transcriptOf({{"A", "бюджет", 0, 1}});
    test::TempLibrary::writeFile(folder / "transcript.json", RecordingStore::encode(transcript.toJson()));
    RecordingStore store(library.base());
    SearchIndex index(library.base().parent_path() / "search.sqlite");
    ASSERT_TRUE(index.warmUp(store.recordings(), ru, std::chrono::seconds(30)));
    EXPECT_EQ(names(filteredRecordings(store.recordings(), "бюджет", ru, index)), std::vector<std::string>{"Вторая"});

    // After invalidate() the changed transcript and name are read again.
    store.rename(store.recordings()[0], "Бюджет на год");
    transcript.segments->at(0).text = "сроки";
    transcript.speakerLabels = std::map<std::string, std::string>{{"A", "Борис"}};
    test::TempLibrary::writeFile(folder / "transcript.json", RecordingStore::encode(transcript.toJson()));
    store.reload();
    index.invalidate();
    ASSERT_TRUE(index.warmUp(store.recordings(), ru, std::chrono::seconds(30)));
    EXPECT_EQ(
        names(filteredRecordings(store.recordings(), "бюджет", ru, index)), std::vector<std::string>{"Бюджет на год"});
    EXPECT_EQ(names(filteredRecordings(store.recordings(), "борис", ru, index)), std::vector<std::string>{"Вторая"});
}

TEST(LibraryLogicTest, PreviewPrefersSummaryThenTranscriptThenDuration)
{
    auto r = recording("r", at(2025, 3, 5));
    EXPECT_EQ(previewText(r), "");
    r.duration = 75;
    EXPECT_EQ(previewText(r), "1:15");
    Transcript transcript = transcriptOf({{"A", "первая\nстрока", 0, 1}, {"B", "ответ\t ", 1, 2}});
    r.transcript = TranscriptInfo::of(transcript);
    EXPECT_EQ(previewText(r), "A: первая строка  B: ответ");
    transcript.speakerLabels = std::map<std::string, std::string>{{"A", "Анна"}};
    r.transcript = TranscriptInfo::of(transcript);
    EXPECT_EQ(previewText(r, 12), "Анна: первая");
    r.summary = Summary{"m", at(2025, 3, 5), ""};
    EXPECT_EQ(previewText(r), "Анна: первая строка  B: ответ");
    r.summary->text = " \t Итоги\nвстречи\t";
    EXPECT_EQ(previewText(r), "Итоги встречи");
    r.summary->text = "\n";
    EXPECT_EQ(previewText(r), "");
    // A transcript with nothing in it falls through to the duration.
    r.summary.reset();
    r.transcript = TranscriptInfo::of(Transcript{});
    EXPECT_EQ(previewText(r), "1:15");
    // A long transcript is previewed from its beginning, cut between characters.
    r.transcript = TranscriptInfo::of(transcriptOf({{"A", std::string(2000, 'x') + "ё", 0, 1}}));
    EXPECT_EQ(r.transcript->preview.size(), TranscriptInfo::kPreviewBytes);
    EXPECT_EQ(previewText(r, 5), "A: xx");
}

TEST(LibraryLogicTest, DurationsAndPlurals)
{
    EXPECT_EQ(formatDuration(0), "0:00");
    EXPECT_EQ(formatDuration(59.4), "0:59");
    EXPECT_EQ(formatDuration(59.5), "1:00");
    EXPECT_EQ(formatDuration(75), "1:15");
    EXPECT_EQ(formatDuration(3599.4), "59:59");
    EXPECT_EQ(formatDuration(3599.5), "1:00:00");
    EXPECT_EQ(formatDuration(3600), "1:00:00");
    EXPECT_EQ(formatDuration(3725), "1:02:05");
    EXPECT_EQ(formatDuration(36000), "10:00:00");
    EXPECT_EQ(formatDuration(-3), "0:00");
    EXPECT_EQ(formatDuration(std::nan("")), "0:00");

    const std::map<long long, const char*> words{{0, "заметок"}, {1, "заметка"}, {2, "заметки"}, {4, "заметки"},
        {5, "заметок"}, {11, "заметок"}, {12, "заметок"}, {14, "заметок"}, {21, "заметка"}, {22, "заметки"},
        {25, "заметок"}, {101, "заметка"}, {111, "заметок"}, {112, "заметок"}, {122, "заметки"}};
    for (const auto& [n, word] : words)
        EXPECT_EQ(notesWord(n), word) << n;
    // (The deletion titles built from it are checked in the library view test.)
}

TEST(LibraryLogicTest, BadgesFollowTheTranscriptTheDurationAndTheJob)
{
    using Kind = StatusBadge::Kind;
    const auto failed = TranscribingState::failed("Сервер недоступен");
    const auto running = TranscribingState::running("uploading");
    auto r = recording("r", at(2025, 3, 5));

    // Still being recorded: no transcript and no duration, whatever the job says.
    EXPECT_EQ(statusBadge(r, {}).text, "Идёт запись…");
    EXPECT_EQ(statusBadge(r, failed).kind, Kind::recording);
    r.duration = 12;
    EXPECT_EQ(statusBadge(r, {}).text, "Нет расшифровки");
    EXPECT_EQ(statusBadge(r, failed).text, "Ошибка расшифровки");
    EXPECT_EQ(statusBadge(r, running).text, "Расшифровываем…");
    EXPECT_EQ(statusBadge(r, TranscribingState::queued()).text, "В очереди на расшифровку");

    // An empty transcript is reported before any job state.
    Transcript empty = transcriptOf({});
    empty.text = "";
    r.transcript = TranscriptInfo::of(empty);
    EXPECT_EQ(statusBadge(r, failed).text, "Пустая расшифровка");
    empty.text = "есть текст";
    r.transcript = TranscriptInfo::of(empty);
    EXPECT_EQ(statusBadge(r, {}).kind, Kind::none);
    EXPECT_EQ(statusBadge(r, running).kind, Kind::transcribing);
}

TEST(LibraryLogicTest, ShortDatesByDayWeekAndYear)
{
    const UserCalendar calendar{kMoscow, Qt::Monday};
    const QDateTime now = nowAt(2025, 3, 5, 15);
    EXPECT_EQ(shortDateText(at(2025, 3, 5, 0, 0), now, calendar), "00:00");
    EXPECT_EQ(shortDateText(at(2025, 3, 5, 23, 59), now, calendar), "23:59");
    EXPECT_EQ(shortDateText(at(2025, 3, 4, 9, 5), now, calendar), "вт");
    EXPECT_EQ(shortDateText(at(2025, 3, 3, 0, 0), now, calendar), "пн");
    EXPECT_EQ(shortDateText(at(2025, 3, 7, 10), now, calendar), "пт");
    EXPECT_EQ(shortDateText(at(2025, 3, 2, 23, 59), now, calendar), "2 мар.");
    EXPECT_EQ(shortDateText(at(2025, 1, 1, 0, 0), now, calendar), "1 янв.");
    EXPECT_EQ(shortDateText(at(2024, 12, 31, 23, 59), now, calendar), "31.12.24");
}

TEST(LibraryLogicTest, HintsNameTheHotkeysThatAreSet)
{
    EXPECT_EQ(emptyLibraryHint("Ctrl+Alt+R", "Ctrl+Alt+N"),
        "Нажмите Ctrl+Alt+R для встречи или Ctrl+Alt+N — для быстрой заметки.");
    EXPECT_EQ(emptyLibraryHint("", "Ctrl+Alt+N"),
        "Выберите «Новая встреча» в меню «Новая запись» или нажмите Ctrl+Alt+N — для быстрой заметки.");
    EXPECT_EQ(emptyLibraryHint("", ""), "Начните встречу или быструю заметку из меню «Новая запись».");
    EXPECT_EQ(stopRecordingTitle("Ctrl+."), "Остановить запись (Ctrl+.)");
    EXPECT_EQ(stopRecordingTitle(""), "Остановить запись");
}
