// SPDX-License-Identifier: MIT
// Wildcard file search on Windows: FindFirstFileW/FindNextFileW list the
// folder, the shared wildcard rules pick the matches (the system's own
// matching also tries 8.3 short names), and the result comes sorted.
#include "platform/find_files.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/paths.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

struct FindCloser {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
using UniqueFind = std::unique_ptr<void, FindCloser>;

}  // namespace

std::vector<FoundFile> FindFiles(const std::string& pattern) {
    std::vector<FoundFile> found;
    if (pattern.empty()) {
        return found;
    }
    const std::size_t slash = LastSeparator(pattern);
    const std::string folder = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
    const std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (last.empty()) {
        return found;
    }
    WIN32_FIND_DATAW entry{};
    HANDLE first = FindFirstFileExW(windows::WidePath(folder + "*").c_str(), FindExInfoBasic,
                                    &entry, FindExSearchNameMatch, nullptr, 0);
    if (first == INVALID_HANDLE_VALUE) {
        return found;
    }
    UniqueFind search(first);
    do {
        const std::string name = windows::Narrow(entry.cFileName);
        if (name == "." || name == ".." || !MatchesWildcard(last, name)) {
            continue;
        }
        found.push_back({name, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search.get(), &entry));
    OrderFoundFiles(found, last);
    return found;
}

}  // namespace platform
