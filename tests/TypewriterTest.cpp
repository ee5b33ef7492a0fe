#include "ui/logic/Typewriter.h"

#include "QtWait.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace palaverly;
using namespace std::chrono_literals;

TEST(TypewriterTest, StepsGrowByOneVisibleCharacter)
{
    EXPECT_EQ(typewriterSteps("Итоги"), (QStringList{"", "И", "Ит", "Ито", "Итог", "Итоги"}));
    EXPECT_EQ(typewriterSteps(""), QStringList{""});
    // A letter with a combining mark and a flag are one character each.
    const QString decomposed = QStringLiteral("и\u0306a");
    EXPECT_EQ(typewriterSteps(decomposed), (QStringList{"", QStringLiteral("и\u0306"), decomposed}));
    const QString flag = QStringLiteral("\U0001F1F7\U0001F1FA!");
    EXPECT_EQ(typewriterSteps(flag).size(), 3);
}

TEST(TypewriterTest, ShowsAtOnceUntilShownThenTypesChanges)
{
    Typewriter typewriter(1ms);
    typewriter.setText("Встреча — 5 мар.");
    EXPECT_EQ(typewriter.displayed(), "Встреча — 5 мар.");
    typewriter.appear();
    EXPECT_EQ(typewriter.displayed(), "Встреча — 5 мар.");
    EXPECT_FALSE(typewriter.isAnimating());

    QSignalSpy shown(&typewriter, &Typewriter::displayedChanged);
    typewriter.setText("Бюджет");
    ASSERT_TRUE(test::waitUntil([&] { return !typewriter.isAnimating(); }));
    QStringList seen;
    for (const auto& args : shown)
        seen << args.at(0).toString();
    EXPECT_EQ(seen, (QStringList{"", "Б", "Бю", "Бюд", "Бюдж", "Бюдже", "Бюджет"}));
}

TEST(TypewriterTest, AChangeDuringTheAnimationStartsOverWithTheNewText)
{
    Typewriter typewriter(20ms);
    typewriter.appear();
    typewriter.setText("Первый вариант");
    ASSERT_TRUE(test::waitUntil([&] { return typewriter.displayed().size() >= 3; }));
    QSignalSpy shown(&typewriter, &Typewriter::displayedChanged);
    typewriter.setText("Итог");
    ASSERT_TRUE(test::waitUntil([&] { return !typewriter.isAnimating(); }));
    QStringList seen;
    for (const auto& args : shown)
        seen << args.at(0).toString();
    EXPECT_EQ(seen, (QStringList{"", "И", "Ит", "Ито", "Итог"}));

    // Going away stops the typing where it stands.
    typewriter.setText("Ещё одно название");
    typewriter.disappear();
    EXPECT_FALSE(typewriter.isAnimating());
    EXPECT_EQ(typewriter.displayed(), "Е");
}
