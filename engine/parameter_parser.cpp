// SPDX-License-Identifier: MIT
// The parameter language: file names and "/KEYWORD" or "-KEYWORD" options,
// matched without regard to letter case. It has no error path: anything it
// does not recognise is ignored.
#include <cstring>

#include "engine/engine.h"
#include "engine/text_util.h"
#include "platform/platform.h"

namespace engine {
namespace {

void SetColumns(ConversionSettings* s, std::string_view value) {
    if (!value.empty() && value[0] >= '0' && value[0] <= '9') {
        s->columnsText = CopyOwned(value);
        s->firstColumn = LeadingInteger(value);
        const std::size_t dash = value.find('-');
        s->lastColumn = dash == std::string_view::npos ? s->firstColumn
                                                       : LeadingInteger(value.substr(dash + 1));
        return;
    }
    std::string names = ",";
    for (char c : value) {
        names += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    names += ',';
    s->columnsText = CopyOwned(names);
}

void SetStatusBesideProgram(ConversionSettings* s, std::string_view programPath) {
    const std::size_t slash = platform::LastSeparator(programPath);
    std::string path(slash == std::string_view::npos ? std::string_view()
                                                     : programPath.substr(0, slash + 1));
    path += "status.log";
    CopyText(s->statusPath, path, kPathCharacters);
}

// CODEPAGE= takes a code-page number or the name UTF-8.
void SetCodePage(ConversionSettings* s, std::string_view value) {
    if (EqualsIgnoringCase(value, "UTF-8") || EqualsIgnoringCase(value, "UTF8")) {
        s->inputCodePage = platform::kCodePageUtf8;
        return;
    }
    const std::int32_t number = LeadingInteger(value);
    if (number > 0) {
        s->inputCodePage = number;
    }
}

enum class Match { kExact, kPrefix };

struct Option {
    std::string_view keyword;
    Match match;
    void (*apply)(ConversionSettings* s, std::string_view value, std::string_view programPath);
};

// Matching order; an element's rest can match at most one entry.
constexpr Option kOptions[] = {
    {"OVERWRITETABLE=1", Match::kExact, [](auto* s, auto, auto) { s->overwriteTable = 1; }},
    {"OVERWRITETABLE=0", Match::kExact, [](auto* s, auto, auto) { s->overwriteTable = 0; }},
    {"OVERWRITETABLE=YES", Match::kExact, [](auto* s, auto, auto) { s->overwriteTable = 1; }},
    {"OVERWRITETABLE=NO", Match::kExact, [](auto* s, auto, auto) { s->overwriteTable = 0; }},
    {"OVERWRITETABLE=SKIP", Match::kExact, [](auto* s, auto, auto) { s->overwriteTable = 2; }},
    {"TYPE=ANY", Match::kExact,
     [](auto* s, auto, auto) {
         s->workbookType = 0;
         s->workbookTypeGiven = 1;
     }},
    {"TYPE=2007", Match::kExact,
     [](auto* s, auto, auto) {
         s->workbookType = 1;
         s->workbookTypeGiven = 1;
     }},
    {"FIELDTYPES=", Match::kPrefix, [](auto* s, auto v, auto) { s->fieldTypes = CopyOwned(v); }},
    {"TYPESINFILE=1", Match::kExact, [](auto* s, auto, auto) { s->typesInFile = 1; }},
    {"TYPESINFILE=0", Match::kExact, [](auto* s, auto, auto) { s->typesInFile = 0; }},
    {"HEADER=1", Match::kExact, [](auto* s, auto, auto) { s->hasHeader = 1; }},
    {"HEADER=0", Match::kExact, [](auto* s, auto, auto) { s->hasHeader = 0; }},
    {"FIELDS=", Match::kPrefix, [](auto* s, auto v, auto) { SetFields(s, v); }},
    {"ALLCHAR=1", Match::kExact, [](auto* s, auto, auto) { s->allCharacter = 1; }},
    {"ALLCHAR=0", Match::kExact, [](auto* s, auto, auto) { s->allCharacter = 0; }},
    {"DROP=1", Match::kExact, [](auto* s, auto, auto) { s->dropFlag = 1; }},
    {"DROP=0", Match::kExact, [](auto* s, auto, auto) { s->dropFlag = 0; }},
    {"NUMERIC=", Match::kPrefix,
     [](auto* s, auto v, auto) { CopyText(s->numericChars, v, kShortTextCharacters); }},
    {"BOOLEAN=", Match::kPrefix,
     [](auto* s, auto v, auto) { CopyText(s->booleanChars, v, kShortTextCharacters); }},
    {"TABLENAME=", Match::kPrefix,
     [](auto* s, auto v, auto) { CopyText(s->tableName, v, kTableNameCharacters); }},
    {"YYYY.MM.DD", Match::kExact, [](auto* s, auto, auto) { s->dateMode = 3; }},
    {"DD.MM.YYYY", Match::kExact, [](auto* s, auto, auto) { s->dateMode = 2; }},
    {"MM.DD.YYYY", Match::kExact, [](auto* s, auto, auto) { s->dateMode = 1; }},
    {"AUTODATE", Match::kExact, [](auto* s, auto, auto) { s->dateMode = 0; }},
    {"COLUMNS=", Match::kPrefix, [](auto* s, auto v, auto) { SetColumns(s, v); }},
    {"ORDER=", Match::kPrefix,
     [](auto* s, auto v, auto) { CopyText(s->orderText, v, kOrderTextCharacters); }},
    {"RECORDS=0", Match::kExact, [](auto* s, auto, auto) { s->importRecords = 0; }},
    {"LOG", Match::kExact, [](auto* s, auto, auto) { s->logEnabled = 1; }},
    {"STATUS=", Match::kPrefix,
     [](auto* s, auto v, auto) { CopyText(s->statusPath, v, kPathCharacters); }},
    {"STATUS", Match::kExact, [](auto* s, auto, auto p) { SetStatusBesideProgram(s, p); }},
    {"MAXLEN=", Match::kPrefix, [](auto* s, auto v, auto) { s->maxLength = LeadingInteger(v); }},
    {"CHANGETYPE:", Match::kPrefix, [](auto* s, auto v, auto) { AddTypeOverride(s, v); }},
    {"CT:", Match::kPrefix, [](auto* s, auto v, auto) { AddTypeOverride(s, v); }},
    // Naming the source's code page also decides how the input is decoded.
    {"SOURCE=ANSI", Match::kExact,
     [](auto* s, auto, auto) {
         s->sourceCodePage = 1;
         s->oemSource = 0;
     }},
    {"SOURCE=OEM", Match::kExact,
     [](auto* s, auto, auto) {
         s->sourceCodePage = 2;
         s->oemSource = 1;
     }},
    {"CODEPAGE=", Match::kPrefix, [](auto* s, auto v, auto) { SetCodePage(s, v); }},
    {"DECIMAL=.", Match::kExact, [](auto* s, auto, auto) { s->decimalSeparator = '.'; }},
    {"DECIMAL=,", Match::kExact, [](auto* s, auto, auto) { s->decimalSeparator = ','; }},
    {"OVERWRITE=1", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = 1; }},
    {"OVERWRITE=0", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = 0; }},
    {"OVERWRITE=2", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = 2; }},
    {"OVERWRITE=YES", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = 1; }},
    {"OVERWRITE=NO", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = 0; }},
    {"OVERWRITE=SKIP", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = 2; }},
    {"OPEN=1", Match::kExact, [](auto* s, auto, auto) { s->openResult = 1; }},
    {"OPEN=0", Match::kExact, [](auto* s, auto, auto) { s->openResult = 0; }},
    {"WAIT", Match::kExact, [](auto* s, auto, auto) { s->waitAtEnd = 1; }},
    {"BATCH", Match::kExact, [](auto* s, auto, auto) { s->batchMode = 1; }},
    {"SILENT", Match::kExact, [](auto* s, auto, auto) { s->silentMode = 1; }},
};

// File names come first: an element ending in a known extension is a file
// name even when it looks like an option.
bool TakeFileName(ConversionSettings* s, std::string_view element) {
    if (element.size() <= 4) {
        return false;
    }
    if (EndsWithIgnoringCase(element, ".csv") || EndsWithIgnoringCase(element, ".txt")) {
        CopyText(s->inputPath, element, kPathCharacters);
        return true;
    }
    if ((EndsWithIgnoringCase(element, ".xls") || EndsWithIgnoringCase(element, ".xlsx")) &&
        s->outputPath[0] == '\0') {
        CopyText(s->outputPath, element, kPathCharacters);
        return true;
    }
    return false;
}

}  // namespace

void ParameterParserFor(ConversionSettings* settings, int count, const char* const* elements,
                        std::string_view programPath) {
    for (int i = 1; i < count; ++i) {
        if (elements[i] == nullptr) {
            continue;
        }
        const std::string_view element(elements[i]);
        if (TakeFileName(settings, element)) {
            continue;
        }
        if (element.empty() || (element[0] != '/' && element[0] != '-')) {
            continue;
        }
        const std::string_view rest = element.substr(1);
        for (const Option& option : kOptions) {
            if (option.match == Match::kExact) {
                if (EqualsIgnoringCase(rest, option.keyword)) {
                    option.apply(settings, {}, programPath);
                }
            } else if (StartsWithIgnoringCase(rest, option.keyword)) {
                option.apply(settings, rest.substr(option.keyword.size()), programPath);
            }
        }
    }
}

void ParameterParser(ConversionSettings* settings, int count, const char* const* elements) {
    ParameterParserFor(settings, count, elements, platform::ProgramPath());
}

}  // namespace engine
