// SPDX-License-Identifier: MIT
// Text conversions between the engine's UTF-8 and BIFF8's UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace workbook::xls {

// UTF-8 to UTF-16. Each byte that does not start a valid sequence (bad
// lead byte, missing or bad continuation, overlong form, surrogate, value
// beyond U+10FFFF) becomes one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Upper-cases for case-insensitive sheet name comparison: ASCII, Latin-1,
// Greek and Cyrillic letters; other units are compared as they are.
char16_t FoldCase(char16_t unit);

}  // namespace workbook::xls
