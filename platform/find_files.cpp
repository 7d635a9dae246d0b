// SPDX-License-Identifier: MIT
// Wildcard file search, the same on every system: the pattern is split into
// its folder and last component here, the system lists the folder's matches
// (find_files_backend.h), and the result comes sorted.
#include "platform/find_files.h"

#include <string>
#include <vector>

#include "platform/find_files_backend.h"
#include "platform/path_names.h"
#include "platform/paths.h"

namespace platform {

std::vector<FoundFile> FindFiles(const std::string& pattern) {
    const std::string last(FileNameOf(pattern));
    if (last.empty()) {
        return {};
    }
    std::vector<FoundFile> found = detail::ListMatches(std::string(FolderPrefixOf(pattern)), last);
    OrderFoundFiles(found, last);
    return found;
}

}  // namespace platform
