#include "ui/logic/DetailLogic.h"

#include <gtest/gtest.h>

using namespace palaverly;

namespace {

std::vector<TranscriptSegment> aabaSegments()
{
    return {{"A", "Привет.", 0.5, 2}, {"A", "Начнём.", 2, 4}, {"B", "Да.", 4, 5}, {"A", "Итак.", 6, 9}};
}

Transcript transcriptOf(std::vector<TranscriptSegment> segments)
{
    Transcript t;
    t.segments = std::move(segments);
    return t;
}

} // namespace

TEST(DetailLogicTest, HeaderTexts)
{
    const std::map<long long, const char*> words{{1, "спикер"}, {2, "спикера"}, {3, "спикера"}, {5, "спикеров"},
        {11, "спикеров"}, {12, "спикеров"}, {21, "спикер"}, {22, "спикера"}, {25, "спикеров"}, {111, "спикеров"}};
    for (const auto& [n, word] : words)
        EXPECT_EQ(speakersWord(n), word) << n;

    const Timestamp created(
        std::chrono::seconds(QDateTime(QDate(2025, 3, 5), QTime(9, 41), QTimeZone::utc()).toSecsSinceEpoch()));
    EXPECT_EQ(factsDateText(created, QTimeZone(3 * 3600)), "5 марта 2025, 12:41");
}

TEST(DetailLogicTest, PaneStates)
{
    Recording r;
    const auto running = SummarizingState::running();
    const auto failed = SummarizingState::failed("Нет сети");
    EXPECT_EQ(summaryPaneState(r, {}), SummaryPaneState::needsTranscript);
    EXPECT_EQ(summaryPaneState(r, running), SummaryPaneState::preparing);
    EXPECT_EQ(summaryPaneState(r, failed), SummaryPaneState::failed);
    r.transcript = transcriptOf(aabaSegments());
    EXPECT_EQ(summaryPaneState(r, {}), SummaryPaneState::generate);
    r.summary = Summary{"m", {}, "Итоги"};
    EXPECT_EQ(summaryPaneState(r, running), SummaryPaneState::summary);
    EXPECT_EQ(summaryPaneState(r, failed), SummaryPaneState::summary);

    const auto transcribing = TranscribingState::running("processing");
    EXPECT_EQ(transcriptPaneState(r, {}), TranscriptPaneState::turns);
    r.transcript->segments->clear();
    EXPECT_EQ(transcriptPaneState(r, transcribing), TranscriptPaneState::transcribing);
    r.transcript->text = "Просто текст";
    EXPECT_EQ(transcriptPaneState(r, transcribing), TranscriptPaneState::plainText);
    r.transcript.reset();
    EXPECT_EQ(transcriptPaneState(r, TranscribingState::failed("x")), TranscriptPaneState::missing);
    EXPECT_EQ(transcriptPaneState(r, TranscribingState::queued()), TranscriptPaneState::queued);
}

TEST(DetailLogicTest, TurnsSplitOnlyWhereTheSpeakerChanges)
{
    const auto groups = buildSpeakerGroups(aabaSegments());
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].speaker, "A");
    EXPECT_EQ(groups[0].segments.size(), 2u);
    EXPECT_EQ(groups[0].start, 0.5);
    EXPECT_EQ(groups[0].end, 4);
    EXPECT_EQ(groups[1].speaker, "B");
    EXPECT_EQ(groups[2].speaker, "A");
    EXPECT_EQ(groups[2].start, 6);
    EXPECT_NE(groups[0].id, groups[2].id);
    EXPECT_NE(buildSpeakerGroups(aabaSegments())[0].id, groups[0].id);
    EXPECT_EQ(turnCopyText(groups[0]), "Привет. Начнём.");
    EXPECT_TRUE(buildSpeakerGroups({}).empty());
    EXPECT_EQ(buildSpeakerGroups({{"", "безымянный", 0, 1}, {"", "тоже", 1, 2}}).size(), 1u);

    // The active turn: start inclusive, end exclusive; a gap between turns has none.
    EXPECT_EQ(activeGroupID(groups, false, true, 1), std::nullopt);
    EXPECT_EQ(activeGroupID(groups, true, false, 0), std::nullopt);
    EXPECT_EQ(activeGroupID(groups, true, true, 0), std::nullopt);
    EXPECT_EQ(activeGroupID(groups, true, true, 0.5), groups[0].id);
    EXPECT_EQ(activeGroupID(groups, true, false, 4), groups[1].id);
    EXPECT_EQ(activeGroupID(groups, true, true, 5.5), std::nullopt);
    EXPECT_EQ(activeGroupID(groups, true, true, 8.99), groups[2].id);
    EXPECT_EQ(activeGroupID(groups, true, true, 9), std::nullopt);
}

TEST(DetailLogicTest, SpeakerStatsInOrderOfFirstAppearance)
{
    auto transcript = transcriptOf({{"S2", "a", 0, 1}, {"S1", "b", 1, 2}, {"S2", "c", 2, 3}, {"S3", "d", 3, 4}});
    transcript.speakerLabels = std::map<std::string, std::string>{{"S1", "Анна"}, {"S3", ""}};
    EXPECT_EQ(
        speakerStats(transcript), (std::vector<SpeakerStat>{{"S2", "S2", 2}, {"S1", "Анна", 1}, {"S3", "S3", 1}}));
    EXPECT_TRUE(showsSpeakerChips(transcript));
    EXPECT_FALSE(showsSpeakerChips(transcriptOf({{"S1", "a", 0, 1}, {"S1", "b", 1, 2}})));
    EXPECT_FALSE(showsSpeakerChips(Transcript{}));
    EXPECT_TRUE(speakerStats(Transcript{}).empty());
}

TEST(DetailLogicTest, ChipClicksWalkTheSpeakersTurnsAndWrap)
{
    const auto segments = aabaSegments();
    EXPECT_EQ(turnStarts(segments, "A"), (std::vector<double>{0.5, 6}));
    EXPECT_EQ(turnStarts(segments, "B"), std::vector<double>{4});
    EXPECT_TRUE(turnStarts(segments, "C").empty());

    // Player stopped at 0: first turn, second turn, back to the first.
    std::map<std::string, double> lastSeek;
    EXPECT_EQ(chipJumpTarget(segments, "A", 0, lastSeek), 0.5);
    EXPECT_EQ(chipJumpTarget(segments, "A", 0, lastSeek), 6);
    EXPECT_EQ(chipJumpTarget(segments, "A", 0, lastSeek), 0.5);
    EXPECT_EQ(lastSeek.at("A"), 0.5);
    // Each chip remembers its own jumps.
    EXPECT_EQ(chipJumpTarget(segments, "B", 0, lastSeek), 4);
    EXPECT_EQ(chipJumpTarget(segments, "C", 0, lastSeek), std::nullopt);
    EXPECT_FALSE(lastSeek.count("C"));

    // Playing past A's last turn wraps to its first; a position just at a start counts as there.
    std::map<std::string, double> fresh;
    EXPECT_EQ(chipJumpTarget(segments, "A", 7.5, fresh), 0.5);
    std::map<std::string, double> atStart;
    EXPECT_EQ(chipJumpTarget(segments, "A", 5.995, atStart), 0.5);
    std::map<std::string, double> before;
    EXPECT_EQ(chipJumpTarget(segments, "A", 5.98, before), 6);
    // The position moving on beyond the last jump takes over.
    // A turn that starts at the very beginning is passed over by a click at 0.
    std::vector<double> fromZero;
    std::map<std::string, double> zero;
    const std::vector<TranscriptSegment> early{{"A", "a", 0, 1}, {"B", "b", 1, 2}, {"A", "c", 2, 3}};
    for (int i = 0; i < 3; ++i)
        fromZero.push_back(*chipJumpTarget(early, "A", 0, zero));
    EXPECT_EQ(fromZero, (std::vector<double>{2, 0, 2}));
    std::map<std::string, double> moving{{"A", 0.5}};
    EXPECT_EQ(chipJumpTarget(segments, "A", 3, moving), 6);
}
