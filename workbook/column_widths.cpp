// SPDX-License-Identifier: MIT
// Display widths of cell values for fitted columns, and the measuring the
// front functions do while a sheet's layout asks for it.
#include "workbook/column_widths.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "platform/utf8.h"
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

int DigitCount(std::uint64_t value) {
    int digits = 1;
    for (; value >= 10; value /= 10) {
        ++digits;
    }
    return digits;
}

// The characters, at most kGeneralCharacters, that General shows of
// `magnitude` (not negative) in its fixed form, found without formatting:
// the value is scaled by 10^d for d = 0, 1, ... decimals until it lies on a
// whole number. Every column of every row of a fitted sheet passes here,
// and a rounding to 15 digits by std::to_chars costs a few hundred
// nanoseconds. Returns 0 when that cannot be told for sure (exponent forms,
// values next to a rounding boundary of the 15th digit): the caller then
// formats the number.
int FixedGeneralCharacters(double magnitude) {
    if (magnitude < 1e-4 || magnitude >= 1e15) {
        return 0;
    }
    if (magnitude >= 1e10) {
        return kGeneralCharacters;  // 11 digits or more before the point
    }
    static constexpr double kPowers[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};
    // Digits before the point; a fraction shows as "0.".
    const int whole = magnitude >= 1 ? DigitCount(static_cast<std::uint64_t>(magnitude)) : 1;
    const int most = kGeneralCharacters - 1 - whole;  // decimals that still fit
    // A scaled value within 2^-52 of a whole number is within a third of a
    // unit of the 15th digit from it, so General shows that number; one
    // further than 2^-46 from the nearest is more than a unit away, so
    // General shows more decimals.
    constexpr double kOnGrid = 0x1p-52;
    constexpr double kOffGrid = 0x1p-46;
    double off = 0;
    for (int decimals = 0; decimals <= most; ++decimals) {
        const double scaled = magnitude * kPowers[decimals];
        const double nearest = std::nearbyint(scaled);
        off = std::fabs(scaled - nearest);
        if (off <= scaled * kOnGrid) {
            auto digits = static_cast<std::uint64_t>(nearest);
            int shown = decimals;
            while (shown > 0 && digits % 10 == 0) {
                digits /= 10;
                --shown;
            }
            const int total = DigitCount(digits);
            const int length = shown == 0 ? total : std::max(total - shown, 1) + 1 + shown;
            return std::min(length, kGeneralCharacters);
        }
    }
    return off > magnitude * kPowers[most] * kOffGrid ? kGeneralCharacters : 0;
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
    const int sign = value < 0 ? 1 : 0;
    const int fast = FixedGeneralCharacters(std::fabs(value));
    if (fast > 0) {
        return fast + sign;
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::general, 15);
    const int digits =
        result.ec == std::errc() ? static_cast<int>(result.ptr - buffer) : kGeneralCharacters;
    return std::min(digits, kGeneralCharacters) + sign;
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
