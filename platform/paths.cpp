// SPDX-License-Identifier: MIT
// Splitting and joining paths with the separators of the platform built for.
#include "platform/paths.h"

#include <string>
#include <string_view>

namespace platform {

std::size_t LastSeparator(std::string_view path) {
    for (std::size_t i = path.size(); i-- > 0;) {
        if (IsPathSeparator(path[i])) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (!joined.empty() && !IsPathSeparator(joined.back())) {
        joined += kPathSeparator;
    }
    joined += name;
    return joined;
}

}  // namespace platform
