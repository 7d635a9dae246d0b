// SPDX-License-Identifier: MIT
// Private-profile (INI) files: "[Section]" lines and "Key=Value" lines, with
// sections and keys matched regardless of letter case, read the way the
// Windows private-profile calls read them. Writes keep every other line as
// it stands and replace the file atomically. Our own reader on every system,
// so an INI file means the same on Linux and Windows.
#include "platform/profile_file.h"

#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace platform {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool ReadAll(const std::string& path, std::string& content) {
    File file;
    std::string ignored;
    if (OpenFileForReading(path, file, ignored) != FileStatus::kOk) {
        return false;
    }
    char buffer[8192];
    for (;;) {
        std::size_t got = 0;
        if (!file.Read(buffer, &got)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        content.append(buffer, got);
    }
}

std::vector<std::string_view> SplitLines(std::string_view content) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t end = content.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The section name of a "[Name]" line.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') {
        return std::nullopt;
    }
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(line.substr(1, close - 1));
}

// The key of a "Key=Value" line, and its value.
bool SplitEntry(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') {
        return false;
    }
    const std::size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    key = Trim(trimmed.substr(0, equals));
    value = Trim(trimmed.substr(equals + 1));
    return true;
}

std::optional<std::string> FindValue(std::string_view section, std::string_view key,
                                     const std::string& path) {
    std::string content;
    if (!ReadAll(path, content)) {
        return std::nullopt;
    }
    bool inSection = false;
    for (std::string_view line : SplitLines(content)) {
        if (const auto name = SectionOf(line)) {
            inSection = EqualsIgnoringCase(*name, section);
            continue;
        }
        std::string_view lineKey;
        std::string_view value;
        if (inSection && SplitEntry(line, lineKey, value) && EqualsIgnoringCase(lineKey, key)) {
            return std::string(value);
        }
    }
    return std::nullopt;
}

// Writes `content` to a new file beside `path` that then replaces it, so a
// reader never sees half a file; the old file's permissions stay.
bool ReplaceFile(const std::string& path, const std::string& content) {
    PendingFile pending;
    std::string ignored;
    return pending.Create(path, ignored) == FileStatus::kOk && pending.file().WriteAll(content) &&
           pending.Commit(ignored) == FileStatus::kOk;
}

}  // namespace

int ReadProfileInt(std::string_view section, std::string_view key, int fallback,
                   const std::string& path) {
    const auto value = FindValue(section, key, path);
    if (!value) {
        return fallback;
    }
    std::size_t i = 0;
    bool negative = false;
    if (i < value->size() && ((*value)[i] == '-' || (*value)[i] == '+')) {
        negative = (*value)[i] == '-';
        ++i;
    }
    long long number = 0;
    for (; i < value->size() && (*value)[i] >= '0' && (*value)[i] <= '9'; ++i) {
        number = number * 10 + ((*value)[i] - '0');
        if (number > INT_MAX) {
            return negative ? INT_MIN : INT_MAX;
        }
    }
    return static_cast<int>(negative ? -number : number);
}

std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view fallback, const std::string& path) {
    const auto value = FindValue(section, key, path);
    return value ? *value : std::string(fallback);
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string& path) {
    std::string content;
    if (PathExists(path)) {
        if (!ReadAll(path, content)) {
            return false;
        }
    }
    // Keep the file's own line ends.
    const bool crlf = content.find("\r\n") != std::string::npos;
    const std::string_view eol = crlf ? "\r\n" : "\n";
    const std::string entry = std::string(key) + "=" + std::string(value);

    const std::vector<std::string_view> lines = SplitLines(content);
    std::string result;
    result.reserve(content.size() + entry.size() + section.size() + 8);
    bool inSection = false;
    bool written = false;
    std::size_t lastEntryEnd = std::string::npos;  // where the section's last line ends
    for (std::string_view line : lines) {
        if (const auto name = SectionOf(line)) {
            inSection = !written && EqualsIgnoringCase(*name, section);
            result.append(line).push_back('\n');
            if (inSection) {
                lastEntryEnd = result.size();
            }
            continue;
        }
        std::string_view lineKey;
        std::string_view lineValue;
        if (inSection && !written && SplitEntry(line, lineKey, lineValue) &&
            EqualsIgnoringCase(lineKey, key)) {
            result.append(entry).append(crlf ? "\r\n" : "\n");
            written = true;
            continue;
        }
        result.append(line).push_back('\n');
        if (inSection && !Trim(line).empty()) {
            lastEntryEnd = result.size();
        }
    }
    // Every line now ends in a line end, the last one included.
    if (!written) {
        if (lastEntryEnd != std::string::npos) {
            result.insert(lastEntryEnd, entry + std::string(eol));
        } else {
            result.append("[").append(section).append("]").append(eol);
            result.append(entry).append(eol);
        }
    }
    return ReplaceFile(path, result);
}

}  // namespace platform
