#include "recorder/ProcessingPrompts.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace palaverly::prompts;

TEST(ProcessingPromptsTest, DefaultNameUsesRussianShortMonthAndLocalTime)
{
    const QDateTime local(QDate(2026, 12, 4), QTime(9, 5), Qt::LocalTime);
    const std::chrono::system_clock::time_point date{std::chrono::milliseconds(local.toMSecsSinceEpoch())};
    EXPECT_EQ(defaultName(date, RecordingKind::meeting), "Встреча — 4 дек., 09:05");
    EXPECT_EQ(defaultName(date, RecordingKind::note), "Заметка — 4 дек., 09:05");
}

TEST(ProcessingPromptsTest, PromptsAreByteExact)
{
    EXPECT_EQ(summaryPrompt(RecordingKind::meeting, "x").system.size(), 721u);
    EXPECT_EQ(summaryPrompt(RecordingKind::note, "x").system.size(), 294u);
    EXPECT_EQ(summaryPrompt(RecordingKind::meeting, "Анна: Привет").user, "Расшифровка:\n\nАнна: Привет");
    EXPECT_EQ(summaryPrompt(RecordingKind::note, "текст").user, "Заметка:\n\nтекст");
    EXPECT_EQ(titlePrompt(RecordingKind::note, "abc").system,
        "Ты придумываешь короткое название заметки для списка записей. Ответь 3\u20136 словами на русском, "
        "без кавычек, без точки в конце, без вступлений. Только название, ничего больше.");
    EXPECT_NE(titlePrompt(RecordingKind::meeting, "abc").system.find("название встречи для"), std::string::npos);
    EXPECT_EQ(titlePrompt(RecordingKind::meeting, "abc").user, "Расшифровка:\n\nabc");
}

TEST(ProcessingPromptsTest, ExcerptCountsUserPerceivedCharacters)
{
    // "й" written as и + combining breve, and a flag made of two code points: one character each.
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "и\u0306🇷🇺ё";
    const std::string excerpt = leadingCharacters(text, 2000);
    std::string expected;
    for (int i = 0; i < 666; ++i)
        expected += "и\u0306🇷🇺ё";
    expected += "и\u0306🇷🇺";
    EXPECT_EQ(excerpt, expected);
    EXPECT_EQ(leadingCharacters("коротко", 2000), "коротко");
    EXPECT_EQ(leadingCharacters("", 2000), "");
}

TEST(ProcessingPromptsTest, TitleCleaning)
{
    EXPECT_EQ(cleanTitle("  «Название: „Планы на квартал“.»\n"), "Планы на квартал");
    EXPECT_EQ(cleanTitle("Название: „Планы на квартал“."), "Планы на квартал");
    EXPECT_EQ(cleanTitle("Title - Q3 plan"), "Title - Q3 plan");
    EXPECT_EQ(cleanTitle("TITLE: \"Q3 plan\""), "Q3 plan");
    EXPECT_EQ(cleanTitle("...."), "");
    EXPECT_EQ(cleanTitle("Встреча: итоги квартала"), "Встреча: итоги квартала"); // no title word before the colon
    EXPECT_EQ(cleanTitle("Очень длинное вступление про название: текст"),
        "Очень длинное вступление про название: текст"); // colon too far
    EXPECT_EQ(cleanTitle("'Обсуждение бюджета' и сроков."), "Обсуждение бюджета' и сроков");
}
