// SPDX-License-Identifier: MIT
// What each system supplies for the wildcard file search: listing one folder.
// The portable side (find_files.cpp) splits the pattern and orders the result.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/find_files.h"

namespace platform::detail {

// The entries of `folder` whose names match `lastComponent` (MatchesWildcard),
// in the system's order. `folder` is empty for the current folder or ends in
// a separator. A folder that cannot be read gives an empty list.
std::vector<FoundFile> ListMatches(const std::string& folder, std::string_view lastComponent);

}  // namespace platform::detail
