// SPDX-License-Identifier: MIT
// What the file and lock tests share: a whole save through PendingFile, the
// names a save leaves in a folder, and folders deeper than Windows' old limit.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"

namespace platform {

// A folder name below `root` longer than 260 characters, the old limit of
// Windows paths.
inline std::string DeepFolderName(std::string root) {
    while (root.size() <= 300) {
        root = JoinPath(root, "a-folder-deep-in-the-tree");
    }
    return root;
}

// Saves `content` at `path` as a conversion does: create, write, commit.
inline FileStatus Save(const std::string& path, std::string_view content, std::string& error) {
    PendingFile pending;
    const FileStatus status = pending.Create(path, error);
    if (status != FileStatus::kOk) {
        return status;
    }
    if (!pending.file().WriteAll(content)) {
        error = pending.file().ErrorText();
        return FileStatus::kFailed;
    }
    return pending.Commit(error);
}

// The names in a folder, sorted, so a test can see what a save left behind.
inline std::vector<std::string> Entries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace platform
