// SPDX-License-Identifier: MIT
// Wildcard file search: "*" and "?" in the last component of a pattern,
// matched by our own rules on every system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct FoundFile {
    std::string name;  // the entry's name alone, without its folder
    bool isDirectory = false;
};

// Lists the entries of the pattern's folder whose names match its last
// component, where "*" stands for any run of characters and "?" for one
// character, ignoring letter case. A pattern without wildcards matches the
// one entry of that name. Entries come in sorted order (byte order of the
// names). Nothing matching, or a folder that cannot be read, gives an empty list.
std::vector<FoundFile> FindFiles(const std::string& pattern);

// True when `name` matches `pattern` (one path component): "*" any run of
// characters, "?" one character, ASCII letters without regard to case.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// True when the pattern's last component holds "*" or "?".
bool HasWildcard(std::string_view pattern);

// What both systems' FindFiles do with the entries they matched: sorts them
// by name and, for a `lastComponent` without wildcards that several entries
// match when case is ignored, keeps the one spelled exactly so, if any.
void OrderFoundFiles(std::vector<FoundFile>& found, std::string_view lastComponent);

}  // namespace platform
