// SPDX-License-Identifier: MIT
// Wildcard file search on Windows: FindFirstFileW/FindNextFileW list the
// folder, the shared wildcard rules pick the matches (the system's own
// matching also tries 8.3 short names).
#include "platform/find_files.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/find_files_backend.h"
#include "platform/paths.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

struct FindCloser {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
using UniqueFind = std::unique_ptr<void, FindCloser>;

}  // namespace

namespace detail {

std::vector<FoundFile> ListMatches(const std::string& folder, std::string_view last) {
    std::vector<FoundFile> found;
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
    return found;
}

}  // namespace detail
}  // namespace platform
