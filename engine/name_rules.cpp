// SPDX-License-Identifier: MIT
// The delimiter, sheet-name and workbook-extension rules, shared by the
// parameter language, the runs and the wizard, so that a name or a delimiter
// typed in the wizard means what it means on a command line, and FIELDS=AUTO
// finds the delimiter the wizard proposes.
#include "engine/name_rules.h"

#include <algorithm>
#include <vector>

#include "engine/settings.h"
#include "engine/text_util.h"
#include "workbook/limits.h"
#include "workbook/workbook.h"

namespace engine {
namespace {

// How often `delimiter` occurs outside quoted fields in each of the text's
// first lines that hold anything; a line break inside quotes does not end a
// line. A quote opens a quoted field only at the field's start, "" inside it
// is a quote, and a quoted field still open at the end leaves its line out,
// as does a last line without a line end when the text is cut (unless it is
// the only line).
std::vector<int> CountsPerLine(std::string_view text, char delimiter, bool cut) {
    enum class State { kFieldStart, kUnquoted, kQuoted, kQuoteInQuoted };
    std::vector<int> counts;
    State state = State::kFieldStart;
    int count = 0;
    bool lineHasText = false;
    for (std::size_t i = 0; i < text.size() && counts.size() < kDelimiterSampleLines; ++i) {
        const char c = text[i];
        if (state == State::kQuoted) {
            state = c == '"' ? State::kQuoteInQuoted : State::kQuoted;
            continue;
        }
        if (state == State::kQuoteInQuoted && c == '"') {
            state = State::kQuoted;  // "" inside quotes
            continue;
        }
        if (c == '\n' || c == '\r') {
            if (lineHasText) {
                counts.push_back(count);
            }
            count = 0;
            lineHasText = false;
            state = State::kFieldStart;
            continue;
        }
        lineHasText = true;
        if (c == delimiter) {
            ++count;
            state = State::kFieldStart;
        } else if (c == '"' && state == State::kFieldStart) {
            state = State::kQuoted;
        } else {
            state = State::kUnquoted;
        }
    }
    const bool open = state == State::kQuoted || state == State::kQuoteInQuoted;
    if (lineHasText && counts.size() < kDelimiterSampleLines && !open && (!cut || counts.empty())) {
        counts.push_back(count);
    }
    return counts;
}

// The per-line count when every line holds the delimiter equally often, else 0.
int SteadyCount(std::string_view text, char delimiter, bool cut) {
    const std::vector<int> counts = CountsPerLine(text, delimiter, cut);
    if (counts.empty() || counts.front() == 0 ||
        std::any_of(counts.begin(), counts.end(), [&](int n) { return n != counts.front(); })) {
        return 0;
    }
    return counts.front();
}

}  // namespace

std::optional<char> FindDelimiter(std::string_view text, char preferred, bool cut) {
    if (SteadyCount(text, preferred, cut) > 0) {
        return preferred;
    }
    std::optional<char> best;
    int bestCount = 0;
    bool tie = false;
    for (char candidate : kDelimiterCandidates) {
        if (candidate == preferred) {
            continue;
        }
        const int count = SteadyCount(text, candidate, cut);
        if (count > bestCount) {
            best = candidate;
            bestCount = count;
            tie = false;
        } else if (count > 0 && count == bestCount) {
            tie = true;
        }
    }
    return tie ? std::nullopt : best;
}

char ProposeDelimiter(std::string_view text, char current) {
    return FindDelimiter(text, current, false).value_or(current);
}

std::string DelimiterName(char delimiter) {
    return delimiter == '\t' ? std::string("TAB") : "\"" + std::string(1, delimiter) + "\"";
}

std::string NumberedSheetName(std::string_view name, int number) {
    const std::string suffix = " (" + std::to_string(number) + ")";
    std::string base(name);
    while (!base.empty() && workbook::SheetNameUnits(base) + suffix.size() >
                                static_cast<std::size_t>(workbook::kMaxSheetNameCharacters)) {
        // Drops the last whole character.
        while (base.size() > 1 && (static_cast<unsigned char>(base.back()) & 0xC0) == 0x80) {
            base.pop_back();
        }
        base.pop_back();
    }
    return base + suffix;
}

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
    settings->autoDelimiter = EqualsIgnoringCase(value, "AUTO") ? 1 : 0;
    if (settings->autoDelimiter == 0) {
        settings->delimiter = DelimiterFromText(TextOf(settings->fieldsText), settings->delimiter);
    }
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
