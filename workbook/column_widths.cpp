// SPDX-License-Identifier: MIT
// Display widths of cell values for fitted columns, and the measuring the
// front functions do while a sheet's layout asks for it.
#include "workbook/column_widths.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/platform.h"
#include "platform/utf8_stepping.h"
#include "workbook/book.h"

namespace workbook {
namespace {

// Built-in number formats the engine gives dates and date-times.
constexpr int kShortDateFormat = 14;
constexpr int kDateTimeFormat = 22;
// "12/31/2026" and "12/31/2026 23:59".
constexpr int kShortDateCharacters = 10;
constexpr int kDateTimeCharacters = 16;
// General shows at most this many characters of a number, its sign aside.
constexpr int kGeneralCharacters = 11;
constexpr int kMaxCharacters = 65535;

// East Asian wide and full-width code points, which take two character
// cells: Hangul Jamo, CJK and its punctuation, Hiragana to Yi, Hangul
// syllables, compatibility ideographs, full-width forms, and the
// supplementary ideograph planes.
bool IsWide(char32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) ||
           (cp >= 0x3041 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
           (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) ||
           (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6) ||
           (cp >= 0x20000 && cp <= 0x3FFFD);
}

}  // namespace

int DisplayCharacters(std::string_view text) {
    int count = 0;
    std::size_t i = 0;
    while (i < text.size() && count < kMaxCharacters) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            ++count;
            ++i;
            continue;
        }
        // An ill-formed part shows as one replacement character, which is narrow.
        const platform::Utf8Step step = platform::StepUtf8Multibyte(text, i);
        i += step.length;
        count += IsWide(step.codePoint) ? 2 : 1;
    }
    return std::min(count, kMaxCharacters);
}

int NumberDisplayCharacters(double value, int numFormat) {
    if (numFormat == kShortDateFormat) {
        return kShortDateCharacters;
    }
    if (numFormat == kDateTimeFormat) {
        return kDateTimeCharacters;
    }
    if (!std::isfinite(value)) {
        return kGeneralCharacters;
    }
    // General rounds to 15 significant digits before it shortens the number
    // to the column, so 0.1 + 0.2 shows as 0.3.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::general, 15);
    const int digits =
        result.ec == std::errc() ? static_cast<int>(result.ptr - buffer) : kGeneralCharacters;
    return std::min(digits, kGeneralCharacters) + (value < 0 ? 1 : 0);
}

int BoolDisplayCharacters(bool value) {
    return value ? 4 : 5;
}

double FittedColumnWidth(int characters) {
    const double width = characters + kFittedColumnMargin;
    if (width <= kDefaultColumnWidth) {
        return 0.0;
    }
    return std::min(width, kMaxFittedColumnWidth);
}

void SheetLayout::Note(int row, int column, int displayed) {
    lastRow = std::max(lastRow, row);
    lastColumn = std::max(lastColumn, column);
    if (!autoFit || column < 0) {
        return;
    }
    const auto index = static_cast<std::size_t>(column);
    if (index >= characters.size()) {
        characters.resize(index + 1, 0);
    }
    const auto shown = static_cast<std::uint16_t>(std::clamp(displayed, 0, kMaxCharacters));
    characters[index] = std::max(characters[index], shown);
}

}  // namespace workbook
