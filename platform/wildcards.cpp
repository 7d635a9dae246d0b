// SPDX-License-Identifier: MIT
// Wildcard matching for the file search, the same on every system: "*" and
// "?" in the last path component, ASCII letter case ignored, "?" one UTF-8
// character. Matching is ours rather than the system's, because Windows also
// matches a pattern against short 8.3 names ("*.csv" finding "a.csvx").
#include <algorithm>
#include <string>
#include <string_view>

#include "platform/ascii.h"
#include "platform/find_files.h"
#include "platform/path_names.h"
#include "platform/paths.h"
#include "platform/utf8_stepping.h"

namespace platform {
namespace {

// Iterative matcher with one backtrack point for the last "*" seen.
bool MatchesIgnoringCase(std::string_view pattern, std::string_view name) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += StepUtf8(name, n).length;
        } else if (p < pattern.size() && AsciiLower(pattern[p]) == AsciiLower(name[n])) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            starN += StepUtf8(name, starN).length;
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    return MatchesIgnoringCase(pattern, name);
}

bool HasWildcard(std::string_view pattern) {
    return FileNameOf(pattern).find_first_of("*?") != std::string_view::npos;
}

void OrderFoundFiles(std::vector<FoundFile>& found, std::string_view lastComponent) {
    std::sort(found.begin(), found.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
    if (!HasWildcard(lastComponent) && found.size() > 1) {
        const auto exact = std::find_if(found.begin(), found.end(), [&](const FoundFile& f) {
            return f.name == lastComponent;
        });
        if (exact != found.end()) {
            FoundFile keep = *exact;
            found.assign(1, keep);
        }
    }
}

}  // namespace platform
