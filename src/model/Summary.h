#pragma once

#include "common/IsoDate.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace palaverly {

// The content of summary.json.
struct Summary {
    std::string model;
    Timestamp createdAt{};
    std::string text;

    nlohmann::json toJson() const;
    static std::optional<Summary> fromJson(std::string_view text);

    bool operator==(const Summary&) const = default;
};

} // namespace palaverly
