#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace palaverly {

// Points in time in the files are whole seconds in UTC.
using Timestamp = std::chrono::sys_seconds;

// "2026-03-05T09:41:07Z".
std::string formatIsoDate(Timestamp time);

// Internet date-time with whole seconds: "Z" or a "+hh:mm"/"-hh:mm" offset. Fractional seconds,
// missing parts and out-of-range fields are rejected.
std::optional<Timestamp> parseIsoDate(std::string_view text);

// The current time, truncated to whole seconds.
Timestamp nowSeconds();

} // namespace palaverly
