// SPDX-License-Identifier: MIT
// The delimiter and workbook-extension rules shared by the parameter
// language, the batch runner and the wizard.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/settings.h"

namespace engine {

// The FIELDS= rule: stores the value (cut to kShortTextCharacters) in
// fieldsText, then sets the delimiter from it through DelimiterFromText,
// keeping the current delimiter when the value gives none. AUTO (any case)
// sets autoDelimiter instead and keeps the delimiter as the default; any
// other value clears autoDelimiter.
void SetFields(ConversionSettings* settings, std::string_view value);

// The delimiters an input's first lines are tried for, in this order.
inline constexpr std::array<char, 4> kDelimiterCandidates = {',', ';', '\t', '|'};
// How much of an input's start FIELDS=AUTO looks at: its first lines, up to
// kDelimiterSampleLines of them within kDelimiterSampleBytes bytes.
inline constexpr std::size_t kDelimiterSampleLines = 50;
inline constexpr std::size_t kDelimiterSampleBytes = 65536;

// The delimiter the first lines of `text` plainly use, or nothing when they
// give no clear answer. A candidate is plain when every line (up to
// kDelimiterSampleLines, blank ones aside) holds it equally often, and at
// least once, outside quoted fields; quotes are read as the reader reads
// them, so a quoted field may span lines. `preferred` wins when it is plain;
// otherwise the candidate plain most often per line, unless two tie. With
// `cut`, the text stops where a read limit cut it: a last line without a
// line end is left out, unless it is the only one.
std::optional<char> FindDelimiter(std::string_view text, char preferred, bool cut);

// The wizard's proposal: FindDelimiter's answer, or `current` when there is none.
char ProposeDelimiter(std::string_view text, char current);

// How messages name a delimiter: TAB, or the character in double quotes.
std::string DelimiterName(char delimiter);

// `name` with the suffix " (number)", the name cut before a character that
// does not fit whole so that the whole holds at most 31 UTF-16 units: the
// names of a batch's clashing sheets and of SPLITROWS's continuation sheets.
std::string NumberedSheetName(std::string_view name, int number);

// The delimiter a text names: "TAB" and "PIPE" (any case) the tab and the
// vertical bar, any other text its first character; `fallback` for an empty
// text and for one starting outside ASCII, since the splitter works on one byte.
char DelimiterFromText(std::string_view text, char fallback);

// A workbook name whose extension agrees with the workbook type: for .xlsx (1)
// a name ending in "xls" (any case) gets an "x", unless it already holds
// kPathCharacters characters; for .xls (0) a name ending in "xlsx" loses its
// last letter. Any other name comes back unchanged.
std::string AdaptExtension(std::string_view name, std::int32_t workbookType);

}  // namespace engine
