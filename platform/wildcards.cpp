// SPDX-License-Identifier: MIT
// Wildcard matching for the file search, the same on every system: "*" and
// "?" in the last path component, ASCII letter case ignored, "?" one UTF-8
// character. Matching is ours rather than the system's, because Windows also
// matches a pattern against short 8.3 names ("*.csv" finding "a.csvx").
#include <algorithm>
#include <string>
#include <string_view>

#include "platform/find_files.h"
#include "platform/paths.h"

namespace platform {
namespace {

unsigned char Fold(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// Length of the UTF-8 character starting at `text[i]`, at least 1.
std::size_t CharacterLength(std::string_view text, std::size_t i) {
    std::size_t next = i + 1;
    while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) {
        ++next;
    }
    return next - i;
}

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
            n += CharacterLength(name, n);
        } else if (p < pattern.size() && Fold(static_cast<unsigned char>(pattern[p])) ==
                                             Fold(static_cast<unsigned char>(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            starN += CharacterLength(name, starN);
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
    const std::size_t slash = LastSeparator(pattern);
    const std::string_view last =
        slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
    return last.find_first_of("*?") != std::string_view::npos;
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
