// Points in time, written as ISO-8601 internet date-time in UTC to the whole second.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace rig {

using Date = std::chrono::sys_seconds;

// "2025-03-14T09:26:53Z"
std::string formatISODate(Date date);
// Strict: "YYYY-MM-DDTHH:MM:SS" followed by "Z" or a "+hh:mm"/"-hh:mm" offset.
std::optional<Date> parseISODate(std::string_view text);
// The current time, truncated to the second.
Date nowSeconds();

} // namespace rig
