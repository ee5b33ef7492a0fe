#include "ui/logic/DetailLogic.h"

#include "ui/logic/LibraryLogic.h"

#include <algorithm>
#include <set>

namespace palaverly {

QString speakersWord(long long n)
{
    const long long mod10 = std::llabs(n) % 10;
    const long long mod100 = std::llabs(n) % 100;
    if (mod10 == 1 && mod100 != 11)
        return QStringLiteral("спикер");
    if (mod10 >= 2 && mod10 <= 4 && !(mod100 >= 12 && mod100 <= 14))
        return QStringLiteral("спикера");
    return QStringLiteral("спикеров");
}

QString factsDateText(Timestamp createdAt, const QTimeZone& timeZone)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(createdAt.time_since_epoch().count(), timeZone);
    return russianLocale().toString(local, QStringLiteral("d MMMM yyyy, HH:mm"));
}

std::optional<std::string> nameToCommit(const QString& fieldText, const std::string& currentName)
{
    const std::string trimmed = fieldText.trimmed().toStdString();
    if (trimmed.empty() || trimmed == currentName)
        return std::nullopt;
    return trimmed;
}

SummaryPaneState summaryPaneState(const Recording& recording, const SummarizingState& state)
{
    if (recording.summary)
        return SummaryPaneState::summary;
    switch (state.kind) {
    case SummarizingState::Kind::running:
        return SummaryPaneState::preparing;
    case SummarizingState::Kind::failed:
        return SummaryPaneState::failed;
    case SummarizingState::Kind::idle:
        break;
    }
    return recording.transcript ? SummaryPaneState::generate : SummaryPaneState::needsTranscript;
}

TranscriptPaneState transcriptPaneState(const Recording& recording, const TranscribingState& state)
{
    const auto& transcript = recording.transcript;
    if (transcript && !transcript->plainText().empty())
        return transcript->segments && !transcript->segments->empty() ? TranscriptPaneState::turns
                                                                      : TranscriptPaneState::plainText;
    switch (state.kind) {
    case TranscribingState::Kind::running:
        return TranscriptPaneState::transcribing;
    case TranscribingState::Kind::queued:
        return TranscriptPaneState::queued;
    case TranscribingState::Kind::idle:
    case TranscribingState::Kind::failed:
        break;
    }
    return TranscriptPaneState::missing;
}

std::vector<SpeakerGroup> buildSpeakerGroups(const std::vector<TranscriptSegment>& segments)
{
    std::vector<SpeakerGroup> groups;
    std::optional<std::string> current;
    std::vector<TranscriptSegment> run;
    const auto close = [&] {
        if (run.empty())
            return;
        groups.push_back({Uuid::generate(), *current, run.front().start, run.back().end, std::move(run)});
        run.clear();
    };
    for (const auto& segment : segments) {
        if (current && segment.speaker == *current) {
            run.push_back(segment);
            continue;
        }
        close();
        current = segment.speaker;
        run.push_back(segment);
    }
    close();
    return groups;
}

std::optional<Uuid> activeGroupID(
    const std::vector<SpeakerGroup>& groups, bool hasPlayer, bool isPlaying, double currentTime)
{
    if (!hasPlayer || (!isPlaying && currentTime <= 0))
        return std::nullopt;
    for (const auto& group : groups)
        if (group.start <= currentTime && currentTime < group.end)
            return group.id;
    return std::nullopt;
}

QString turnCopyText(const SpeakerGroup& group)
{
    QStringList parts;
    for (const auto& segment : group.segments)
        parts << QString::fromStdString(segment.text);
    return parts.join(QLatin1Char(' '));
}

std::vector<SpeakerStat> speakerStats(const Transcript& transcript)
{
    std::vector<SpeakerStat> stats;
    if (!transcript.segments)
        return stats;
    std::map<std::string, std::size_t> index;
    for (const auto& segment : *transcript.segments) {
        auto [it, isNew] = index.emplace(segment.speaker, stats.size());
        if (isNew)
            stats.push_back({segment.speaker, transcript.displayName(segment.speaker), 0});
        ++stats[it->second].count;
    }
    return stats;
}

bool showsSpeakerChips(const Transcript& transcript)
{
    if (!transcript.segments)
        return false;
    std::set<std::string> speakers;
    for (const auto& segment : *transcript.segments) {
        speakers.insert(segment.speaker);
        if (speakers.size() >= 2)
            return true;
    }
    return false;
}

std::vector<double> turnStarts(const std::vector<TranscriptSegment>& segments, const std::string& speaker)
{
    std::vector<double> starts;
    for (std::size_t i = 0; i < segments.size(); ++i)
        if (segments[i].speaker == speaker && (i == 0 || segments[i - 1].speaker != speaker))
            starts.push_back(segments[i].start);
    return starts;
}

std::optional<double> chipJumpTarget(const std::vector<TranscriptSegment>& segments, const std::string& speaker,
    double now, std::map<std::string, double>& lastSeek)
{
    const std::vector<double> starts = turnStarts(segments, speaker);
    if (starts.empty())
        return std::nullopt;
    const auto last = lastSeek.find(speaker);
    const double reference = std::max(now, last == lastSeek.end() ? -1.0 : last->second);
    const auto next
        = std::find_if(starts.begin(), starts.end(), [&](double start) { return start > reference + 0.01; });
    const double target = next == starts.end() ? starts.front() : *next;
    lastSeek[speaker] = target;
    return target;
}

QString mergeConfirmationTitle(const std::string& fromName, const std::string& intoName)
{
    return QStringLiteral("Объединить «") + QString::fromStdString(fromName) + QStringLiteral("» в «")
        + QString::fromStdString(intoName) + QStringLiteral("»?");
}

} // namespace palaverly
