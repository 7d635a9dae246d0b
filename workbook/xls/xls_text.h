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

// True when every byte of `text` is below 0x80, so that it is its own
// Latin-1 and UTF-16 form, one unit per byte.
bool IsAscii(std::string_view text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// One UTF-16 unit folded for case-insensitive sheet name comparison, by the
// workbook library's sheet-name rule (FoldSheetNameCase).
char16_t FoldCase(char16_t unit);

}  // namespace workbook::xls
