// SPDX-License-Identifier: MIT
// Profile (INI) files, read and written by our own code on every system.
// Sections and keys match without regard to letter case. A missing or
// unreadable file reads as empty.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The key's value as a decimal integer: leading blanks and an optional sign,
// then digits up to the first non-digit. `fallback` when the file, section or
// key is missing; 0 when the value holds no digits.
int ReadProfileInt(std::string_view section, std::string_view key, int fallback,
                   const std::string& path);

// The key's value with surrounding blanks removed, or `fallback`.
std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view fallback, const std::string& path);

// Sets the key's value, creating the file, section or key as needed; every
// other line of the file is kept as it stands. The new file is written beside
// the old one and renamed over it, so a reader never sees half a file. False
// when the file cannot be written.
[[nodiscard]] bool WriteProfileString(std::string_view section, std::string_view key,
                                      std::string_view value, const std::string& path);

}  // namespace platform
