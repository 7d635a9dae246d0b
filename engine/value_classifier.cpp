// SPDX-License-Identifier: MIT
// Value classification: which field text becomes a number, boolean, date or
// text cell, and the values of those cells. It runs on every field of the
// input, so it works on string views and never allocates.
//
// A number cell must never show a different value than the text did, so the
// number test is stricter than "consists of numeric characters": the text
// must be a well-formed number whose digits a double holds exactly.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "engine/engine.h"
#include "workbook/workbook.h"

namespace engine {
namespace {

// A double holds every decimal of up to this many significant digits exactly
// enough to give it back; longer digit strings (card numbers, long IDs) lose
// digits in a number cell.
constexpr std::size_t kMaxSignificantDigits = 15;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Bytes of the UTF-8 character at `pos`. A byte that does not start a
// complete sequence counts as a character of its own, so malformed text is
// still split the same way in the field and in the character sets.
std::size_t CharacterLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 1;
    if (lead >= 0xF0 && lead <= 0xF7) {
        length = 4;
    } else if (lead >= 0xE0) {
        length = lead <= 0xEF ? 3 : 1;
    } else if (lead >= 0xC0) {
        length = 2;
    }
    if (length == 1 || text.size() - pos < length) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuationByte(text[pos + i])) {
            return 1;
        }
    }
    return length;
}

// True when `text` is exactly one character and that character is one of
// the characters of `set` (whole UTF-8 characters, not bytes).
bool IsOneCharacterOf(std::string_view text, std::string_view set) {
    if (text.empty() || CharacterLength(text, 0) != text.size()) {
        return false;
    }
    if (text.size() == 1 && static_cast<unsigned char>(text[0]) < 0x80) {
        // An ASCII byte never occurs inside a multi-byte character.
        return set.find(text[0]) != std::string_view::npos;
    }
    for (std::size_t pos = 0; pos < set.size();) {
        const std::size_t length = CharacterLength(set, pos);
        if (set.substr(pos, length) == text) {
            return true;
        }
        pos += length;
    }
    return false;
}

// The parts of a well-formed number: the sign and the significant digits
// (no leading zeros, no trailing zeros of the fraction) as mantissa, with
// the power of ten that scales them.
struct NumberParts {
    bool negative = false;
    char digits[kMaxSignificantDigits] = {};
    std::size_t digitCount = 0;
    int exponent = 0;
    std::uint32_t characterMask = 0;  // which of NumberCharacterBit's characters occur
};

// Bit of a character a number may hold: the digits, "-", "." and ",".
std::uint32_t NumberCharacterBit(char c) {
    if (IsDigit(c)) {
        return 1u << (c - '0');
    }
    return c == '-' ? 1u << 10 : c == '.' ? 1u << 11 : c == ',' ? 1u << 12 : 0u;
}

// The integer part must be "0", or digits without a leading zero, grouped or
// not. Grouped: a first group of 1 to 3 digits, then groups of exactly 3.
bool IntegerPartIsWellFormed(std::string_view part, char grouping) {
    if (grouping == '\0') {
        return part.size() <= 1 || part[0] != '0';
    }
    if (part[0] == '0') {
        return false;
    }
    std::size_t groupLength = 0;
    bool first = true;
    for (const char c : part) {
        if (c != grouping) {
            ++groupLength;
            continue;
        }
        if (first ? (groupLength == 0 || groupLength > 3) : groupLength != 3) {
            return false;
        }
        first = false;
        groupLength = 0;
    }
    return first || groupLength == 3;
}

// Splits a text into NumberParts, or false when it is not a well-formed
// number. Accepted: an optional "-", an integer part, and an optional
// decimal separator ("." or ",") followed by at least one digit; the integer
// part may group thousands with the other separator (1.234,56 and 1,234.56
// both read 1234.56) and may be empty before a fraction (.5, as database
// exports write it). Rules where the separators alone are ambiguous:
// - A separator that occurs once, without the other, is the decimal one.
//   So 1,234 reads 1.234: a comma is this program's decimal comma, and
//   European files with three decimals (1,250 kg) stay right; US files
//   with grouping get the right number from 12,345,678 or 1,234.50, and
//   anyone with bare 1,234 can force the column to text.
// - A separator that occurs more than once, without the other, groups
//   thousands (1.234.567, 1,234,567).
// - With both, the last one is the decimal separator and occurs once.
// Integers with a leading zero (007) and numbers of more than 15
// significant digits, decimals included, stay text: a number cell would
// drop the zeros or digits.
bool SplitNumber(std::string_view text, NumberParts* parts) {
    std::size_t pos = 0;
    if (!text.empty() && text[0] == '-') {
        parts->negative = true;
        pos = 1;
    }
    const std::string_view body = text.substr(pos);
    std::size_t lastPoint = std::string_view::npos;
    std::size_t lastComma = std::string_view::npos;
    std::size_t points = 0;
    std::size_t commas = 0;
    std::uint32_t mask = parts->negative ? NumberCharacterBit('-') : 0u;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '.') {
            ++points;
            lastPoint = i;
        } else if (c == ',') {
            ++commas;
            lastComma = i;
        } else if (!IsDigit(c)) {
            return false;
        }
        mask |= NumberCharacterBit(c);
    }
    parts->characterMask = mask;

    char decimal = '\0';
    char grouping = '\0';
    std::size_t decimalAt = body.size();
    if (points > 0 && commas > 0) {
        const bool pointLast = lastPoint > lastComma;
        decimal = pointLast ? '.' : ',';
        grouping = pointLast ? ',' : '.';
        decimalAt = pointLast ? lastPoint : lastComma;
        if ((pointLast ? points : commas) != 1) {
            return false;
        }
    } else if (points + commas == 1) {
        decimal = points == 1 ? '.' : ',';
        decimalAt = points == 1 ? lastPoint : lastComma;
    } else if (points + commas > 1) {
        grouping = points > 0 ? '.' : ',';
    }

    const std::string_view integerPart = body.substr(0, decimalAt);
    const std::string_view fraction =
        decimal == '\0' ? std::string_view{} : body.substr(decimalAt + 1);
    if (decimal != '\0' && fraction.empty()) {
        return false;  // "5." or a lone separator
    }
    if (integerPart.empty() ? (decimal == '\0' || grouping != '\0')
                            : !IntegerPartIsWellFormed(integerPart, grouping)) {
        return false;
    }

    // Significant digits: from the first non-zero digit to the end of the
    // integer part, then the fraction without its trailing zeros.
    std::size_t fractionLength = fraction.size();
    while (fractionLength > 0 && fraction[fractionLength - 1] == '0') {
        --fractionLength;
    }
    parts->digitCount = 0;
    const auto take = [parts](char c) {
        if (c == '0' && parts->digitCount == 0) {
            return true;
        }
        if (parts->digitCount == kMaxSignificantDigits) {
            return false;
        }
        parts->digits[parts->digitCount++] = c;
        return true;
    };
    for (const char c : integerPart) {
        if (c != grouping && !take(c)) {
            return false;
        }
    }
    for (std::size_t i = 0; i < fractionLength; ++i) {
        if (!take(fraction[i])) {
            return false;
        }
    }
    if (fractionLength > 400) {
        return false;  // below the smallest double
    }
    parts->exponent = -static_cast<int>(fractionLength);
    return true;
}

// The settings' numeric characters as NumberCharacterBit bits. Non-ASCII
// characters of the set never match a byte of a number.
std::uint32_t NumericCharacterMask(std::string_view numericChars) {
    std::uint32_t mask = 0;
    for (const char c : numericChars) {
        mask |= NumberCharacterBit(c);
    }
    return mask;
}

// The three numbers of a date text in the order written, or false when the
// text does not have the date's shape: one of ".", "/" or "-" (the first of
// them present, in that order of preference) exactly twice, with at most
// three characters between. Each number is read as a leading integer, so a
// time of day after the third is ignored.
bool SplitDateNumbers(std::string_view text, std::int32_t numbers[3]) {
    char separator = '\0';
    for (const char candidate : {'.', '/', '-'}) {
        if (text.find(candidate) != std::string_view::npos) {
            separator = candidate;
            break;
        }
    }
    if (separator == '\0') {
        return false;
    }
    const std::size_t first = text.find(separator);
    const std::size_t second = text.find(separator, first + 1);
    if (second == std::string_view::npos || second - first > 4 ||
        text.find(separator, second + 1) != std::string_view::npos) {
        return false;
    }
    numbers[0] = LeadingInteger(text);
    numbers[1] = LeadingInteger(text.substr(first + 1));
    numbers[2] = LeadingInteger(text.substr(second + 1));
    return true;
}

// Packs the three numbers of a date text read in `order` (1 month-day-year,
// 2 day-month-year, 3 year-month-day); 0 when one of them is 0 or the day
// does not exist.
double PackInOrder(const workbook::Book* book, int order, const std::int32_t numbers[3]) {
    std::int32_t year = numbers[2];
    std::int32_t month = numbers[0];
    std::int32_t day = numbers[1];
    if (order == 2) {
        month = numbers[1];
        day = numbers[0];
    } else if (order == 3) {
        year = numbers[0];
        month = numbers[1];
        day = numbers[2];
    }
    if (year == 0 || month == 0 || day == 0) {
        return 0.0;
    }
    return workbook::DatePack(book, year, month, day, 0, 0, 0, 0);
}

}  // namespace

char ClassifyField(ConversionSettings* settings, const workbook::Book* book,
                   std::string_view field) {
    if (field.empty()) {
        return kCharacterType;
    }
    if (IsOneCharacterOf(field, TextOf(settings->booleanChars))) {
        return kLogicalType;
    }
    if (DateValue(settings, book, field) > 0.0) {
        return kDateType;
    }
    NumberParts parts;
    if (SplitNumber(field, &parts)) {
        const std::uint32_t allowed = NumericCharacterMask(TextOf(settings->numericChars));
        if ((parts.characterMask & ~allowed) == 0) {
            return kNumericType;
        }
    }
    return kCharacterType;
}

double DateValue(ConversionSettings* settings, const workbook::Book* book, std::string_view field) {
    const std::int32_t mode = settings->dateMode;
    if (mode == 4) {
        // Compact YYYYMMDD, optionally behind the quote a spreadsheet export
        // puts before digits it wants kept as text.
        if (field.size() <= 7) {
            return 0.0;
        }
        if (field[0] == '"' || field[0] == '\'') {
            field.remove_prefix(1);
        }
        const std::int32_t numbers[3] = {LeadingInteger(field.substr(0, 4)),
                                         LeadingInteger(field.substr(4, 2)),
                                         LeadingInteger(field.substr(6))};
        return PackInOrder(book, 3, numbers);
    }

    std::int32_t numbers[3] = {0, 0, 0};
    if (!SplitDateNumbers(field, numbers)) {
        return 0.0;
    }
    switch (mode) {
        case 1:
        case 11:
            return PackInOrder(book, 1, numbers);
        case 2:
        case 12:
            return PackInOrder(book, 2, numbers);
        case 3:
        case 13:
            return PackInOrder(book, 3, numbers);
        default:
            break;
    }

    // Automatic order: the first number tells. A day that does not exist in
    // the order chosen (version numbers like 10.20.30, a grouped 1.234.567)
    // is not a date and must not fix the order for the rest of the run.
    const int order = numbers[0] > 31 ? 3 : numbers[0] >= 13 ? 2 : 1;
    const double value = PackInOrder(book, order, numbers);
    if (value > 0.0) {
        settings->dateMode = 10 + order;
    }
    return value;
}

char LookupTypeOverride(const ConversionSettings* settings, std::int32_t column,
                        char defaultLetter) {
    if (!settings->typeOverrides[0]) {
        return defaultLetter;
    }
    for (const OwnedText& slot : settings->typeOverrides) {
        if (!slot) {
            continue;
        }
        const std::string_view entry(slot.get());
        const std::size_t equals = entry.find('=');
        if (equals != std::string_view::npos && LeadingInteger(entry) == column) {
            return equals + 1 < entry.size() ? entry[equals + 1] : '\0';
        }
    }
    return defaultLetter;
}

void TypeOverrideIndex::Build(const ConversionSettings* settings) {
    // Columns beyond any sheet's width never receive a field that is written.
    constexpr std::int32_t kIndexedColumns = 1 << 20;
    letters_.clear();
    if (!settings->typeOverrides[0]) {
        return;
    }
    for (const OwnedText& slot : settings->typeOverrides) {
        if (!slot) {
            continue;
        }
        const std::string_view entry(slot.get());
        const std::size_t equals = entry.find('=');
        const std::int32_t column = LeadingInteger(entry);
        if (equals == std::string_view::npos || column < 0 || column >= kIndexedColumns) {
            continue;
        }
        const auto at = static_cast<std::size_t>(column);
        if (at >= letters_.size()) {
            letters_.resize(at + 1, -1);
        }
        if (letters_[at] < 0) {  // the first entry for a column wins
            letters_[at] =
                equals + 1 < entry.size() ? static_cast<unsigned char>(entry[equals + 1]) : 0;
        }
    }
}

std::string_view DecimalCommaToPoint(std::string_view text, std::span<char> dst) {
    if (dst.empty()) {
        return {};
    }
    const std::size_t length = text.size() < dst.size() ? text.size() : dst.size() - 1;
    for (std::size_t i = 0; i < length; ++i) {
        dst[i] = text[i] == ',' ? '.' : text[i];
    }
    dst[length] = '\0';
    return {dst.data(), length};
}

bool NumberValue(std::string_view text, double* value) {
    NumberParts parts;
    if (!SplitNumber(text, &parts)) {
        return false;
    }
    if (parts.digitCount == 0) {
        *value = 0.0;  // never a negative zero from "-0"
        return true;
    }
    // "<digits>e<exponent>" is read by from_chars, which rounds correctly and
    // ignores the locale.
    char normalised[kMaxSignificantDigits + 16];
    std::memcpy(normalised, parts.digits, parts.digitCount);
    char* end = normalised + parts.digitCount;
    *end++ = 'e';
    end = std::to_chars(end, normalised + sizeof normalised, parts.exponent).ptr;
    double magnitude = 0.0;
    const auto result = std::from_chars(normalised, end, magnitude);
    if (result.ec != std::errc{} || result.ptr != end) {
        return false;  // a fraction too small for a double
    }
    *value = parts.negative ? -magnitude : magnitude;
    return true;
}

bool BooleanValue(std::string_view field) {
    if (field.empty()) {
        return false;
    }
    const std::string_view first = field.substr(0, CharacterLength(field, 0));
    // No, false and zero; Cyrillic Н stands for "no" (нет, ні, не).
    for (const std::string_view no : {"N", "n", "F", "f", "0", "\u041D", "\u043D"}) {
        if (first == no) {
            return false;
        }
    }
    return true;
}

}  // namespace engine
