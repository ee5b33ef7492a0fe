#pragma once

// The rules of the recording detail as plain functions: the header texts, which state each pane
// shows, the speaker turns, the active turn, the speaker chips and their jumps.

#include "model/Recording.h"
#include "recorder/JobStates.h"

#include <QString>
#include <QTimeZone>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace palaverly {

// "спикер", "спикера" or "спикеров" for n.
QString speakersWord(long long n);
// The creation time as the header shows it: "d MMMM yyyy, HH:mm" in Russian.
QString factsDateText(Timestamp createdAt, const QTimeZone& timeZone);

// What committing the name field does: the trimmed text when it is a new, non-empty name to save;
// nothing when the field should show the recording's name again.
std::optional<std::string> nameToCommit(const QString& fieldText, const std::string& currentName);

enum class SummaryPaneState { summary, preparing, failed, generate, needsTranscript };
SummaryPaneState summaryPaneState(const Recording& recording, const SummarizingState& state);

enum class TranscriptPaneState { turns, plainText, transcribing, queued, missing };
TranscriptPaneState transcriptPaneState(const Recording& recording, const TranscribingState& state);

// One displayed turn: consecutive segments of one speaker.
struct SpeakerGroup {
    Uuid id;
    std::string speaker;
    double start = 0;
    double end = 0;
    std::vector<TranscriptSegment> segments;
};

// Splits the segments into turns wherever the speaker changes; every turn gets a new id.
std::vector<SpeakerGroup> buildSpeakerGroups(const std::vector<TranscriptSegment>& segments);

// The turn under the playback position: none without a player, or when it stands at the start
// without playing.
std::optional<Uuid> activeGroupID(
    const std::vector<SpeakerGroup>& groups, bool hasPlayer, bool isPlaying, double currentTime);

// What "Скопировать реплику" copies: the texts of the turn's segments joined by single spaces.
QString turnCopyText(const SpeakerGroup& group);

struct SpeakerStat {
    std::string speaker;
    std::string displayName;
    int count = 0;
    bool operator==(const SpeakerStat&) const = default;
};

// One entry per speaker, in the order in which they first speak.
std::vector<SpeakerStat> speakerStats(const Transcript& transcript);
// The chips bar is shown for two or more distinct speakers.
bool showsSpeakerChips(const Transcript& transcript);

// Starts of the speaker's turns: its segments that open the transcript or follow another speaker.
std::vector<double> turnStarts(const std::vector<TranscriptSegment>& segments, const std::string& speaker);

// A click on a speaker's chip: the next turn start after max(now, the last jump of this chip),
// wrapping to the first. Records the jump in `lastSeek`; nothing when the speaker has no turns.
std::optional<double> chipJumpTarget(const std::vector<TranscriptSegment>& segments, const std::string& speaker,
    double now, std::map<std::string, double>& lastSeek);

// "Объединить «A» в «B»?"
QString mergeConfirmationTitle(const std::string& fromName, const std::string& intoName);

} // namespace palaverly
