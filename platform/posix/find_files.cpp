// SPDX-License-Identifier: MIT
// Wildcard file search on POSIX: the folder's entries through readdir,
// matched by the shared wildcard rules, in sorted order.
#include "platform/find_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "platform/paths.h"

namespace platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

}  // namespace

std::vector<FoundFile> FindFiles(const std::string& pattern) {
    std::vector<FoundFile> found;
    if (pattern.empty()) {
        return found;
    }
    const std::size_t slash = LastSeparator(pattern);
    std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    const std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (last.empty()) {
        return found;
    }
    UniqueDir dir(::opendir(folder.c_str()));
    if (!dir) {
        return found;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (!MatchesWildcard(last, name)) {
            continue;
        }
        FoundFile file;
        file.name = std::string(name);
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            file.isDirectory = IsDirectory(folder + "/" + file.name);
        } else {
            file.isDirectory = entry->d_type == DT_DIR;
        }
        found.push_back(std::move(file));
    }
    OrderFoundFiles(found, last);
    return found;
}

}  // namespace platform
