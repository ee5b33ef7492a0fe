#pragma once

#include "model/Recording.h"

#include <QDateTime>
#include <filesystem>

namespace palaverly::test {

// A library that looks lived in: meetings and notes spread over several months before `now`,
// one long meeting with four speakers (two of them named) and a summary, one note whose
// transcription failed, one with an empty transcript, one still being recorded.
struct DemoLibrary {
    Uuid longMeeting;
    Uuid failedNote;
    Uuid emptyTranscript;
    Uuid inProgress;
    Uuid transcribing;
    Uuid plainTextNote;
    Uuid crowdedMeeting;

    static DemoLibrary write(const std::filesystem::path& base, const QDateTime& now);
};

// A silent 48 kHz mono 16-bit WAV of the given length.
void writeSilentWav(const std::filesystem::path& path, double seconds);

} // namespace palaverly::test
