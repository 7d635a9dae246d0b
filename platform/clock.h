// SPDX-License-Identifier: MIT
// Thread-safe breaking of times into calendar fields.
#pragma once

#include <ctime>

namespace platform {

// Breaks a time into the local calendar, thread-safely; false when it cannot.
[[nodiscard]] bool LocalTime(std::time_t time, std::tm* out);

// Breaks a time into the UTC calendar, thread-safely; false when it cannot.
[[nodiscard]] bool UtcTime(std::time_t time, std::tm* out);

}  // namespace platform
