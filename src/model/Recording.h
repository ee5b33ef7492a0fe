#pragma once

#include "model/FileStamp.h"
#include "model/RecordingMeta.h"
#include "model/Summary.h"
#include "model/Transcript.h"

#include <filesystem>
#include <string>

namespace palaverly {

// What the list needs of a transcript, without its turns: a library of hour-long recordings would
// otherwise hold every transcript in memory. RecordingStore::transcript reads the whole one.
struct TranscriptInfo {
    // plainText() is cut after this many bytes (at a character boundary): a row shows two lines.
    static constexpr std::size_t kPreviewBytes = 1600;

    // The version of transcript.json described.
    FileStamp file;
    // Segments present and not empty; text present and not empty.
    bool hasSegments = false;
    bool hasText = false;
    std::optional<long long> numSpeakers;
    // The beginning of plainText().
    std::string preview;

    // plainText() is not empty.
    bool hasContent() const { return hasSegments || hasText; }
    static TranscriptInfo of(const Transcript& transcript, const FileStamp& file = {});

    bool operator==(const TranscriptInfo&) const = default;
};

// One recording as the program sees it; assembled by RecordingStore from a recording folder.
struct Recording {
    Uuid id;
    std::string name;
    Timestamp createdAt{};
    double duration = 0;
    RecordingKind kind = RecordingKind::meeting;
    // The recording's folder. Its files are named after it on demand: a std::filesystem::path
    // holds a copy of each of its components besides its text, and a library holds thousands.
    std::string directory;
    // Present when transcript.json exists and decodes.
    std::optional<TranscriptInfo> transcript;
    std::optional<Summary> summary;

    std::filesystem::path directoryURL() const { return directory; }
    std::filesystem::path audioURL() const { return file("audio.wav"); }
    std::filesystem::path transcriptURL() const { return file("transcript.json"); }
    std::filesystem::path summaryURL() const { return file("summary.json"); }
    std::filesystem::path metaURL() const { return file("meta.json"); }

    bool operator==(const Recording&) const = default;

private:
    // Empty while the recording has no folder.
    std::filesystem::path file(const char* name) const
    {
        return directory.empty() ? std::filesystem::path() : std::filesystem::path(directory) / name;
    }
};

} // namespace palaverly
