#pragma once

#include <array>
#include <string_view>

namespace palaverly {

enum class RecordingKind { meeting, note };

// The order in which the program walks over both kinds.
inline constexpr std::array<RecordingKind, 2> kRecordingKinds{RecordingKind::meeting, RecordingKind::note};

inline std::string_view rawValue(RecordingKind kind)
{
    return kind == RecordingKind::note ? "note" : "meeting";
}

// The sub-folder of the library that holds recordings of this kind.
inline std::string_view folderName(RecordingKind kind)
{
    return kind == RecordingKind::note ? "notes" : "meetings";
}

// Anything but "note" is a meeting (older files have no kind at all).
inline RecordingKind recordingKindFromRaw(std::string_view raw)
{
    return raw == "note" ? RecordingKind::note : RecordingKind::meeting;
}

} // namespace palaverly
