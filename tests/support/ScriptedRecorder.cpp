#include "ScriptedRecorder.h"

namespace palaverly::test {

TranscribingState ScriptedRecorder::transcribingState(const Uuid& id) const
{
    const auto it = m_transcribing.find(id);
    return it == m_transcribing.end() ? TranscribingState{} : it->second;
}

SummarizingState ScriptedRecorder::summarizingState(const Uuid& id) const
{
    const auto it = m_summarizing.find(id);
    return it == m_summarizing.end() ? SummarizingState{} : it->second;
}

void ScriptedRecorder::toggleMeeting()
{
    ++meetingToggles;
    if (isRecording())
        stopRecording();
}

void ScriptedRecorder::toggleNote()
{
    ++noteToggles;
    if (isRecording())
        stopRecording();
}

void ScriptedRecorder::startRecording(
    const Uuid& id, RecordingKind kind, std::chrono::system_clock::time_point startedAt)
{
    m_currentID = id;
    m_kind = kind;
    m_startedAt = startedAt;
    emit recordingStateChanged();
    emit currentRecordingIDChanged();
}

void ScriptedRecorder::stopRecording()
{
    m_currentID.reset();
    emit currentRecordingIDChanged();
    m_kind.reset();
    m_startedAt.reset();
    m_level = 0;
    emit recordingStateChanged();
}

void ScriptedRecorder::setInputLevel(float level)
{
    m_level = level;
    emit inputLevelChanged();
}

void ScriptedRecorder::setCaptureWarning(std::optional<std::string> warning)
{
    m_warning = std::move(warning);
    emit captureWarningChanged();
}

void ScriptedRecorder::setTranscribing(const Uuid& id, TranscribingState state)
{
    if (state.kind == TranscribingState::Kind::idle)
        m_transcribing.erase(id);
    else
        m_transcribing[id] = std::move(state);
    emit transcribingStatesChanged();
}

void ScriptedRecorder::setSummarizing(const Uuid& id, SummarizingState state)
{
    if (state.kind == SummarizingState::Kind::idle)
        m_summarizing.erase(id);
    else
        m_summarizing[id] = std::move(state);
    emit summarizingStatesChanged();
}

} // namespace palaverly::test
