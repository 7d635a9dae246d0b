// SPDX-License-Identifier: MIT
// Value classification: which field text becomes a number, boolean, date or
// text cell, and the values of those cells. It runs on every field of the
// input, so it works on string views and never allocates.
//
// A number cell must never show a different value than the text did, so the
// number test is stricter than "consists of numeric characters": the text
// must be a well-formed number whose digits a double holds exactly.
#include "engine/value_classifier.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "engine/settings.h"
#include "platform/utf8_stepping.h"
#include "workbook/workbook.h"

namespace engine {
namespace {

// A double holds every integer of up to this many digits exactly enough to
// give it back; longer integers (card numbers, long IDs) would lose digits in
// a number cell and stay text. Programs print doubles with up to 17 digits
// (0.30000000000000004): a longer decimal is a number only when the nearest
// double shows its digits again, and stays text otherwise
// (12345678901234567.0 would become ...568).
constexpr std::size_t kMaxIntegerDigits = 15;
// The integer part of a decimal beyond this many digits is past the largest
// double; a fraction beyond kMaxFractionDigits is below the smallest one.
constexpr std::size_t kMaxDecimalIntegerDigits = 308;
constexpr std::size_t kMaxFractionDigits = 400;
constexpr std::size_t kMaxDigits = kMaxDecimalIntegerDigits + kMaxFractionDigits;

constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Bytes of the UTF-8 character at `pos`. Malformed text is split by the one
// rule of StepUtf8, the same way in the field and in the character sets.
std::size_t CharacterLength(std::string_view text, std::size_t pos) {
    return platform::StepUtf8(text, pos).length;
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
// What the date readings below give for a text that is no date; serial
// numbers are never negative, and 0 is a day of the 1904 system.
constexpr double kNoDate = -1.0;

// A time of day read after a date; `given` is false when there was none.
struct TimeOfDay {
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
    std::int32_t millisecond = 0;
    bool given = false;
};

struct NumberParts {
    bool negative = false;
    char digits[kMaxDigits];  // the first digitCount are set
    std::size_t digitCount = 0;
    int exponent = 0;
    std::uint32_t characterMask = 0;  // which of NumberCharacterBit's characters occur
};

// Bit of a character a number may hold: the digits, "-", "." and ",".
constexpr std::uint32_t NumberCharacterBit(char c) {
    if (IsDigit(c)) {
        return 1u << (c - '0');
    }
    return c == '-' ? 1u << 10 : c == '.' ? 1u << 11 : c == ',' ? 1u << 12 : 0u;
}

// The NumberCharacterBit of every byte of `text`.
std::uint32_t CharacterMaskOf(std::string_view text) {
    std::uint32_t mask = 0;
    for (const char c : text) {
        mask |= NumberCharacterBit(c);
    }
    return mask;
}

// What a byte may be part of, for the one scan that decides which readings
// a field can have: a number holds digits, "-", "." and ","; a date also
// "/", blanks, and in its time of day "T", ":"; a compact date may follow a
// quote. Any other byte makes the field text.
enum CharacterClass : std::uint8_t {
    kNumberClass = 1,     // digits, "-", ".", ","
    kDateClass = 2,       // "/", blanks, "T", ":", quotes
    kSeparatorClass = 4,  // ".", "/", "-": a date needs one
    kOtherClass = 8,
};

constexpr std::array<std::uint8_t, 256> kCharacterClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (std::size_t c = 0; c < classes.size(); ++c) {
        classes[c] = kOtherClass;
    }
    for (char c = '0'; c <= '9'; ++c) {
        classes[static_cast<unsigned char>(c)] = kNumberClass;
    }
    for (const char c : {'-', '.'}) {
        classes[static_cast<unsigned char>(c)] = kNumberClass | kSeparatorClass;
    }
    classes[','] = kNumberClass;
    classes['/'] = kDateClass | kSeparatorClass;
    for (const char c : {' ', '\t', 'T', ':', '"', '\''}) {
        classes[static_cast<unsigned char>(c)] = kDateClass;
    }
    return classes;
}();

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
// decimal separator followed by at least one digit; the integer part may
// group thousands with the other separator (1.234,56 and 1,234.56 both read
// 1234.56) and may be empty before a fraction (.5, as database exports write
// it). `decimal` is '.' or ',' when the user named the decimal separator;
// the other one then only groups thousands, so 1,234 is 1234 with '.'.
// With '\0' the separators alone decide:
// - A separator that occurs once, without the other, is the decimal one.
//   So 1,234 reads 1.234: a comma is this program's decimal comma, and
//   European files with three decimals (1,250 kg) stay right; US files
//   with grouping get the right number from 12,345,678 or 1,234.50.
// - A separator that occurs more than once, without the other, groups
//   thousands (1.234.567, 1,234,567).
// - With both, the last one is the decimal separator and occurs once.
// Integers with a leading zero (007) and of more than 15 digits stay text:
// a number cell would drop the zeros or digits.
bool SplitNumber(std::string_view text, char decimalSeparator, NumberParts* parts) {
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
    if (decimalSeparator == '.' || decimalSeparator == ',') {
        const bool point = decimalSeparator == '.';
        const std::size_t decimals = point ? points : commas;
        const std::size_t groups = point ? commas : points;
        const std::size_t lastDecimal = point ? lastPoint : lastComma;
        const std::size_t lastGroup = point ? lastComma : lastPoint;
        if (decimals > 1 || (decimals == 1 && groups > 0 && lastGroup > lastDecimal)) {
            return false;
        }
        if (decimals == 1) {
            decimal = decimalSeparator;
            decimalAt = lastDecimal;
        }
        if (groups > 0) {
            grouping = point ? ',' : '.';
        }
    } else if (points > 0 && commas > 0) {
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
    if (fractionLength > kMaxFractionDigits) {
        return false;  // below the smallest double
    }
    const std::size_t integerLimit = decimal == '\0' ? kMaxIntegerDigits : kMaxDecimalIntegerDigits;
    parts->digitCount = 0;
    for (const char c : integerPart) {
        if (c == grouping || (c == '0' && parts->digitCount == 0)) {
            continue;
        }
        if (parts->digitCount == integerLimit) {
            return false;
        }
        parts->digits[parts->digitCount++] = c;
    }
    for (std::size_t i = 0; i < fractionLength; ++i) {
        if (fraction[i] != '0' || parts->digitCount != 0) {
            parts->digits[parts->digitCount++] = fraction[i];
        }
    }
    parts->exponent = -static_cast<int>(fractionLength);
    return true;
}

// The nearest double to a split number; false when it is below the
// smallest one.
bool PartsValue(const NumberParts& parts, double* value) {
    if (parts.digitCount == 0) {
        *value = 0.0;  // never a negative zero from "-0"
        return true;
    }
    // Up to 15 digits fit a double's mantissa exactly and so do the powers
    // of ten up to 1e22: one correctly rounded division then gives the
    // nearest double, as from_chars would. Only where the FPU rounds each
    // operation to double itself (not the x87's wider registers).
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (FLT_EVAL_METHOD == 0 && parts.digitCount <= 15 && parts.exponent <= 0 &&
        parts.exponent >= -22) {
        std::uint64_t mantissa = 0;
        for (std::size_t i = 0; i < parts.digitCount; ++i) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(parts.digits[i] - '0');
        }
        const double magnitude =
            static_cast<double>(mantissa) / kPowersOfTen[static_cast<std::size_t>(-parts.exponent)];
        *value = parts.negative ? -magnitude : magnitude;
        return true;
    }
    // "<digits>e<exponent>" is read by from_chars, which rounds correctly and
    // ignores the locale.
    char normalised[kMaxDigits + 16];
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

// True when `value`, the nearest double to `parts`, printed with as many
// significant digits as the text has, shows the same digits: up to 15 it
// always does.
bool HoldsDigits(const NumberParts& parts, double value) {
    if (parts.digitCount <= kMaxIntegerDigits) {
        return true;
    }
    // "d.ddd...e-xx": the first digit, a point, the others, the exponent.
    char printed[kMaxDigits + 16];
    const auto result =
        std::to_chars(printed, printed + sizeof printed, value < 0 ? -value : value,
                      std::chars_format::scientific, static_cast<int>(parts.digitCount - 1));
    const char* exponentAt = printed + parts.digitCount + 1;
    if (result.ec != std::errc{} || exponentAt >= result.ptr || *exponentAt != 'e' ||
        printed[0] != parts.digits[0] ||
        std::memcmp(printed + 2, parts.digits + 1, parts.digitCount - 1) != 0) {
        return false;
    }
    int exponent = 0;
    const char* exponentText = exponentAt + 1;
    exponentText += *exponentText == '+' ? 1 : 0;
    const auto read = std::from_chars(exponentText, result.ptr, exponent);
    return read.ec == std::errc{} && read.ptr == result.ptr &&
           exponent == parts.exponent + static_cast<int>(parts.digitCount) - 1;
}

// The common numbers read in one pass: an optional "-", then digits with
// at most one separator, which is the decimal one, and at most 15 digits in
// all. The answer is SplitNumber's, or kAsk where only it can tell, or
// kStopped where the text holds a byte other than a digit or a separator
// (after a leading "-"), or a second separator (grouping, or a date).
enum class QuickAnswer { kNotNumber, kNumber, kAsk, kStopped };

struct QuickNumber {
    std::uint64_t mantissa = 0;      // all digits, as an integer
    std::size_t fractionDigits = 0;  // digits after the decimal separator
    bool negative = false;
};

// What one pass over a number's bytes (after an optional leading "-")
// found: the digits as an integer, the separators and where the last one
// is, and whether any other byte occurs.
struct NumberScan {
    std::uint64_t mantissa = 0;  // wraps past 19 digits, but is then not used
    std::size_t separators = 0;
    std::size_t separatorAt = 0;
    bool otherByte = false;
};

NumberScan ScanNumber(std::string_view text, std::size_t bodyStart) {
    // Every byte is read, without a branch that depends on it: where the
    // separator falls and whether there is one differs from field to field,
    // and a mispredicted branch costs more than the few bytes of a number.
    NumberScan scan;
    for (std::size_t pos = bodyStart; pos < text.size(); ++pos) {
        const auto c = static_cast<unsigned char>(text[pos]);
        const unsigned digit = c - static_cast<unsigned>('0');
        const bool isDigit = digit <= 9;
        const bool isSeparator = c == '.' || c == ',';
        scan.otherByte |= !isDigit && !isSeparator;
        // Selections by arithmetic: the compiler would branch on them.
        const auto digitFlag = static_cast<std::uint64_t>(isDigit);
        const auto separatorFlag = static_cast<std::size_t>(isSeparator);
        scan.separators += separatorFlag;
        scan.separatorAt ^= (scan.separatorAt ^ pos) & (0 - separatorFlag);
        const std::uint64_t keep = 0 - digitFlag;
        scan.mantissa = ((scan.mantissa * 10 + digit) & keep) | (scan.mantissa & ~keep);
    }
    return scan;
}

// Bytes of a word that are zero: the high bit of each such byte set, and
// no other bit.
constexpr std::uint64_t ZeroBytes(std::uint64_t word) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((word & kLow7) + kLow7) | word | kLow7);
}

constexpr std::uint64_t kEachByte = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// The high bit of each byte of `word` that is a digit, and no other bit.
constexpr std::uint64_t DigitBytes(std::uint64_t word) {
    // No sum carries into the next byte: the high bit is taken off first.
    const std::uint64_t low = word & ~kHighBits;
    const std::uint64_t atLeastZero = low + kEachByte * (0x80 - '0');
    const std::uint64_t aboveNine = low + kEachByte * (0x80 - '9' - 1);
    return atLeastZero & ~aboveNine & ~word & kHighBits;
}

// The value of eight digit values (0 to 9, one a byte), the first byte the
// most significant digit.
constexpr std::uint64_t EightDigitsValue(std::uint64_t word) {
    word = (word * 10 + (word >> 8)) & 0x00FF00FF00FF00FFULL;
    word = (word * 100 + (word >> 16)) & 0x0000FFFF0000FFFFULL;
    return (word * 10000 + (word >> 32)) & 0xFFFFFFFFULL;
}

// All bits from bit `shift` up; none past the word.
constexpr std::uint64_t BitsFrom(unsigned shift) {
    return shift >= 64 ? 0 : ~std::uint64_t{0} << shift;
}

std::uint64_t LoadWord(const char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

std::uint64_t LoadHalfWord(const char* bytes) {
    std::uint32_t half = 0;
    std::memcpy(&half, bytes, sizeof half);
    return half;
}

// ScanNumber over a text loaded into 8 * kWords places, its last byte in
// the last place and nothing before its first: tested and converted eight
// bytes at a time, without a branch on any byte.
template <std::size_t kWords>
[[gnu::always_inline]] inline NumberScan ScanPlaces(const std::uint64_t (&words)[kWords],
                                                    std::size_t size, std::size_t bodyStart) {
    constexpr std::size_t kPlaces = 8 * kWords;
    const std::size_t firstPlace = kPlaces - size + bodyStart;  // of the body
    // From `place` on, in word i; nothing past the word.
    const auto bitsFromPlace = [](std::size_t place, std::size_t i) {
        return BitsFrom(static_cast<unsigned>(place > 8 * i ? 8 * (place - 8 * i) : 0));
    };
    NumberScan scan;
    std::uint64_t values[kWords];
    std::uint64_t separatorBits[kWords];
    // A separator counts as a zero digit in `whole`.
    std::uint64_t whole = 0;
    for (std::size_t i = 0; i < kWords; ++i) {
        const std::uint64_t body = bitsFromPlace(firstPlace, i) & kHighBits;
        const std::uint64_t digits = DigitBytes(words[i]) & body;
        // "," and "." differ in one bit, which no other byte sets to match.
        separatorBits[i] = ZeroBytes((words[i] | (kEachByte * 2)) ^ (kEachByte * '.')) & body;
        scan.otherByte |= (digits | separatorBits[i]) != body;
        // 0, 1 or more: a population count is a library call unless the
        // build targets a CPU that has the instruction.
        scan.separators += (separatorBits[i] != 0 ? 1u : 0u) +
                           ((separatorBits[i] & (separatorBits[i] - 1)) != 0 ? 1u : 0u);
        values[i] = (words[i] ^ (kEachByte * '0')) & ((digits >> 7) * 0xFF);
    }
    if constexpr (kWords == 1) {
        // The separator's byte taken out: the bytes before it move up one
        // place, and the digits convert at once.
        const std::uint64_t separatorBit = separatorBits[0] >> 7;  // its lowest bit, or 0
        const std::uint64_t before = separatorBit - (separatorBit != 0 ? 1 : 0);
        const std::uint64_t after = ~(before | (separatorBit * 0xFF));
        scan.mantissa = EightDigitsValue(((values[0] & before) << 8) | (values[0] & after));
        scan.separatorAt =
            static_cast<std::size_t>(std::countr_zero(separatorBits[0])) / 8 - (kPlaces - size);
        return scan;
    }
    for (std::size_t i = 0; i < kWords; ++i) {
        whole = whole * 100000000 + EightDigitsValue(values[i]);
    }
    if (scan.separators == 0) {
        scan.mantissa = whole;
        return scan;
    }
    std::size_t place = 0;
    for (std::size_t i = 0; i < kWords; ++i) {
        if (separatorBits[i] != 0) {
            place = 8 * i + static_cast<std::size_t>(std::countr_zero(separatorBits[i])) / 8;
        }
    }
    scan.separatorAt = place - (kPlaces - size);
    // The digits after the separator alone make `fraction`. Taking the
    // zero out: (whole - fraction) / 10 is the integer part's digits
    // followed by the fraction's zeros.
    std::uint64_t fraction = 0;
    for (std::size_t i = 0; i < kWords; ++i) {
        fraction = fraction * 100000000 + EightDigitsValue(values[i] & bitsFromPlace(place + 1, i));
    }
    scan.mantissa = (whole - fraction) / 10 + fraction;
    return scan;
}

// A text of 1 to 8 bytes in one word, its last byte in the highest place and
// nothing before its first; no byte past the text is read.
[[gnu::always_inline]] inline std::uint64_t LoadShortText(const char* bytes, std::size_t size) {
    if (size >= 4) {
        return (LoadHalfWord(bytes + size - 4) << 32) | (LoadHalfWord(bytes) << (8 * (8 - size)));
    }
    const auto byteAt = [bytes](std::size_t at) {
        return std::uint64_t{static_cast<unsigned char>(bytes[at])};
    };
    return (byteAt(size - 1) << 56) | (byteAt(size / 2) << (8 * (8 - size + size / 2))) |
           (byteAt(0) << (8 * (8 - size)));
}

// ScanNumber for 1 to 16 bytes on a little-endian machine, without a loop:
// the bytes are loaded (never past the text) into one word, or two, the
// last byte last.
[[gnu::always_inline]] inline NumberScan ScanShortNumber(std::string_view text,
                                                         std::size_t bodyStart) {
    const std::size_t size = text.size();
    const char* bytes = text.data();
    if (size > 8) {
        const std::uint64_t words[2] = {LoadWord(bytes) << (8 * (16 - size)),
                                        LoadWord(bytes + size - 8)};
        return ScanPlaces(words, size, bodyStart);
    }
    const std::uint64_t words[1] = {LoadShortText(bytes, size)};
    return ScanPlaces(words, size, bodyStart);
}

// ReadQuickNumber's answer from the scan of `text`, whose number starts at
// `bodyStart` (after a leading "-", if any).
[[gnu::always_inline]] inline QuickAnswer JudgeQuickNumber(std::string_view text,
                                                           std::size_t bodyStart,
                                                           const NumberScan& scan,
                                                           char decimalSeparator,
                                                           QuickNumber* number) {
    constexpr std::size_t kMostDigits = 15;  // below 2^53: exact in a double
    const std::size_t size = text.size();
    const std::uint64_t mantissa = scan.mantissa;
    const std::size_t separators = scan.separators;
    const std::size_t separatorAt = scan.separatorAt;
    const bool otherByte = scan.otherByte;
    if (otherByte || separators > 1) {
        return QuickAnswer::kStopped;
    }
    const std::size_t digits = size - bodyStart - separators;
    if (digits > kMostDigits) {
        return QuickAnswer::kAsk;
    }
    number->mantissa = mantissa;
    // Flags rather than branches: whether a number has a fraction differs
    // from field to field. Every byte read is inside the text.
    const bool hasSeparator = separators != 0;
    const std::size_t integerLength = (hasSeparator ? separatorAt : size) - bodyStart;
    number->fractionDigits = hasSeparator ? size - separatorAt - 1 : 0;
    // A named decimal separator makes the other one group thousands.
    const bool grouping = hasSeparator & (decimalSeparator != '\0') &
                          (text[hasSeparator ? separatorAt : 0] != decimalSeparator);
    // "007" and "00.5" stay text; so do "-", "5." and a lone separator.
    const bool leadingZero = (integerLength > 1) & (text[std::min(bodyStart, size - 1)] == '0');
    const bool incomplete = hasSeparator ? number->fractionDigits == 0 : integerLength == 0;
    if (grouping) {
        return QuickAnswer::kAsk;
    }
    return leadingZero | incomplete ? QuickAnswer::kNotNumber : QuickAnswer::kNumber;
}

[[gnu::always_inline]] inline QuickAnswer ReadQuickNumber(std::string_view text,
                                                          char decimalSeparator,
                                                          QuickNumber* number) {
    const std::size_t size = text.size();
    number->negative = size != 0 && text[0] == '-';
    const std::size_t bodyStart = number->negative ? 1 : 0;
    NumberScan scan;
    if (std::endian::native == std::endian::little && size >= 1 && size <= 16) {
        scan = ScanShortNumber(text, bodyStart);
    } else {
        scan = ScanNumber(text, bodyStart);
    }
    return JudgeQuickNumber(text, bodyStart, scan, decimalSeparator, number);
}

// ReadQuickNumber for 1 to 8 bytes without a sign, on a little-endian
// machine: the same scan and rules, with the sign and a second word known
// absent, which leaves most of the bookkeeping to the compiler.
[[gnu::always_inline]] inline QuickAnswer ReadShortQuickNumber(std::string_view text,
                                                               char decimalSeparator,
                                                               QuickNumber* number) {
    number->negative = false;
    const std::uint64_t words[1] = {LoadShortText(text.data(), text.size())};
    return JudgeQuickNumber(text, 0, ScanPlaces(words, text.size(), 0), decimalSeparator, number);
}

// The nearest double to a quick number: its digits are an exact integer and
// the power of ten at most 1e15, so one correctly rounded division gives
// what from_chars would. Only where the FPU rounds each operation to double
// itself; the x87's wider registers would round twice.
[[gnu::always_inline]] inline bool QuickValue(const QuickNumber& number, double* value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (FLT_EVAL_METHOD != 0) {
        return false;
    }
    // Integers too are divided (by 1, exactly): a branch on it would be
    // mispredicted wherever integers and decimals mix.
    const double magnitude =
        static_cast<double>(number.mantissa) / kPowersOfTen[number.fractionDigits];
    *value = number.negative && number.mantissa != 0 ? -magnitude : magnitude;  // never "-0"
    return true;
}

// The default set allows every character of a number.
bool IsDefaultNumericSet(const char (&numericChars)[kShortTextCapacity]) {
    static constexpr char kDefaultSet[] = "0123456789,.-";
    return std::memcmp(numericChars, kDefaultSet, sizeof kDefaultSet) == 0;
}

// True when every character of a number's mask is among `numericChars`
// (the settings' buffer, up to its terminator). Runs for every number, so
// it reads the buffer once and stops as soon as the number is covered.
bool NumericCharactersAllow(const char (&numericChars)[kShortTextCapacity],
                            std::uint32_t characterMask) {
    static constexpr std::array<std::uint16_t, 256> kBits = [] {
        std::array<std::uint16_t, 256> bits{};
        for (std::size_t c = 0; c < bits.size(); ++c) {
            bits[c] = static_cast<std::uint16_t>(NumberCharacterBit(static_cast<char>(c)));
        }
        return bits;
    }();
    if (IsDefaultNumericSet(numericChars)) {
        return true;
    }
    std::uint32_t allowed = 0;
    for (const char c : numericChars) {
        if (c == '\0') {
            break;
        }
        allowed |= kBits[static_cast<unsigned char>(c)];
        if ((characterMask & ~allowed) == 0) {
            return true;
        }
    }
    return (characterMask & ~allowed) == 0;  // non-ASCII characters never match a number's byte
}

// IsOneCharacterOf for the settings' boolean characters. The usual one-byte
// field is looked for in the first 16 bytes of the set a word at a time,
// without a branch on where (or whether) it occurs.
[[gnu::always_inline]] inline bool IsBooleanCharacter(
    std::string_view field, const char (&booleanChars)[kShortTextCapacity]) {
    if (field.size() == 1 && static_cast<unsigned char>(field[0]) < 0x80) {
        if constexpr (std::endian::native == std::endian::little) {
            const std::uint64_t spread = kEachByte * static_cast<unsigned char>(field[0]);
            std::uint64_t words[2];
            std::memcpy(words, booleanChars, sizeof words);
            const std::uint64_t ends[2] = {ZeroBytes(words[0]), ZeroBytes(words[1])};
            const std::uint64_t matches[2] = {ZeroBytes(words[0] ^ spread),
                                              ZeroBytes(words[1] ^ spread)};
            // Bits of the bytes before the first terminator of a word.
            const auto before = [](std::uint64_t end) { return (end & (0 - end)) - 1; };
            if (ends[0] != 0) {
                return (matches[0] & before(ends[0])) != 0;
            }
            if (ends[1] != 0) {
                return matches[0] != 0 || (matches[1] & before(ends[1])) != 0;
            }
        }
        for (const char c : booleanChars) {
            if (c == '\0') {
                return false;
            }
            if (c == field[0]) {
                return true;
            }
        }
        return false;
    }
    // Two bytes or more are one character only if the first starts a
    // multi-byte one; short numbers and codes are settled here.
    return field.size() <= 4 &&
           (field.size() == 1 || static_cast<unsigned char>(field[0]) >= 0xC0) &&
           IsOneCharacterOf(field, TextOf(booleanChars));
}

// A run of ASCII digits at the start of `text`, read as an integer (saturated
// far above any calendar number). False when `text` does not start with one.
bool TakeDigits(std::string_view* text, std::int32_t* number) {
    std::size_t length = 0;
    std::int32_t value = 0;
    while (length < text->size() && IsDigit((*text)[length])) {
        if (value < 100000000) {
            value = value * 10 + ((*text)[length] - '0');
        }
        ++length;
    }
    if (length == 0) {
        return false;
    }
    *number = value;
    text->remove_prefix(length);
    return true;
}

// A time of day after a date: " " or "T", then hh:mm, optionally :ss and a
// fraction of the second. Empty text is midnight without a time. False for
// anything else, so that a version like 2020.12.07-1 is not taken as a date.
bool ReadTimeOfDay(std::string_view text, TimeOfDay* time) {
    *time = {};
    if (text.empty()) {
        return true;
    }
    if (text[0] != ' ' && text[0] != 'T') {
        return false;
    }
    text.remove_prefix(1);
    const auto twoDigits = [&text](std::int32_t* number, std::int32_t limit) {
        if (text.size() < 2 || !IsDigit(text[0]) || !IsDigit(text[1])) {
            return false;
        }
        *number = (text[0] - '0') * 10 + (text[1] - '0');
        text.remove_prefix(2);
        return *number <= limit;
    };
    if (!twoDigits(&time->hour, 23) || text.empty() || text[0] != ':') {
        return false;
    }
    text.remove_prefix(1);
    if (!twoDigits(&time->minute, 59)) {
        return false;
    }
    if (!text.empty() && text[0] == ':') {
        text.remove_prefix(1);
        if (!twoDigits(&time->second, 59)) {
            return false;
        }
        if (!text.empty() && text[0] == '.') {
            text.remove_prefix(1);
            if (text.empty()) {
                return false;
            }
            // Milliseconds, rounded from any number of digits.
            std::int32_t scale = 100;
            std::int32_t rest = 0;
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (!IsDigit(text[i])) {
                    return false;
                }
                if (scale > 0) {
                    time->millisecond += (text[i] - '0') * scale;
                    scale /= 10;
                } else if (i == 3) {
                    rest = text[i] - '0';
                }
            }
            text = {};
            if (rest >= 5 && ++time->millisecond == 1000) {
                time->millisecond = 999;  // never rolls the date over
            }
        }
    }
    if (!text.empty()) {
        return false;
    }
    time->given = true;
    return true;
}

// The three numbers of a date text in the order written, and its time of
// day, or false when the text does not have the date's shape: after
// optional blanks, three runs of digits separated twice by the same one of
// ".", "/" or "-", the middle run at most three digits long, and then
// nothing or a time of day. Read left to right in one pass: a text with
// any other character where a digit or the separator belongs fails there.
bool SplitDateNumbers(std::string_view text, std::int32_t numbers[3], TimeOfDay* time) {
    while (!text.empty() && (text[0] == ' ' || text[0] == '\t')) {
        text.remove_prefix(1);
    }
    if (!TakeDigits(&text, &numbers[0]) || text.empty()) {
        return false;
    }
    const char separator = text[0];
    if (separator != '.' && separator != '/' && separator != '-') {
        return false;
    }
    text.remove_prefix(1);
    const std::size_t before = text.size();
    if (!TakeDigits(&text, &numbers[1]) || before - text.size() > 3 || text.empty() ||
        text[0] != separator) {
        return false;
    }
    text.remove_prefix(1);
    if (!TakeDigits(&text, &numbers[2])) {
        return false;
    }
    return ReadTimeOfDay(text, time);
}

// Packs the three numbers of a date text read in `order` (1 month-day-year,
// 2 day-month-year, 3 year-month-day) with its time of day; nothing when one
// of them is 0 or the day does not exist.
[[gnu::always_inline]] inline double PackInOrder(const workbook::Book* book, int order,
                                                 const std::int32_t numbers[3],
                                                 const TimeOfDay& time) {
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
    // A month or day that no calendar has (a date read in the wrong
    // order, mostly) needs no call.
    double serial = kNoDate;
    if (year == 0 || month < 1 || month > 12 || day < 1 || day > 31 ||
        !workbook::DateSerial(book, year, month, day, time.hour, time.minute, time.second,
                              time.millisecond, &serial)) {
        return kNoDate;
    }
    return serial;
}

// The orders (bit 1 << (order - 1)) in which the three numbers make a date.
unsigned OrdersOf(const workbook::Book* book, const std::int32_t numbers[3],
                  const TimeOfDay& time) {
    unsigned orders = 0;
    for (int order = 1; order <= 3; ++order) {
        orders |= PackInOrder(book, order, numbers, time) != kNoDate ? 1u << (order - 1) : 0u;
    }
    return orders;
}

// The first date that exists fixes an automatic order, by its first number.
double AutomaticDate(ConversionSettings* settings, const workbook::Book* book,
                     const std::int32_t numbers[3], const TimeOfDay& time) {
    // Automatic order: the first number tells. A day that does not exist in
    // the order chosen (version numbers like 10.20.30, a grouped 1.234.567)
    // is not a date and must not fix the order for the rest of the run.
    const int order = numbers[0] > 31 ? 3 : numbers[0] >= 13 ? 2 : 1;
    const double value = PackInOrder(book, order, numbers, time);
    if (value != kNoDate) {
        settings->dateMode = order == 3   ? kDateDetectedYearFirst
                             : order == 2 ? kDateDetectedDayFirst
                                          : kDateDetectedMonthFirst;
    }
    return value;
}

double DateInOrder(ConversionSettings* settings, const workbook::Book* book,
                   const std::int32_t numbers[3], const TimeOfDay& time);

// True when dateMode fixes the order of day, month and year (not the
// compact form, not automatic).
constexpr bool FixesOrder(std::int32_t dateMode) {
    return (dateMode >= kDateMonthFirst && dateMode <= kDateYearFirst) ||
           (dateMode >= kDateDetectedMonthFirst && dateMode <= kDateDetectedYearFirst);
}

// DateValue's work, giving the time of day read too. *undated (may be null)
// is set when the text has a date's shape but is no date in the order the
// settings fix.
double DateAndTime(ConversionSettings* settings, const workbook::Book* book, std::string_view field,
                   TimeOfDay* time, bool* undated = nullptr) {
    std::int32_t numbers[3] = {0, 0, 0};
    if (settings->dateMode == kDateCompact) {
        // Compact YYYYMMDD, optionally behind the quote a spreadsheet export
        // puts before digits it wants kept as text.
        if (field.size() <= 7) {
            return kNoDate;
        }
        if (field[0] == '"' || field[0] == '\'') {
            field.remove_prefix(1);
        }
        if (field.size() < 8 || !std::all_of(field.begin(), field.begin() + 8, IsDigit) ||
            !ReadTimeOfDay(field.substr(8), time)) {
            return kNoDate;
        }
        numbers[0] = LeadingInteger(field.substr(0, 4));
        numbers[1] = LeadingInteger(field.substr(4, 2));
        numbers[2] = LeadingInteger(field.substr(6, 2));
        return PackInOrder(book, 3, numbers, *time);
    }

    if (!SplitDateNumbers(field, numbers, time)) {
        return kNoDate;
    }
    const double value = DateInOrder(settings, book, numbers, *time);
    if (value == kNoDate && undated != nullptr) {
        *undated = FixesOrder(settings->dateMode);
    }
    return value;
}

// A date from its three numbers as written, in the settings' order, or
// fixing an automatic order on the first date that exists.
double DateInOrder(ConversionSettings* settings, const workbook::Book* book,
                   const std::int32_t numbers[3], const TimeOfDay& time) {
    switch (settings->dateMode) {
        case kDateMonthFirst:
        case kDateDetectedMonthFirst:
            return PackInOrder(book, 1, numbers, time);
        case kDateDayFirst:
        case kDateDetectedDayFirst:
            return PackInOrder(book, 2, numbers, time);
        case kDateYearFirst:
        case kDateDetectedYearFirst:
            return PackInOrder(book, 3, numbers, time);
        default:
            return AutomaticDate(settings, book, numbers, time);
    }
}

// The reading of a field that only SplitNumber can tell: grouped, long or
// with a named decimal separator. Out of line, so that its buffer of digits
// does not weigh on the common numbers' path.
template <bool kWithValue>
[[gnu::noinline]] FieldValue ReadSplitNumber(const ConversionSettings* settings,
                                             std::string_view field) {
    FieldValue result;
    NumberParts parts;
    if (SplitNumber(field, settings->decimalSeparator, &parts) &&
        NumericCharactersAllow(settings->numericChars, parts.characterMask)) {
        if (parts.digitCount > kMaxIntegerDigits) {
            // A long decimal is a number only if a double holds its digits.
            double value = 0.0;
            if (!PartsValue(parts, &value) || !HoldsDigits(parts, value)) {
                return result;
            }
            result.letter = kNumericType;
            result.value = value;
            result.hasNumber = true;
            return result;
        }
        result.letter = kNumericType;
        if constexpr (kWithValue) {
            result.hasNumber = PartsValue(parts, &result.value);
        }
    }
    return result;
}

// The reading of a field that holds only number characters, given what
// ReadQuickNumber said of it (never kStopped).
template <bool kWithValue>
[[gnu::always_inline]] inline FieldValue ReadNumber(const ConversionSettings* settings,
                                                    std::string_view field, QuickAnswer answer,
                                                    const QuickNumber& quick) {
    FieldValue result;
    if (answer == QuickAnswer::kNotNumber) {
        return result;
    }
    if (answer == QuickAnswer::kNumber) {
        // The quick scan leaves the characters to this test, which the
        // default set always passes.
        if (IsDefaultNumericSet(settings->numericChars) ||
            NumericCharactersAllow(settings->numericChars, CharacterMaskOf(field))) {
            result.letter = kNumericType;
            if constexpr (kWithValue) {
                result.hasNumber = QuickValue(quick, &result.value) ||
                                   NumberValue(field, &result.value, settings->decimalSeparator);
            }
        }
        return result;
    }
    return ReadSplitNumber<kWithValue>(settings, field);
}

// ClassifyAndRead's work for a field that may be a date or a number.
template <bool kWithValue>
FieldValue ReadDateOrNumber(ConversionSettings* settings, const workbook::Book* book,
                            std::string_view field, unsigned classes, unsigned separators) {
    FieldValue result;
    if (separators >= 2 || settings->dateMode == kDateCompact) {
        TimeOfDay time;
        const double date = DateAndTime(settings, book, field, &time, &result.undatedDate);
        if (date != kNoDate) {
            result.letter = kDateType;
            result.value = date;
            result.hasTime = time.given;
            return result;
        }
    }
    if ((classes & kDateClass) != 0) {
        return result;
    }
    QuickNumber quick;
    QuickAnswer answer = ReadQuickNumber(field, settings->decimalSeparator, &quick);
    if (answer == QuickAnswer::kStopped) {
        // Only number characters are left: more than one separator may
        // group thousands (and SplitNumber refuses a "-" after the start).
        answer = QuickAnswer::kAsk;
    }
    FieldValue number = ReadNumber<kWithValue>(settings, field, answer, quick);
    number.undatedDate = result.undatedDate && number.letter == kCharacterType;
    return number;
}

// Short fields are read to their end without a test per byte; long ones,
// mostly text, stop at the first byte that makes them text.
constexpr std::size_t kShortField = 48;

// ClassifyAndRead's work for a field that none of its fast paths reads. One
// scan of the field tells which readings remain.
template <bool kWithValue>
[[gnu::noinline]] FieldValue ReadOtherField(ConversionSettings* settings,
                                            const workbook::Book* book, std::string_view field) {
    unsigned classes = 0;
    unsigned separators = 0;  // a date has two
    const auto take = [&classes, &separators](char c) {
        const unsigned characterClass = kCharacterClasses[static_cast<unsigned char>(c)];
        classes |= characterClass;
        separators += (characterClass & kSeparatorClass) != 0 ? 1 : 0;
    };
    if (field.size() <= kShortField) {
        // Short fields: the whole scan without a branch, then one test.
        for (const char c : field) {
            take(c);
        }
        if ((classes & kOtherClass) != 0) {
            return {};
        }
    } else {
        for (const char c : field) {
            take(c);
            if ((classes & kOtherClass) != 0) {
                return {};
            }
        }
    }
    return ReadDateOrNumber<kWithValue>(settings, book, field, classes, separators);
}

// The three numbers of a date written in one of the two usual fixed shapes,
// dd.mm.yyyy or yyyy-mm-dd (with any one of ".", "/", "-" twice), at the
// start of `field` and not followed by another digit: what SplitDateNumbers
// would read from it. False for any other text, which the general rules read.
[[gnu::always_inline]] inline bool ReadFixedShapeDate(std::string_view field,
                                                      std::int32_t numbers[3]) {
    if (field.size() < 10 || (field.size() > 10 && IsDigit(field[10]))) {
        return false;
    }
    const auto digit = [field](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(field[at]) - '0');
    };
    const auto isSeparator = [](char c) { return c == '.' || c == '/' || c == '-'; };
    // The digits' places as DigitBytes marks them: bytes 0-7 and bytes 2-9.
    std::uint64_t digitPlaces[2] = {0, 0x8080000000000000ULL};  // 8 and 9
    unsigned first = 0;
    unsigned middle = 0;
    unsigned last = 0;
    if (field[2] == field[5] && isSeparator(field[2])) {
        digitPlaces[0] = 0x8080008080008080ULL;  // 0, 1, 3, 4, 6, 7
        first = digit(0) * 10 + digit(1);
        middle = digit(3) * 10 + digit(4);
        last = ((digit(6) * 10 + digit(7)) * 10 + digit(8)) * 10 + digit(9);
    } else if (field[4] == field[7] && isSeparator(field[4])) {
        digitPlaces[0] = 0x0080800080808080ULL;  // 0, 1, 2, 3, 5, 6
        first = ((digit(0) * 10 + digit(1)) * 10 + digit(2)) * 10 + digit(3);
        middle = digit(5) * 10 + digit(6);
        last = digit(8) * 10 + digit(9);
    } else {
        return false;
    }
    bool allDigits = true;
    if constexpr (std::endian::native == std::endian::little) {
        allDigits = (DigitBytes(LoadWord(field.data())) & digitPlaces[0]) == digitPlaces[0] &&
                    (DigitBytes(LoadWord(field.data() + 2)) & digitPlaces[1]) == digitPlaces[1];
    } else {
        for (std::size_t at = 0; at < 10; ++at) {
            const std::uint64_t place =
                at < 8 ? digitPlaces[0] >> (8 * at) : digitPlaces[1] >> (8 * (at - 2));
            allDigits = allDigits && ((place & 0x80) == 0 || digit(at) <= 9);
        }
    }
    if (!allDigits) {
        return false;
    }
    numbers[0] = static_cast<std::int32_t>(first);
    numbers[1] = static_cast<std::int32_t>(middle);
    numbers[2] = static_cast<std::int32_t>(last);
    return true;
}

// ClassifyFieldValue's work for a field that its first byte does not make
// text. The usual fields take a fast path: a date of a fixed shape, or a
// plain number (digits, at most one separator, an optional leading "-"),
// each read in one pass; the rest ReadOtherField reads.
template <bool kWithValue>
[[gnu::noinline]] FieldValue ClassifyNonEmptyField(ConversionSettings* settings,
                                                   const workbook::Book* book,
                                                   std::string_view field) {
    FieldValue result;
    if (field.size() <= 4 && IsBooleanCharacter(field, settings->booleanChars)) {
        result.letter = kLogicalType;
        return result;
    }
    const char first = field[0];
    if ((kCharacterClasses[static_cast<unsigned char>(first)] & kOtherClass) != 0) {
        return result;
    }
    // The compact order reads dates of digits alone, so it takes the
    // general path.
    if (settings->dateMode != kDateCompact) {
        std::int32_t numbers[3];
        if (field.size() >= 10 && ReadFixedShapeDate(field, numbers)) {
            // Never a number: a run of two digits between two separators
            // is neither a group of thousands nor a fraction.
            TimeOfDay time;
            if (ReadTimeOfDay(field.substr(10), &time)) {
                const double date = DateInOrder(settings, book, numbers, time);
                if (date != kNoDate) {
                    result.letter = kDateType;
                    result.value = date;
                    result.hasTime = time.given;
                } else {
                    result.undatedDate = FixesOrder(settings->dateMode);
                }
            }
            return result;
        }
        if ((IsDigit(first) || first == '-') && field.size() <= kShortField) {
            // No date: one separator at most, and a leading "-" is no digit.
            QuickNumber quick;
            const QuickAnswer answer =
                std::endian::native == std::endian::little && field.size() <= 8 && first != '-'
                    ? ReadShortQuickNumber(field, settings->decimalSeparator, &quick)
                    : ReadQuickNumber(field, settings->decimalSeparator, &quick);
            if (answer != QuickAnswer::kStopped) {
                return ReadNumber<kWithValue>(settings, field, answer, quick);
            }
        }
    }
    return ReadOtherField<kWithValue>(settings, book, field);
}

// ClassifyFieldValue's work; without kWithValue the number's value is not
// worked out (the letter never depends on it). Most text is known by its
// first byte, which is tested before anything else is set up.
template <bool kWithValue>
FieldValue ClassifyAndRead(ConversionSettings* settings, const workbook::Book* book,
                           std::string_view field) {
    // A boolean character is at most 4 bytes long, and may be a letter.
    // One branch for both tests: short notes and empty fields alternate.
    const char* first = field.empty() ? " " : field.data();
    const bool empty = field.empty();
    const bool longText =
        (field.size() > 4) &
        ((kCharacterClasses[static_cast<unsigned char>(*first)] & kOtherClass) != 0);
    if (empty | longText) {
        return {};
    }
    return ClassifyNonEmptyField<kWithValue>(settings, book, field);
}

}  // namespace

char ClassifyField(ConversionSettings* settings, const workbook::Book* book,
                   std::string_view field) {
    return ClassifyAndRead<false>(settings, book, field).letter;
}

FieldValue ClassifyFieldValue(ConversionSettings* settings, const workbook::Book* book,
                              std::string_view field) {
    return ClassifyAndRead<true>(settings, book, field);
}

std::optional<double> DateValue(ConversionSettings* settings, const workbook::Book* book,
                                std::string_view field, bool* hasTime) {
    TimeOfDay time;
    const double value = DateAndTime(settings, book, field, &time);
    if (hasTime != nullptr) {
        *hasTime = value != kNoDate && time.given;
    }
    if (value == kNoDate) {
        return std::nullopt;
    }
    return value;
}

unsigned DateOrdersOf(const workbook::Book* book, std::string_view field) {
    std::int32_t numbers[3] = {0, 0, 0};
    TimeOfDay time;
    if (!SplitDateNumbers(field, numbers, &time)) {
        return 0;
    }
    return OrdersOf(book, numbers, time);
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

bool NumberValue(std::string_view text, double* value, char decimalSeparator) {
    NumberParts parts;
    double read = 0.0;
    if (!SplitNumber(text, decimalSeparator, &parts) || !PartsValue(parts, &read) ||
        !HoldsDigits(parts, read)) {
        return false;
    }
    *value = read;
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
