#pragma once

#include "common/IsoDate.h"
#include "common/Uuid.h"
#include "model/RecordingKind.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace palaverly {

// The content of meta.json.
struct RecordingMeta {
    Uuid id;
    std::string name;
    Timestamp createdAt{};
    double duration = 0;
    RecordingKind kind = RecordingKind::meeting;

    nlohmann::json toJson() const;
    // "kind" is optional (meeting when missing or unknown); the other four keys are required.
    static std::optional<RecordingMeta> fromJson(const nlohmann::json& object);

    bool operator==(const RecordingMeta&) const = default;
};

} // namespace palaverly
