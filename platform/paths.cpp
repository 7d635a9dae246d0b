// SPDX-License-Identifier: MIT
// Splitting and joining paths with the separators of the platform built for.
#include "platform/paths.h"

#include <string>
#include <string_view>

#include "platform/path_names.h"

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

std::string_view FileNameOf(std::string_view path) {
    const std::size_t slash = LastSeparator(path);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view FolderPrefixOf(std::string_view path) {
    return path.substr(0, path.size() - FileNameOf(path).size());
}

std::string FolderOf(std::string_view path) {
    const std::size_t slash = LastSeparator(path);
    if (slash == std::string_view::npos) {
        return {};
    }
    // The root keeps its separator: "/", and on Windows "C:\" and "\", name
    // folders; "C:" alone means the current folder of drive C.
    constexpr bool kDriveLetters = kPathSeparator == '\\';
    const bool root = slash == 0 || (kDriveLetters && slash == 2 && path[1] == ':');
    return std::string(path.substr(0, root ? slash + 1 : slash));
}

std::string ContainingFolder(std::string_view path) {
    std::string folder = FolderOf(path);
    return folder.empty() ? std::string(".") : folder;
}

}  // namespace platform
