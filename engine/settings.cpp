// SPDX-License-Identifier: MIT
// Defaults, the INI files and the type-override table of the settings record.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "engine/text_util.h"
#include "platform/platform.h"

namespace engine {
namespace {

constexpr std::string_view kCommonSection = "Common";
// One "%d=%s" entry: the column number, "=", the letter and what follows.
constexpr std::size_t kEntryCapacity = 128;

}  // namespace

void SetDefaultSettings(ConversionSettings* settings) {
    settings->overwriteFile = 0;
    settings->overwriteTable = 1;
    settings->openResult = 1;
    settings->workbookType = 0;
    settings->allCharacter = 1;
    settings->importRecords = 1;
    settings->delimiter = ',';
    CopyText(settings->numericChars, "0123456789,.-");
    CopyText(settings->booleanChars, "YyTtNnFf");
}

std::string ProgramIniPath(std::string_view programPath) {
    // Only the file name's extension goes: a "." in a folder name stays.
    const std::size_t slash = platform::LastSeparator(programPath);
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = programPath.find_last_of('.');
    std::string path(programPath);
    if (dot != std::string_view::npos && dot > nameStart) {
        path.resize(dot);
    }
    return path + ".ini";
}

std::string UserIniPath() {
    const std::string folder = platform::UserConfigFolder();
    return folder.empty() ? std::string() : platform::JoinPath(folder, "quendle.ini");
}

void LoadCommonSettingsFrom(ConversionSettings* settings, const std::string& programIni,
                            const std::string& userIni) {
    // The per-user file is read second, so its values win; a key missing
    // there keeps what the program's file (or the default) gave.
    for (const std::string* path : {&programIni, &userIni}) {
        if (path->empty()) {
            continue;
        }
        settings->logEnabled =
            platform::ReadProfileInt(kCommonSection, "Log", settings->logEnabled, *path);
        settings->overwriteFile =
            platform::ReadProfileInt(kCommonSection, "OverWrite", settings->overwriteFile, *path);
        settings->openResult =
            platform::ReadProfileInt(kCommonSection, "Open", settings->openResult, *path);
    }
}

void LoadCommonSettings(ConversionSettings* settings) {
    const std::string program = platform::ProgramPath();
    LoadCommonSettingsFrom(settings, program.empty() ? std::string() : ProgramIniPath(program),
                           UserIniPath());
}

std::int32_t LeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) {
            return negative ? INT_MIN : INT_MAX;
        }
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

void AddTypeOverride(ConversionSettings* settings, std::string_view text) {
    if (text.find('=') == std::string_view::npos) {
        return;
    }
    for (OwnedText& slot : settings->typeOverrides) {
        if (!slot) {
            slot = CopyOwned(text);
            return;
        }
    }
}

void SetTypeOverrideSlot(ConversionSettings* settings, std::size_t slot, std::string_view token) {
    if (slot >= kTypeOverrideSlots) {
        return;
    }
    char entry[kEntryCapacity];
    const int written = std::snprintf(entry, sizeof entry, "%zu=%.*s", slot,
                                      static_cast<int>(token.size()), token.data());
    if (written < 0) {
        return;
    }
    // A token too long for the entry is cut there, at a character boundary.
    char bounded[kEntryCapacity];
    CopyText(bounded,
             std::string_view(entry, std::min<std::size_t>(static_cast<std::size_t>(written),
                                                           sizeof entry - 1)));
    settings->typeOverrides[slot] = CopyOwned(bounded);
}

}  // namespace engine
