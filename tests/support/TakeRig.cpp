#include "TakeRig.h"

#include "QtWait.h"
#include "WavFile.h"

#include <chrono>
#include <fstream>

namespace palaverly::test {

namespace {

DictationManager::Dependencies dictationDependencies(ASRClient& speech, const QTemporaryDir& temporary)
{
    DictationManager::Dependencies deps; // the real microphone
    deps.transcriber = fixedTranscriber(speech);
    deps.sleeper = std::make_shared<RecordingSleeper>();
    deps.paste = [](const std::string&) {};
    deps.temporaryRoot = temporary.path().toStdString();
    return deps;
}

} // namespace

TakeRig::TakeRig(SteppedTone& tone)
    : m_tone(tone)
    , m_dictation(dictationDependencies(recorder.asr, m_temporary))
{
}

const char* TakeRig::name(Kind kind)
{
    switch (kind) {
    case Kind::note:
        return "note";
    case Kind::dictation:
        return "dictation";
    case Kind::meeting:
        return "meeting";
    }
    return "";
}

std::vector<float> TakeRig::readAudio(const std::string& bytesOrPath, bool isPath)
{
    std::string path = bytesOrPath;
    if (!isPath) {
        path = m_temporary.filePath(QStringLiteral("upload.wav")).toStdString();
        std::ofstream(path, std::ios::binary) << bytesOrPath;
    }
    const auto wav = readWav(path);
    return wav ? wav->samples : std::vector<float>{};
}

TakeRig::Take TakeRig::take(Kind kind, double holdSeconds)
{
    using Clock = std::chrono::steady_clock;
    Take take;
    RecorderModel& model = *recorder.model;
    const size_t uploadsBefore = recorder.speech.uploads().size();
    const int dropoutsBefore = m_tone.dropouts();
    const auto pressed = Clock::now();
    if (kind == Kind::dictation)
        m_dictation.start();
    else if (kind == Kind::note)
        model.toggleNote();
    else
        model.toggleMeeting();
    take.startHeard = m_tone.heardAt(pressed);
    const bool started = kind == Kind::dictation
        ? m_dictation.state().kind == DictationManager::State::Kind::recording
        : waitUntil([&] { return model.isRecording() || model.lastError(); }, 6000) && model.isRecording();
    const auto id = model.currentRecordingID();
    if (!started) {
        take.failure = std::string(name(kind)) + " did not start: " + model.lastError().value_or("");
        return take;
    }
    settle(static_cast<int>(
        holdSeconds * 1000 - std::chrono::duration<double, std::milli>(Clock::now() - pressed).count()));
    const auto released = Clock::now();
    if (kind == Kind::dictation)
        m_dictation.stop();
    else
        model.stopCurrent();
    take.stopHeard = m_tone.heardAt(released);
    take.toneDroppedOut = m_tone.dropouts() != dropoutsBefore;

    if (kind == Kind::dictation) {
        if (!waitUntil([&] { return recorder.speech.uploads().size() > uploadsBefore; })) {
            take.failure = "the dictation uploaded nothing";
            return take;
        }
        take.samples = readAudio(recorder.speech.uploads().back().audio, false);
        waitUntil([&] { return m_dictation.state().kind == DictationManager::State::Kind::idle; });
    } else {
        const Recording* recording = id ? recorder.store.recording(*id) : nullptr;
        if (recording)
            take.samples = readAudio(recording->audioURL().string(), true);
    }
    if (take.samples.empty())
        take.failure = std::string(name(kind)) + " left no audio";
    return take;
}

} // namespace palaverly::test
