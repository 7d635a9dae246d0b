// SPDX-License-Identifier: MIT
// Wildcard file search on POSIX: the folder's entries through readdir,
// matched by the shared wildcard rules.
#include "platform/find_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "platform/find_files_backend.h"
#include "platform/paths.h"

namespace platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

}  // namespace

namespace detail {

std::vector<FoundFile> ListMatches(const std::string& prefix, std::string_view last) {
    std::vector<FoundFile> found;
    const std::string folder = prefix.empty() ? "." : prefix;
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
    return found;
}

}  // namespace detail
}  // namespace platform
