#pragma once

#include "model/RecordingMeta.h"
#include "model/Summary.h"
#include "model/Transcript.h"

#include <filesystem>

namespace palaverly {

// One recording as the program sees it; assembled by RecordingStore from a recording folder.
struct Recording {
    Uuid id;
    std::string name;
    Timestamp createdAt{};
    double duration = 0;
    RecordingKind kind = RecordingKind::meeting;
    std::filesystem::path directoryURL;
    std::filesystem::path audioURL;
    std::filesystem::path transcriptURL;
    std::filesystem::path summaryURL;
    std::filesystem::path metaURL;
    std::optional<Transcript> transcript;
    std::optional<Summary> summary;

    bool operator==(const Recording&) const = default;
};

} // namespace palaverly
