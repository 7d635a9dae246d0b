// SPDX-License-Identifier: MIT
// The parameter language: file names and "/KEYWORD" or "-KEYWORD" options,
// matched without regard to letter case. It has no error path: anything it
// does not recognise is ignored.
#include "engine/parameter_parser.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "engine/name_rules.h"
#include "engine/settings.h"
#include "engine/text_util.h"
#include "platform/code_pages.h"
#include "platform/messages.h"
#include "platform/paths.h"

namespace engine {
namespace {

// Stores a path whole or not at all. A path too long for the buffer is
// refused and said so on stderr; the field is emptied, so nothing is
// written under a cut name, and refusedPaths stops the conversion.
void SetPath(ConversionSettings* s, std::span<char> field, std::string_view value) {
    if (CopyText(field, value)) {
        return;
    }
    field[0] = '\0';
    ++s->refusedPaths;
    constexpr std::size_t kShown = 60;
    const std::string start(value.substr(0, kShown));
    platform::ShowMessage(nullptr, "Error",
                          "The path " + start + "... is " + std::to_string(value.size()) +
                              " bytes long; a path holds at most " +
                              std::to_string(kPathCapacity - 1) + " bytes. It was refused.",
                          platform::MessageIcon::kError);
}

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
    SetPath(s, s->statusPath, path);
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
    {"OVERWRITETABLE=1", Match::kExact,
     [](auto* s, auto, auto) { s->overwriteTable = kOverwriteOn; }},
    {"OVERWRITETABLE=0", Match::kExact,
     [](auto* s, auto, auto) { s->overwriteTable = kOverwriteOff; }},
    {"OVERWRITETABLE=YES", Match::kExact,
     [](auto* s, auto, auto) { s->overwriteTable = kOverwriteOn; }},
    {"OVERWRITETABLE=NO", Match::kExact,
     [](auto* s, auto, auto) { s->overwriteTable = kOverwriteOff; }},
    {"OVERWRITETABLE=SKIP", Match::kExact,
     [](auto* s, auto, auto) { s->overwriteTable = kOverwriteSkip; }},
    {"TYPE=ANY", Match::kExact,
     [](auto* s, auto, auto) {
         s->workbookType = kWorkbookXls;
         s->workbookTypeGiven = 1;
     }},
    {"TYPE=2007", Match::kExact,
     [](auto* s, auto, auto) {
         s->workbookType = kWorkbookXlsx;
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
    {"YYYY.MM.DD", Match::kExact, [](auto* s, auto, auto) { s->dateMode = kDateYearFirst; }},
    {"DD.MM.YYYY", Match::kExact, [](auto* s, auto, auto) { s->dateMode = kDateDayFirst; }},
    {"MM.DD.YYYY", Match::kExact, [](auto* s, auto, auto) { s->dateMode = kDateMonthFirst; }},
    {"AUTODATE", Match::kExact, [](auto* s, auto, auto) { s->dateMode = kDateAuto; }},
    {"COLUMNS=", Match::kPrefix, [](auto* s, auto v, auto) { SetColumns(s, v); }},
    {"ORDER=", Match::kPrefix,
     [](auto* s, auto v, auto) { CopyText(s->orderText, v, kOrderTextCharacters); }},
    {"RECORDS=0", Match::kExact, [](auto* s, auto, auto) { s->importRecords = 0; }},
    {"LOG", Match::kExact, [](auto* s, auto, auto) { s->logEnabled = 1; }},
    {"STATUS=", Match::kPrefix, [](auto* s, auto v, auto) { SetPath(s, s->statusPath, v); }},
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
    {"OVERWRITE=1", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = kOverwriteOn; }},
    {"OVERWRITE=0", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = kOverwriteOff; }},
    {"OVERWRITE=2", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = kOverwriteSkip; }},
    {"OVERWRITE=YES", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = kOverwriteOn; }},
    {"OVERWRITE=NO", Match::kExact, [](auto* s, auto, auto) { s->overwriteFile = kOverwriteOff; }},
    {"OVERWRITE=SKIP", Match::kExact,
     [](auto* s, auto, auto) { s->overwriteFile = kOverwriteSkip; }},
    {"OPEN=1", Match::kExact, [](auto* s, auto, auto) { s->openResult = 1; }},
    {"OPEN=0", Match::kExact, [](auto* s, auto, auto) { s->openResult = 0; }},
    // Layout and size options; "=0" turns off what an INI file turned on.
    {"AUTOFIT", Match::kExact, [](auto* s, auto, auto) { s->autoFit = 1; }},
    {"AUTOFIT=1", Match::kExact, [](auto* s, auto, auto) { s->autoFit = 1; }},
    {"AUTOFIT=0", Match::kExact, [](auto* s, auto, auto) { s->autoFit = 0; }},
    {"FREEZEHEADER", Match::kExact, [](auto* s, auto, auto) { s->freezeHeader = 1; }},
    {"FREEZEHEADER=1", Match::kExact, [](auto* s, auto, auto) { s->freezeHeader = 1; }},
    {"FREEZEHEADER=0", Match::kExact, [](auto* s, auto, auto) { s->freezeHeader = 0; }},
    {"AUTOFILTER", Match::kExact, [](auto* s, auto, auto) { s->autoFilter = 1; }},
    {"AUTOFILTER=1", Match::kExact, [](auto* s, auto, auto) { s->autoFilter = 1; }},
    {"AUTOFILTER=0", Match::kExact, [](auto* s, auto, auto) { s->autoFilter = 0; }},
    {"SPLITROWS", Match::kExact, [](auto* s, auto, auto) { s->splitRows = 1; }},
    {"SPLITROWS=1", Match::kExact, [](auto* s, auto, auto) { s->splitRows = 1; }},
    {"SPLITROWS=0", Match::kExact, [](auto* s, auto, auto) { s->splitRows = 0; }},
    {"WAIT", Match::kExact, [](auto* s, auto, auto) { s->waitAtEnd = 1; }},
    {"BATCH", Match::kExact, [](auto* s, auto, auto) { s->batchMode = 1; }},
    {"SILENT", Match::kExact, [](auto* s, auto, auto) { s->silentMode = 1; }},
};

// An option that takes a value ("/STATUS=", "-TABLENAME=", ...): its value
// may end like a file name (/STATUS=/tmp/state.txt), and it is still the option.
bool IsValueOption(std::string_view element) {
    if (element.empty() || (element[0] != '/' && element[0] != '-')) {
        return false;
    }
    const std::string_view rest = element.substr(1);
    return std::any_of(std::begin(kOptions), std::end(kOptions), [&](const Option& option) {
        return option.match == Match::kPrefix && StartsWithIgnoringCase(rest, option.keyword);
    });
}

// File names come next: any other element ending in a known extension is a
// file name, so that a Linux path such as /home/me/a.csv is one.
bool TakeFileName(ConversionSettings* s, std::string_view element) {
    if (element.size() <= 4 || IsValueOption(element)) {
        return false;
    }
    if (EndsWithIgnoringCase(element, ".csv") || EndsWithIgnoringCase(element, ".txt")) {
        SetPath(s, s->inputPath, element);
        return true;
    }
    if ((EndsWithIgnoringCase(element, ".xls") || EndsWithIgnoringCase(element, ".xlsx")) &&
        s->outputPath[0] == '\0') {
        SetPath(s, s->outputPath, element);
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

std::vector<std::string> IgnoredParameterNotes(const ConversionSettings* settings, int count,
                                               const char* const* elements) {
    std::vector<std::string> notes;
    // Where the workbook goes: the output name, or beside the input.
    std::string written(TextOf(settings->outputPath));
    if (written.empty()) {
        std::string_view input = TextOf(settings->inputPath);
        const std::size_t dot = input.find_last_of('.');
        const std::size_t slash = platform::LastSeparator(input);
        if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
            input = input.substr(0, dot);
        }
        written = std::string(input) + (settings->workbookType == kWorkbookXlsx ? ".xlsx" : ".xls");
    }
    bool outputSeen = false;
    std::string_view input;
    for (int i = 1; i < count; ++i) {
        if (elements[i] == nullptr) {
            continue;
        }
        const std::string_view element(elements[i]);
        // The same order of tests as the parser.
        const bool fileName = element.size() > 4 && !IsValueOption(element);
        if (fileName &&
            (EndsWithIgnoringCase(element, ".csv") || EndsWithIgnoringCase(element, ".txt"))) {
            if (!input.empty() && input != element) {
                notes.push_back("The input " + std::string(input) + " was replaced by " +
                                std::string(element) + "; only the last input name counts.");
            }
            input = element;
            continue;
        }
        const bool workbookName = fileName && (EndsWithIgnoringCase(element, ".xls") ||
                                               EndsWithIgnoringCase(element, ".xlsx"));
        if (workbookName && !outputSeen) {
            outputSeen = true;
            continue;
        }
        if (workbookName) {
            notes.push_back("The second workbook name " + std::string(element) +
                            " was ignored; the workbook is " + written + ".");
            continue;
        }
        if (!element.empty() && (element[0] == '/' || element[0] == '-')) {
            const std::string_view rest = element.substr(1);
            bool known = false;
            for (const Option& option : kOptions) {
                known = known || (option.match == Match::kExact
                                      ? EqualsIgnoringCase(rest, option.keyword)
                                      : StartsWithIgnoringCase(rest, option.keyword));
            }
            if (!known) {
                notes.push_back("The option " + std::string(element) +
                                " is not known and was ignored.");
            }
            continue;
        }
        const std::string shown(element);
        if (EndsWithIgnoringCase(element, ".tsv")) {
            notes.push_back(
                "The input " + shown +
                " was ignored: input names end in .csv or .txt. For a file of "
                "tab-separated values, give it one of those names and add /FIELDS=TAB.");
        } else if (element.find('.') != std::string_view::npos) {
            notes.push_back(shown +
                            " is neither an input (.csv, .txt) nor a workbook (.xls, "
                            ".xlsx) and was ignored; the workbook is " +
                            written + ".");
        } else {
            notes.push_back(shown + " is neither a file name nor an option and was ignored.");
        }
    }
    return notes;
}

void ParameterParser(ConversionSettings* settings, int count, const char* const* elements) {
    ParameterParserFor(settings, count, elements, platform::ProgramPath());
}

}  // namespace engine
