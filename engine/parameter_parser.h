// SPDX-License-Identifier: MIT
// The parameter language: command-line elements that fill the settings record.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/settings.h"

namespace engine {

// Applies elements 1 to count-1 of the parameter list (element 0 is the
// program's name or a placeholder and is never examined). An element that
// starts with "/" or "-" and a value-taking keyword (STATUS=, TABLENAME=,
// FIELDS=, ...) is that option whatever it ends with; any other element
// ending in .csv or .txt names the input (the last one wins), and the first
// ending in .xls or .xlsx the workbook. Never fails: unknown elements are
// ignored.
void ParameterParser(ConversionSettings* settings, int count, const char* const* elements);

// As ParameterParser, with the program's path for the STATUS option given
// rather than looked up.
void ParameterParserFor(ConversionSettings* settings, int count, const char* const* elements,
                        std::string_view programPath);

// What a silent run tells about the parameters the parser ignored, one text
// each: unknown options, names that are neither an input nor a workbook
// (with the workbook actually written), a second workbook name, an input
// name that a later one replaced, and an input ending in .tsv. Call after
// ParameterParser on the same list.
std::vector<std::string> IgnoredParameterNotes(const ConversionSettings* settings, int count,
                                               const char* const* elements);

}  // namespace engine
