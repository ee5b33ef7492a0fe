#pragma once

#include <filesystem>

namespace palaverly::bench {

// Fills `base` (a library folder) with `count` recordings, half meetings and half notes, each
// with a transcript of one hour of speech: 900 turns of 6 to 15 Russian words, three speakers.
void seedLibrary(const std::filesystem::path& base, int count);

// The value of "--name N" among the arguments, or `fallback`.
int intArgument(int argc, char** argv, const char* name, int fallback);

} // namespace palaverly::bench
