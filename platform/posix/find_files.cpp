// SPDX-License-Identifier: MIT
// Wildcard file search: "*" and "?" in the last path component, letter case
// ignored as the Windows file search does, results in sorted order.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "platform/platform.h"

namespace platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

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
bool Matches(std::string_view pattern, std::string_view name) {
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

bool HasWildcard(std::string_view pattern) {
    const std::size_t slash = pattern.find_last_of(kPathSeparator);
    const std::string_view last =
        slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
    return last.find_first_of("*?") != std::string_view::npos;
}

std::vector<FoundFile> FindFiles(const std::string& pattern) {
    std::vector<FoundFile> found;
    if (pattern.empty()) {
        return found;
    }
    const std::size_t slash = pattern.find_last_of(kPathSeparator);
    std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    const std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (last.empty()) {
        return found;
    }
    UniqueDir dir(::opendir(folder.c_str()));
    if (!dir) {
        return found;
    }
    const bool wildcard = HasWildcard(last);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (!Matches(last, name)) {
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
    std::sort(found.begin(), found.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
    if (!wildcard && found.size() > 1) {
        // A plain name that several entries match when case is ignored names
        // the entry spelled exactly so, if there is one.
        const auto exact = std::find_if(found.begin(), found.end(),
                                        [&](const FoundFile& f) { return f.name == last; });
        if (exact != found.end()) {
            FoundFile keep = *exact;
            found.assign(1, keep);
        }
    }
    return found;
}

}  // namespace platform
