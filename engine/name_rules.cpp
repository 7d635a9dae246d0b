// SPDX-License-Identifier: MIT
// The delimiter and workbook-extension rules, shared by the parameter
// language, the batch runner and the wizard, so that a name or a delimiter
// typed in the wizard means what it means on a command line.
#include "engine/name_rules.h"

#include "engine/settings.h"
#include "engine/text_util.h"

namespace engine {

char DelimiterFromText(std::string_view text, char fallback) {
    if (EqualsIgnoringCase(text, "TAB")) {
        return '\t';
    }
    if (EqualsIgnoringCase(text, "PIPE")) {
        return '|';
    }
    if (text.empty() || static_cast<unsigned char>(text[0]) >= 0x80) {
        return fallback;
    }
    return text[0];
}

void SetFields(ConversionSettings* settings, std::string_view value) {
    CopyText(settings->fieldsText, value, kShortTextCharacters);
    settings->delimiter = DelimiterFromText(TextOf(settings->fieldsText), settings->delimiter);
}

std::string AdaptExtension(std::string_view name, std::int32_t workbookType) {
    std::string adapted(name);
    if (workbookType == kWorkbookXlsx && EndsWithIgnoringCase(name, "xls")) {
        std::size_t characters = 0;
        for (char c : name) {
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        }
        // One more character would not fit the record's path buffer.
        if (characters < kPathCharacters) {
            adapted += 'x';
        }
    } else if (workbookType == kWorkbookXls && EndsWithIgnoringCase(name, "xlsx")) {
        adapted.pop_back();
    }
    return adapted;
}

}  // namespace engine
