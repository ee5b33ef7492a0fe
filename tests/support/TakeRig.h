#pragma once

#include "dictation/DictationManager.h"

#include "RecorderRig.h"
#include "SteppedTone.h"

#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace palaverly::test {

// Takes of the three kinds (a note, a dictation, a meeting) with a stepped tone playing into the
// virtual microphone all along (SteppedTone on kMicSink), as the real sound server records them: what the note's or
// the meeting's audio.wav holds, or the WAV a dictation uploaded to the loopback speech service,
// with the moments of the tone heard when the take was started and stopped. The take is started
// and stopped the way the key or the menu does it (the model's toggles, the manager's start and
// stop). Needs run-with-services.sh.
class TakeRig {
public:
    enum class Kind { note, dictation, meeting };

    struct Take {
        std::vector<float> samples; // mono, 48 kHz
        double startHeard = 0; // seconds into the tone when the take was started
        double stopHeard = 0; // ...and when it was stopped
        std::string failure; // why there is no take, when samples is empty
        bool toneDroppedOut = false; // the tone itself ran dry meanwhile: the take measures nothing
    };

    // A fresh program (recorder and dictation), as just started; `tone` outlives it.
    explicit TakeRig(SteppedTone& tone);

    // One take of `holdSeconds`, the event loop running meanwhile.
    Take take(Kind kind, double holdSeconds);

    static const char* name(Kind kind);

    RecorderRig recorder;

private:
    std::vector<float> readAudio(const std::string& bytesOrPath, bool isPath);

    QTemporaryDir m_temporary;
    SteppedTone& m_tone;
    DictationManager m_dictation;
};

} // namespace palaverly::test
