// SPDX-License-Identifier: MIT
// Defaults, copies, the INI files and the type-override table of the settings
// record.
#include "engine/settings.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "engine/text_util.h"
#include "platform/paths.h"
#include "platform/profile_file.h"

namespace engine {
namespace {

constexpr std::string_view kCommonSection = "Common";
// One "%d=%s" entry: the column number, "=", the letter and what follows.
constexpr std::size_t kEntryCapacity = 128;

template <std::size_t N>
void CopyBuffer(const char (&from)[N], char (&to)[N]) {
    std::memcpy(to, from, N);
}

}  // namespace

OwnedText CopyOwnedText(const OwnedText& text) {
    if (!text) {
        return nullptr;
    }
    const std::size_t length = std::strlen(text.get());
    OwnedText copy = std::make_unique<char[]>(length + 1);
    std::memcpy(copy.get(), text.get(), length + 1);
    return copy;
}

void CopySettings(const ConversionSettings& from, ConversionSettings* to) {
    to->titleFont = from.titleFont;
    CopyBuffer(from.inputPath, to->inputPath);
    CopyBuffer(from.outputPath, to->outputPath);
    to->oemSource = from.oemSource;
    to->sourceCodePage = from.sourceCodePage;
    to->workbookType = from.workbookType;
    to->overwriteFile = from.overwriteFile;
    to->overwriteTable = from.overwriteTable;
    to->dropFlag = from.dropFlag;
    to->hasHeader = from.hasHeader;
    to->importRecords = from.importRecords;
    to->maxLength = from.maxLength;
    to->allCharacter = from.allCharacter;
    CopyBuffer(from.fieldsText, to->fieldsText);
    to->delimiter = from.delimiter;
    CopyBuffer(from.numericChars, to->numericChars);
    CopyBuffer(from.booleanChars, to->booleanChars);
    CopyBuffer(from.tableName, to->tableName);
    to->dateMode = from.dateMode;
    to->typesInFile = from.typesInFile;
    to->fieldTypes = CopyOwnedText(from.fieldTypes);
    to->progressWindow = from.progressWindow;
    to->columnsText = CopyOwnedText(from.columnsText);
    to->firstColumn = from.firstColumn;
    to->lastColumn = from.lastColumn;
    for (std::size_t i = 0; i < kTypeOverrideSlots; ++i) {
        to->typeOverrides[i] = CopyOwnedText(from.typeOverrides[i]);
    }
    CopyBuffer(from.orderText, to->orderText);
    to->recordCount = from.recordCount;
    to->logEnabled = from.logEnabled;
    to->openResult = from.openResult;
    to->batchMode = from.batchMode;
    to->waitAtEnd = from.waitAtEnd;
    to->silentMode = from.silentMode;
    CopyBuffer(from.statusPath, to->statusPath);
    to->inputCodePage = from.inputCodePage;
    to->workbookTypeGiven = from.workbookTypeGiven;
    to->decimalSeparator = from.decimalSeparator;
    to->refusedPaths = from.refusedPaths;
    to->autoFit = from.autoFit;
    to->freezeHeader = from.freezeHeader;
    to->autoFilter = from.autoFilter;
    to->splitRows = from.splitRows;
    to->autoDelimiter = from.autoDelimiter;
}

void SetDefaultSettings(ConversionSettings* settings) {
    settings->overwriteFile = kOverwriteOff;
    settings->overwriteTable = kOverwriteOn;
    settings->openResult = 1;
    settings->workbookType = kWorkbookXls;
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
        settings->autoFit =
            platform::ReadProfileInt(kCommonSection, "AutoFit", settings->autoFit, *path);
        settings->freezeHeader =
            platform::ReadProfileInt(kCommonSection, "FreezeHeader", settings->freezeHeader, *path);
        settings->autoFilter =
            platform::ReadProfileInt(kCommonSection, "AutoFilter", settings->autoFilter, *path);
        settings->splitRows =
            platform::ReadProfileInt(kCommonSection, "SplitRows", settings->splitRows, *path);
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

void SetTypeOverrideSlot(ConversionSettings* settings, std::size_t slot, std::size_t column,
                         std::string_view token) {
    if (slot >= kTypeOverrideSlots) {
        return;
    }
    char entry[kEntryCapacity];
    const int written = std::snprintf(entry, sizeof entry, "%zu=%.*s", column,
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
