#pragma once

#include "model/Recording.h"

#include <filesystem>
#include <vector>

namespace palaverly::bench {

// One seeded recording and its transcript.
struct SeedRecording {
    Recording recording;
    Transcript transcript;
};

// `count` recordings, newest first, half meetings and half notes, each with a transcript of one
// hour of speech: 900 turns of 6 to 15 Russian words, three speakers. Every fourth has names for
// two of its speakers, every third a summary. The same count gives the same texts.
std::vector<SeedRecording> makeRecordings(int count);

// Writes makeRecordings(count) into `base` (a library folder) the way the program stores them.
void seedLibrary(const std::filesystem::path& base, int count);

// The value of "--name N" among the arguments, or `fallback`.
int intArgument(int argc, char** argv, const char* name, int fallback);

} // namespace palaverly::bench
