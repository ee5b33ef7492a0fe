#pragma once

#include "model/RecordingKind.h"

#include <chrono>
#include <string>
#include <string_view>

// The texts the recorder sends to the language model and how it reads the answers.
namespace palaverly::prompts {

struct ChatPrompt {
    std::string system;
    std::string user;
};

// "Встреча — 4 дек., 09:05": the kind's word, an em dash and "d MMM, HH:mm" in Russian, local time.
std::string defaultName(std::chrono::system_clock::time_point date, RecordingKind kind);

// The first `count` user-perceived characters (grapheme clusters) of `text`.
std::string leadingCharacters(std::string_view text, int count);

ChatPrompt titlePrompt(RecordingKind kind, std::string_view excerpt);
ChatPrompt summaryPrompt(RecordingKind kind, std::string_view transcript);

// The model's title answer without white space around it, a "Название:"/"Title:" lead-in,
// quotation marks and trailing full stops. May be empty.
std::string cleanTitle(std::string_view answer);

inline constexpr int kTitleExcerptCharacters = 2000;

} // namespace palaverly::prompts
