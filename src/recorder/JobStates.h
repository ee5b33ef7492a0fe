#pragma once

#include <string>
#include <utility>

namespace palaverly {

// State of the transcription job of one recording. A recording without an entry is idle.
struct TranscribingState {
    // queued: a retry waits for the one before it to end.
    enum class Kind { idle, queued, running, failed };
    Kind kind = Kind::idle;
    // running: "uploading" or "processing"; failed: the error text.
    std::string detail;

    static TranscribingState queued() { return {Kind::queued, {}}; }
    static TranscribingState running(std::string stage) { return {Kind::running, std::move(stage)}; }
    static TranscribingState failed(std::string message) { return {Kind::failed, std::move(message)}; }
    bool operator==(const TranscribingState&) const = default;
};

// State of the summary job of one recording. A recording without an entry is idle.
struct SummarizingState {
    enum class Kind { idle, running, failed };
    Kind kind = Kind::idle;
    std::string message; // failed: the error text

    static SummarizingState running() { return {Kind::running, {}}; }
    static SummarizingState failed(std::string message) { return {Kind::failed, std::move(message)}; }
    bool operator==(const SummarizingState&) const = default;
};

} // namespace palaverly
