#pragma once

#include "common/IsoDate.h"
#include "common/Uuid.h"
#include "model/RecordingKind.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace palaverly {

// The content of meta.json.
struct RecordingMeta {
    Uuid id;
    std::string name;
    Timestamp createdAt{};
    double duration = 0;
    RecordingKind kind = RecordingKind::meeting;

    nlohmann::json toJson() const;
    // "kind" is optional: anything but "note" (missing, null, another string or type) is a
    // meeting. The other four keys are required.
    static std::optional<RecordingMeta> fromJson(std::string_view text);

    bool operator==(const RecordingMeta&) const = default;
};

} // namespace palaverly
