#include "ui/logic/RecorderModelLink.h"

#include "recorder/RecorderModel.h"

namespace palaverly {

RecorderModelLink::RecorderModelLink(RecorderModel& model, QObject* parent)
    : RecorderModelLink(model, Services{}, parent)
{
}

RecorderModelLink::RecorderModelLink(RecorderModel& model, Services services, QObject* parent)
    : LibraryRecorder(parent)
    , m_model(model)
    , m_services(std::move(services))
{
    connect(&model, &RecorderModel::isRecordingChanged, this, &LibraryRecorder::recordingStateChanged);
    connect(&model, &RecorderModel::currentKindChanged, this, &LibraryRecorder::recordingStateChanged);
    connect(&model, &RecorderModel::recordingStartedAtChanged, this, &LibraryRecorder::recordingStateChanged);
    connect(&model, &RecorderModel::currentRecordingIDChanged, this, &LibraryRecorder::currentRecordingIDChanged);
    connect(&model, &RecorderModel::inputLevelChanged, this, &LibraryRecorder::inputLevelChanged);
    connect(&model, &RecorderModel::captureWarningChanged, this, &LibraryRecorder::captureWarningChanged);
    connect(&model, &RecorderModel::transcribingStatesChanged, this, &LibraryRecorder::transcribingStatesChanged);
    connect(&model, &RecorderModel::summarizingStatesChanged, this, &LibraryRecorder::summarizingStatesChanged);
}

bool RecorderModelLink::isRecording() const
{
    return m_model.isRecording();
}

std::optional<RecordingKind> RecorderModelLink::currentKind() const
{
    return m_model.currentKind();
}

std::optional<Uuid> RecorderModelLink::currentRecordingID() const
{
    return m_model.currentRecordingID();
}

std::optional<std::chrono::system_clock::time_point> RecorderModelLink::recordingStartedAt() const
{
    return m_model.recordingStartedAt();
}

float RecorderModelLink::inputLevel() const
{
    return m_model.inputLevel();
}

std::optional<std::string> RecorderModelLink::captureWarning() const
{
    return m_model.captureWarning();
}

TranscribingState RecorderModelLink::transcribingState(const Uuid& id) const
{
    return m_model.transcribingState(id);
}

SummarizingState RecorderModelLink::summarizingState(const Uuid& id) const
{
    return m_model.summarizingState(id);
}

void RecorderModelLink::retryTranscription(const std::vector<Uuid>& ids)
{
    m_model.retryTranscription(ids);
}

void RecorderModelLink::toggleMeeting()
{
    m_model.toggleMeeting();
}

void RecorderModelLink::toggleNote()
{
    m_model.toggleNote();
}

void RecorderModelLink::resummarize(const Recording& recording)
{
    m_model.resummarize(recording);
}

bool RecorderModelLink::transcriptionServiceSetUp() const
{
    return !m_services.transcriptionSetUp || m_services.transcriptionSetUp();
}

void RecorderModelLink::openServiceSettings()
{
    if (m_services.openSettings)
        m_services.openSettings();
}

} // namespace palaverly
