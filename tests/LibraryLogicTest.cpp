#include "ui/logic/LibraryLogic.h"

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
    auto byLabel = recording("Созвон", at(2025, 3, 5));
    byLabel.transcript = transcriptOf({{"SPEAKER_00", "Всем привет", 0, 1}});
    byLabel.transcript->speakerLabels = std::map<std::string, std::string>{{"SPEAKER_00", "Анна"}};
    auto bySummary = recording("Планёрка", at(2025, 3, 4));
    bySummary.summary = Summary{"qwen-summary", at(2025, 3, 4), "Решили, что анна готовит отчёт"};
    auto byName = recording("Ёлка в офисе", at(2025, 3, 3));
    auto plainText = recording("Заметка", at(2025, 3, 2));
    plainText.transcript = Transcript{};
    plainText.transcript->text = "Купить МОЛОКО\nи хлеб";
    const std::vector<Recording> list{byLabel, bySummary, byName, plainText};

    SearchIndex index;
    for (SearchIndex* cache : {static_cast<SearchIndex*>(nullptr), &index}) {
        SCOPED_TRACE(cache ? "with index" : "without index");
        EXPECT_EQ(
            names(filteredRecordings(list, "  АННА \n", ru, cache)), (std::vector<std::string>{"Созвон", "Планёрка"}));
        EXPECT_EQ(names(filteredRecordings(list, "ёЛКА", ru, cache)), std::vector<std::string>{"Ёлка в офисе"});
        EXPECT_TRUE(filteredRecordings(list, "елка", ru, cache).empty());
        EXPECT_TRUE(filteredRecordings(list, "планерка", ru, cache).empty());
        EXPECT_EQ(names(filteredRecordings(list, "молоко", ru, cache)), std::vector<std::string>{"Заметка"});
        // The speaker's shown name and the text are joined as the plain text joins them.
        EXPECT_EQ(names(filteredRecordings(list, "анна: всем", ru, cache)), std::vector<std::string>{"Созвон"});
        EXPECT_EQ(filteredRecordings(list, " \t", ru, cache).size(), 4u);
    }
    EXPECT_FALSE(isSearching("  \n\t"));
    EXPECT_TRUE(isSearching(" а "));

    // Composed and decomposed ё are the same letter.
    auto decomposed = recording(QStringLiteral("Е\u0308лка").toStdString(), at(2025, 3, 1));
    EXPECT_EQ(filteredRecordings({decomposed}, "ёлка", ru).size(), 1u);
    // The locale decides the case pairs: Turkish dotless ı is the lower case of I.
    EXPECT_EQ(filteredRecordings({recording("ILIK", at(2025, 3, 1))}, "ılık", QLocale("tr_TR")).size(), 1u);
}

TEST(LibraryLogicTest, SearchIndexFollowsChangedRecordings)
{
    const QLocale ru = russianLocale();
    std::vector<Recording> list{recording("Первая", at(2025, 3, 5)), recording("Вторая", at(2025, 3, 4))};
    list[1].transcript = transcriptOf({{"A", "бюджет", 0, 1}});
    SearchIndex index;
    EXPECT_EQ(names(filteredRecordings(list, "бюджет", ru, &index)), std::vector<std::string>{"Вторая"});

    // Without invalidate() the index keeps what it folded; after it, changes are seen.
    list[0].name = "Бюджет на год";
    list[1].transcript->segments->at(0).text = "сроки";
    index.invalidate();
    EXPECT_EQ(names(filteredRecordings(list, "бюджет", ru, &index)), std::vector<std::string>{"Бюджет на год"});
    list[1].transcript->speakerLabels = std::map<std::string, std::string>{{"A", "Борис"}};
    index.invalidate();
    EXPECT_EQ(names(filteredRecordings(list, "борис", ru, &index)), std::vector<std::string>{"Вторая"});
}

TEST(LibraryLogicTest, PreviewPrefersSummaryThenTranscriptThenDuration)
{
    auto r = recording("r", at(2025, 3, 5));
    EXPECT_EQ(previewText(r), "");
    r.duration = 75;
    EXPECT_EQ(previewText(r), "1:15");
    r.transcript = transcriptOf({{"A", "первая\nстрока", 0, 1}, {"B", "ответ\t ", 1, 2}});
    EXPECT_EQ(previewText(r), "A: первая строка  B: ответ");
    r.transcript->speakerLabels = std::map<std::string, std::string>{{"A", "Анна"}};
    EXPECT_EQ(previewText(r, 12), "Анна: первая");
    r.summary = Summary{"m", at(2025, 3, 5), ""};
    EXPECT_EQ(previewText(r), "Анна: первая строка  B: ответ");
    r.summary->text = " \t Итоги\nвстречи\t";
    EXPECT_EQ(previewText(r), "Итоги встречи");
    r.summary->text = "\n";
    EXPECT_EQ(previewText(r), "");
    // A transcript with nothing in it falls through to the duration.
    r.summary.reset();
    r.transcript = Transcript{};
    EXPECT_EQ(previewText(r), "1:15");
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
    r.transcript = transcriptOf({});
    r.transcript->text = "";
    EXPECT_EQ(statusBadge(r, failed).text, "Пустая расшифровка");
    r.transcript->text = "есть текст";
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
