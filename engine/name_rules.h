// SPDX-License-Identifier: MIT
// The delimiter and workbook-extension rules shared by the parameter
// language, the batch runner and the wizard.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/settings.h"

namespace engine {

// The FIELDS= rule: stores the value (cut to kShortTextCharacters) in
// fieldsText, then sets the delimiter from it through DelimiterFromText,
// keeping the current delimiter when the value gives none.
void SetFields(ConversionSettings* settings, std::string_view value);

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
