// SPDX-License-Identifier: MIT
// The classifier against the straightforward implementation it replaced,
// kept here as the reference: one parser after the other (boolean, date,
// number), each with its own passes over the field. The fast classifier
// must give the same letter, value, time-of-day flag and date order for
// every field, including generated ones built to sit on the rules' edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "workbook/workbook.h"

namespace {

namespace reference {
using engine::ConversionSettings;
using engine::kCharacterType;
using engine::kDateType;
using engine::kLogicalType;
using engine::kNumericType;
using engine::LeadingInteger;
using engine::TextOf;

double DateValue(ConversionSettings* settings, const workbook::Book* book, std::string_view field,
                 bool* hasTime = nullptr);
bool NumberValue(std::string_view text, double* value, char decimalSeparator);

// A double holds every integer of up to this many digits exactly enough to
// give it back; longer integers (card numbers, long IDs) would lose digits in
// a number cell and stay text. Decimals are measurements, not identifiers:
// programs print doubles with up to 17 digits (0.30000000000000004), and
// those become the nearest number.
constexpr std::size_t kMaxIntegerDigits = 15;
// The integer part of a decimal beyond this many digits is past the largest
// double; a fraction beyond kMaxFractionDigits is below the smallest one.
constexpr std::size_t kMaxDecimalIntegerDigits = 308;
constexpr std::size_t kMaxFractionDigits = 400;
constexpr std::size_t kMaxDigits = kMaxDecimalIntegerDigits + kMaxFractionDigits;

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

// The settings' numeric characters as NumberCharacterBit bits. Non-ASCII
// characters of the set never match a byte of a number.
std::uint32_t NumericCharacterMask(std::string_view numericChars) {
    std::uint32_t mask = 0;
    for (const char c : numericChars) {
        mask |= NumberCharacterBit(c);
    }
    return mask;
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
// optional blanks, digits separated by one of ".", "/" or "-" (the first of
// them present in the date, in that order of preference) exactly twice,
// with at most three characters between, and then nothing or a time of day.
bool SplitDateNumbers(std::string_view text, std::int32_t numbers[3], TimeOfDay* time) {
    while (!text.empty() && (text[0] == ' ' || text[0] == '\t')) {
        text.remove_prefix(1);
    }
    const std::size_t dateEnd = std::min(text.find_first_of(" T"), text.size());
    const std::string_view date = text.substr(0, dateEnd);
    char separator = '\0';
    for (const char candidate : {'.', '/', '-'}) {
        if (date.find(candidate) != std::string_view::npos) {
            separator = candidate;
            break;
        }
    }
    if (separator == '\0') {
        return false;
    }
    const std::size_t first = date.find(separator);
    const std::size_t second = date.find(separator, first + 1);
    if (second == std::string_view::npos || second - first > 4 ||
        date.find(separator, second + 1) != std::string_view::npos) {
        return false;
    }
    std::string_view part = date.substr(0, first);
    if (!TakeDigits(&part, &numbers[0]) || !part.empty()) {
        return false;
    }
    part = date.substr(first + 1, second - first - 1);
    if (!TakeDigits(&part, &numbers[1]) || !part.empty()) {
        return false;
    }
    part = date.substr(second + 1);
    if (!TakeDigits(&part, &numbers[2]) || !part.empty()) {
        return false;
    }
    return ReadTimeOfDay(text.substr(dateEnd), time);
}

// Packs the three numbers of a date text read in `order` (1 month-day-year,
// 2 day-month-year, 3 year-month-day) with its time of day; 0 when one of
// them is 0 or the day does not exist.
double PackInOrder(const workbook::Book* book, int order, const std::int32_t numbers[3],
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
    if (year == 0 || month == 0 || day == 0) {
        return 0.0;
    }
    return workbook::DatePack(book, year, month, day, time.hour, time.minute, time.second,
                              time.millisecond);
}

// DateValue's work, giving the time of day read too.
double DateAndTime(ConversionSettings* settings, const workbook::Book* book, std::string_view field,
                   TimeOfDay* time) {
    const std::int32_t mode = settings->dateMode;
    std::int32_t numbers[3] = {0, 0, 0};
    if (mode == 4) {
        // Compact YYYYMMDD, optionally behind the quote a spreadsheet export
        // puts before digits it wants kept as text.
        if (field.size() <= 7) {
            return 0.0;
        }
        if (field[0] == '"' || field[0] == '\'') {
            field.remove_prefix(1);
        }
        if (field.size() < 8 || !std::all_of(field.begin(), field.begin() + 8, IsDigit) ||
            !ReadTimeOfDay(field.substr(8), time)) {
            return 0.0;
        }
        numbers[0] = LeadingInteger(field.substr(0, 4));
        numbers[1] = LeadingInteger(field.substr(4, 2));
        numbers[2] = LeadingInteger(field.substr(6, 2));
        return PackInOrder(book, 3, numbers, *time);
    }

    if (!SplitDateNumbers(field, numbers, time)) {
        return 0.0;
    }
    switch (mode) {
        case 1:
        case 11:
            return PackInOrder(book, 1, numbers, *time);
        case 2:
        case 12:
            return PackInOrder(book, 2, numbers, *time);
        case 3:
        case 13:
            return PackInOrder(book, 3, numbers, *time);
        default:
            break;
    }

    // Automatic order: the first number tells. A day that does not exist in
    // the order chosen (version numbers like 10.20.30, a grouped 1.234.567)
    // is not a date and must not fix the order for the rest of the run.
    const int order = numbers[0] > 31 ? 3 : numbers[0] >= 13 ? 2 : 1;
    const double value = PackInOrder(book, order, numbers, *time);
    if (value > 0.0) {
        settings->dateMode = 10 + order;
    }
    return value;
}

char ClassifyField(ConversionSettings* settings, const workbook::Book* book,
                   std::string_view field) {
    if (field.empty()) {
        return kCharacterType;
    }
    if (IsOneCharacterOf(field, TextOf(settings->booleanChars))) {
        return kLogicalType;
    }
    if (reference::DateValue(settings, book, field) > 0.0) {
        return kDateType;
    }
    NumberParts parts;
    double value = 0.0;
    if (SplitNumber(field, settings->decimalSeparator, &parts) &&
        (parts.digitCount <= kMaxIntegerDigits ||
         NumberValue(field, &value, settings->decimalSeparator))) {
        const std::uint32_t allowed = NumericCharacterMask(TextOf(settings->numericChars));
        if ((parts.characterMask & ~allowed) == 0) {
            return kNumericType;
        }
    }
    return kCharacterType;
}

double DateValue(ConversionSettings* settings, const workbook::Book* book, std::string_view field,
                 bool* hasTime) {
    TimeOfDay time;
    const double value = DateAndTime(settings, book, field, &time);
    if (hasTime != nullptr) {
        *hasTime = value != 0.0 && time.given;
    }
    return value;
}

bool NumberValue(std::string_view text, double* value, char decimalSeparator) {
    NumberParts parts;
    if (!SplitNumber(text, decimalSeparator, &parts)) {
        return false;
    }
    if (parts.digitCount == 0) {
        *value = 0.0;  // never a negative zero from "-0"
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
    if (parts.digitCount > kMaxIntegerDigits) {
        // Printed with as many significant digits, the double must show the
        // same ones.
        char printed[kMaxDigits + 16];
        std::snprintf(printed, sizeof printed, "%.*e", static_cast<int>(parts.digitCount - 1),
                      magnitude);
        std::string shown(1, printed[0]);
        shown.append(printed + 2, parts.digitCount - 1);
        if (shown != std::string_view(parts.digits, parts.digitCount) ||
            std::atoi(printed + parts.digitCount + 2) !=
                parts.exponent + static_cast<int>(parts.digitCount) - 1) {
            return false;
        }
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

}  // namespace reference

using engine::ConversionSettings;

struct Config {
    char decimalSeparator;
    std::int32_t dateMode;
    std::string_view numericChars;  // empty: the default
    std::string_view booleanChars;  // empty: the default
};

// Everything the run reads from a field, as one side computes it.
struct Reading {
    char letter = 0;
    std::int32_t modeAfterClassify = 0;
    bool isNumber = false;
    std::uint64_t numberBits = 0;
    std::uint64_t dateBits = 0;
    bool hasTime = false;
    std::int32_t modeAfterDate = 0;
    bool boolean = false;
    // What the run writes for the field: the letter with its value read in
    // the same pass, on a fresh record.
    char runLetter = 0;
    std::uint64_t runValueBits = 0;
    bool runHasTime = false;
    bool runHasNumber = false;

    bool operator==(const Reading&) const = default;
};

std::uint64_t Bits(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::unique_ptr<ConversionSettings> SettingsFor(const Config& config) {
    auto settings = std::make_unique<ConversionSettings>();
    engine::SetDefaultSettings(settings.get());
    settings->decimalSeparator = config.decimalSeparator;
    settings->dateMode = config.dateMode;
    if (!config.numericChars.empty()) {
        (void)engine::CopyText(settings->numericChars, config.numericChars);
    }
    if (!config.booleanChars.empty()) {
        (void)engine::CopyText(settings->booleanChars, config.booleanChars);
    }
    return settings;
}

// The reading of `field` in a fresh record with `config`, by the engine or
// by the reference. The date is read after classifying, as the run does.
template <typename Side>
Reading Read(const Config& config, std::string_view field) {
    Reading reading;
    auto settings = SettingsFor(config);
    reading.letter = Side::Classify(settings.get(), field);
    reading.modeAfterClassify = settings->dateMode;
    double number = -1.0;
    reading.isNumber = Side::Number(field, &number, config.decimalSeparator);
    reading.numberBits = Bits(number);
    reading.dateBits = Bits(Side::Date(settings.get(), field, &reading.hasTime));
    reading.modeAfterDate = settings->dateMode;
    reading.boolean = Side::Boolean(field);
    auto fresh = SettingsFor(config);
    const engine::FieldValue value = Side::ClassifyValue(fresh.get(), field);
    reading.runLetter = value.letter;
    reading.runValueBits = Bits(value.value);
    reading.runHasTime = value.hasTime;
    reading.runHasNumber = value.hasNumber;
    return reading;
}

struct EngineSide {
    static char Classify(ConversionSettings* settings, std::string_view field) {
        return engine::ClassifyField(settings, nullptr, field);
    }
    static bool Number(std::string_view text, double* value, char separator) {
        return engine::NumberValue(text, value, separator);
    }
    static double Date(ConversionSettings* settings, std::string_view field, bool* hasTime) {
        return engine::DateValue(settings, nullptr, field, hasTime).value_or(0.0);
    }
    static bool Boolean(std::string_view field) { return engine::BooleanValue(field); }
    static engine::FieldValue ClassifyValue(ConversionSettings* settings, std::string_view field) {
        return engine::ClassifyFieldValue(settings, nullptr, field);
    }
};

struct ReferenceSide {
    static char Classify(ConversionSettings* settings, std::string_view field) {
        return reference::ClassifyField(settings, nullptr, field);
    }
    static bool Number(std::string_view text, double* value, char separator) {
        return reference::NumberValue(text, value, separator);
    }
    static double Date(ConversionSettings* settings, std::string_view field, bool* hasTime) {
        return reference::DateValue(settings, nullptr, field, hasTime);
    }
    static bool Boolean(std::string_view field) { return reference::BooleanValue(field); }
    // The run's reading before: classify, then read the value as that type.
    static engine::FieldValue ClassifyValue(ConversionSettings* settings, std::string_view field) {
        engine::FieldValue value;
        value.letter = reference::ClassifyField(settings, nullptr, field);
        if (value.letter == engine::kDateType) {
            value.value = reference::DateValue(settings, nullptr, field, &value.hasTime);
        } else if (value.letter == engine::kNumericType) {
            value.hasNumber =
                reference::NumberValue(field, &value.value, settings->decimalSeparator);
        }
        return value;
    }
};

std::string Describe(const Reading& r) {
    return std::string("letter ") + r.letter + " mode " + std::to_string(r.modeAfterClassify) +
           "/" + std::to_string(r.modeAfterDate) + " number " + std::to_string(r.isNumber) + ":" +
           std::to_string(r.numberBits) + " date " + std::to_string(r.dateBits) + " time " +
           std::to_string(r.hasTime) + " boolean " + std::to_string(r.boolean) + " run " +
           r.runLetter + ":" + std::to_string(r.runValueBits) + " time " +
           std::to_string(r.runHasTime) + " number " + std::to_string(r.runHasNumber);
}

const std::vector<Config>& Configs() {
    static const std::vector<Config> configs = [] {
        std::vector<Config> all;
        for (const char separator : {'\0', '.', ','}) {
            for (const std::int32_t mode : {0, 1, 2, 3, 4, 7, 11, 12, 13}) {
                all.push_back({separator, mode, {}, {}});
            }
        }
        all.push_back({'\0', 0, "0123456789", "ДдНн01"});
        all.push_back({'\0', 0, "0123456789.", {}});
        all.push_back({',', 0, "0123456789,-", "\xD0"});
        // Boolean sets that end in the first eight bytes, in the second
        // eight, and past both; a numeric set without "0".
        all.push_back({'\0', 0, "123456789.,-", "-."});
        all.push_back({'.', 12, {}, "abcdefghY0"});
        all.push_back({',', 0, {}, "ABCDEFGHIJKLMNOPQRSTUVWXYZ5"});
        return all;
    }();
    return configs;
}

// Numbers of 1 to 18 characters with no separator, or one "." or "," at
// every place, with and without a sign and leading zeros; digit counts
// around 15 and 2^53; and the separators doubled or alone.
void AddNumberShapes(std::vector<std::string>* all) {
    const std::string digits = "918273645546372819";
    for (std::size_t length = 1; length <= digits.size(); ++length) {
        const std::string plain = digits.substr(0, length);
        for (const std::string& body : {plain, "0" + plain.substr(1), "00" + plain.substr(1)}) {
            for (const std::string_view sign : {"", "-"}) {
                all->push_back(std::string(sign) + body);
                for (std::size_t at = 0; at <= body.size(); ++at) {
                    for (const char separator : {'.', ','}) {
                        all->push_back(std::string(sign) + body.substr(0, at) + separator +
                                       body.substr(at));
                    }
                }
            }
        }
    }
    for (const std::string_view text : {"9007199254740992",
                                        "9007199254740993",
                                        "900719925474099.3",
                                        "90071992547409.93",
                                        "0.9007199254740993",
                                        "9.007199254740993",
                                        "999999999999999.9",
                                        "99999999999999.99",
                                        "1.000000000000000",
                                        "0.000000000000001",
                                        "100000000000000.0",
                                        "1e22",
                                        "1,5.",
                                        "1..5",
                                        "1,,5",
                                        ".,5",
                                        "5.,",
                                        "-.",
                                        "-,",
                                        "--5",
                                        "-5-",
                                        "5-",
                                        "1-5",
                                        "0.0.0",
                                        "0,0,0",
                                        "-0.0",
                                        "-0,0",
                                        "-00",
                                        "0.",
                                        ",0",
                                        "10000000000000000000000",
                                        "1.0000000000000000000000"}) {
        all->push_back(std::string(text));
    }
}

// Dates of the fixed shapes dd.mm.yyyy and yyyy-mm-dd with every separator
// and both mixed, at month and leap-year edges, with a time of day, junk,
// another digit or a non-ASCII byte after them, and a non-digit in each
// place.
void AddDateShapes(std::vector<std::string>* all) {
    const std::vector<std::string> dayFirst = {
        "29.02.2016", "29.02.2015", "29.02.1900", "29.02.2000", "29.02.2100", "31.04.2016",
        "30.04.2016", "31.12.9999", "01.01.1900", "28.02.1900", "01.03.1900", "31.12.1899",
        "00.01.2016", "01.00.2016", "01.01.0000", "12.31.2016", "13.12.2016", "12.13.2016",
        "31.01.2016", "32.01.2016", "01.13.2016", "99.99.9999", "01.01.1904", "02.01.1904"};
    const std::vector<std::string> yearFirst = {
        "2016-02-29", "2015-02-29", "1900-02-29", "2000-02-29", "9999-12-31", "1899-12-31",
        "2016-00-10", "2016-10-00", "0000-01-01", "2016-13-01", "2016-04-31", "1904-01-01"};
    for (const std::vector<std::string>* dates : {&dayFirst, &yearFirst}) {
        const std::size_t first = dates == &dayFirst ? 2 : 4;
        const std::size_t second = dates == &dayFirst ? 5 : 7;
        for (const std::string& date : *dates) {
            for (const char separator : {'.', '/', '-', ','}) {
                std::string shaped = date;
                shaped[first] = separator;
                shaped[second] = separator;
                for (const std::string_view tail :
                     {"", " 10:30", "T23:59:59.999", " 24:00", " 10:30x", "x", " ", "1", "\xD0",
                      ".5", ",5", "-1"}) {
                    all->push_back(shaped + std::string(tail));
                }
                // The two separators differ.
                all->push_back(date.substr(0, first) + separator + date.substr(first + 1));
            }
            for (std::size_t at = 0; at < date.size(); ++at) {
                std::string changed = date;
                // A letter, and the bytes just past either end of the digits.
                for (const char replacement : {'a', ':', '/'}) {
                    changed[at] = replacement;
                    all->push_back(changed);
                }
                changed[at] = static_cast<char>(0xD0);  // a lead byte alone
                all->push_back(changed);
            }
        }
    }
}

// Fields on the rules' edges, each read with every configuration.
const std::vector<std::string>& EdgeFields() {
    static const std::vector<std::string> fields = [] {
        std::vector<std::string> all = {
            "",
            "Y",
            "N",
            "Д",
            "н",
            "\xD0",
            "0",
            "1",
            "-0",
            "-",
            ".",
            ",",
            "-.5",
            "-,5",
            ".5",
            ",5",
            "0,0",
            "0.0",
            "00",
            "-007",
            "5.",
            "5,",
            "1e5",
            "+5",
            " 5",
            "5 ",
            "1 234",
            "123456789012345",
            "1234567890123456",
            "999999999999999",
            "-999999999999999",
            "9007199254740993.0",
            "9007199254740993.5",
            "0.1",
            "0.3",
            "123456789012345.6",
            "1234567890123456.7",
            "0.000000000000000000001",
            "1.7976931348623157",
            "4.9406564584124654",
            "2.2250738585072011",
            "1,234",
            "1.234",
            "1,234,567",
            "1.234.567",
            "1,234.5",
            "1.234,5",
            "12,34",
            "1,2345",
            "1234,567",
            "1,23,456",
            "1.234.56",
            "1,,234",
            "1..2",
            ",1",
            "1,",
            "0,123",
            "0.123.456",
            "1.234,567.8",
            "01.02.2016",
            "1.2.2016",
            "13.2.2016",
            "32.1.2",
            "2016-02-29",
            "2015-02-29",
            "2016/02/30",
            "31/12/9999",
            "1/1/10000",
            "0.1.2016",
            "1.0.2016",
            "1.1.0",
            "1.1.1899",
            "1.1.1900",
            "29.2.1900",
            "1.1.1904",
            "2024-03-05 23:59:59.9995",
            "2024-03-05 23:59:59.999",
            "2024-03-05T00:00",
            "2024-03-05T",
            "2024-03-05 ",
            "2024-03-05  10:00",
            "2024-03-05 10:00:",
            "2024-03-05 10:00:00.",
            "2024-03-05 10",
            "2024-03-05 10:0",
            "2024-03-05 10:00:60",
            "2024-03-05 10:00:00.12345678901",
            "\t 2024-03-05",
            " \t1.2.2016 10:30",
            "1.2.3.4",
            "1..2016",
            "1.2016",
            "1.1234.1",
            "1.123.1",
            "1/2-3",
            "1-2/3",
            "1-2-3",
            "1.2/3.4",
            "1/2/3 4:5",
            "20160313",
            "\"20160313",
            "'20160313",
            "''20160313",
            "2016031",
            "201603131",
            "20161313",
            "20160229",
            "20150229",
            "20160313 10:30",
            "20160313T10:30:00.5",
            "2016-0313",
            "99999999999.1.1",
            "1.1.99999999999",
            "1.1.100000000",
            "2147483647.1.1",
        };
        all.push_back("1" + std::string(307, '0') + ".5");
        all.push_back("1" + std::string(308, '0') + ".5");
        all.push_back("1" + std::string(308, '0') + ",5");
        all.push_back("-1" + std::string(308, '9') + ".5");
        all.push_back("0." + std::string(399, '0') + "1");
        all.push_back("0." + std::string(400, '0') + "1");
        all.push_back("0." + std::string(322, '0') + "4");
        all.push_back("0." + std::string(323, '0') + "24703282292062328");
        all.push_back("1." + std::string(400, '7'));
        all.push_back("1." + std::string(401, '7'));
        all.push_back("1." + std::string(390, '7') + std::string(20, '0'));
        all.push_back(std::string(308, '9') + ".9");
        all.push_back(std::string(1, '\0'));
        all.push_back("a");
        all.push_back("5");
        all.push_back("abcdefghY");
        return all;
    }();
    return fields;
}

// Random fields that look like numbers and dates and mostly nearly are.
class FieldGenerator {
public:
    explicit FieldGenerator(std::uint32_t seed) : random_(seed) {}

    std::string Next() {
        switch (Below(5)) {
            case 0:
                return Scramble();
            case 1:
                return Number();
            case 2:
                return Date();
            case 3:
                return ShapedDate();
            default:
                return Mutate(Below(2) == 0 ? Number() : Below(2) == 0 ? Date() : ShapedDate());
        }
    }

private:
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(random_() % n); }
    char Digit() { return static_cast<char>('0' + Below(10)); }
    std::string Digits(std::uint32_t count) {
        std::string text;
        for (std::uint32_t i = 0; i < count; ++i) {
            text += Digit();
        }
        return text;
    }

    // Any characters the rules care about, in any order.
    std::string Scramble() {
        static constexpr std::string_view kPieces[] = {
            "0", "1",  "5", "9", "0", "7", ".", ",",        "-",    "/",    " ",  "\t", "T",
            ":", "\"", "'", "x", "e", "+", "Y", "\xD0\x94", "\xD0", "\x94", "00", "12", "2016"};
        std::string text;
        const std::uint32_t count = 1 + Below(12);
        for (std::uint32_t i = 0; i < count; ++i) {
            text += kPieces[Below(std::size(kPieces))];
        }
        return text;
    }

    std::string Number() {
        std::string text = Below(3) == 0 ? "-" : "";
        const char separators[] = {'.', ','};
        const char group = separators[Below(2)];
        const char decimal = Below(4) == 0 ? group : separators[Below(2)];
        const std::uint32_t length = Below(8) == 0 ? Below(330) : Below(19);
        std::string integer = Digits(length);
        if (Below(3) == 0 && !integer.empty()) {
            integer[0] = Below(2) == 0 ? '0' : '1';
        }
        if (Below(3) == 0) {
            // Grouped, mostly by threes.
            std::string grouped;
            std::size_t next = integer.size() % 3 == 0 ? 3 : integer.size() % 3;
            if (Below(6) == 0) {
                next = 1 + Below(4);
            }
            for (std::size_t i = 0; i < integer.size(); ++i) {
                if (i == next) {
                    grouped += group;
                    next += Below(8) == 0 ? 1 + Below(4) : 3;
                }
                grouped += integer[i];
            }
            integer = grouped;
        }
        text += integer;
        if (Below(2) == 0) {
            text += decimal;
            const std::uint32_t fraction = Below(10) == 0 ? Below(420) : Below(22);
            text += Digits(fraction);
            if (Below(4) == 0) {
                text += std::string(Below(20), '0');
            }
        }
        return text;
    }

    std::string Date() {
        static constexpr char kSeparators[] = {'.', '/', '-'};
        std::string text = Below(8) == 0 ? (Below(2) == 0 ? " " : "\t ") : "";
        if (Below(6) == 0) {
            // The compact form, sometimes behind a quote.
            text += Below(3) == 0 ? (Below(2) == 0 ? "\"" : "'") : "";
            text += std::to_string(1890 + Below(150)) + Two(1 + Below(13)) + Two(Below(33));
        } else {
            const char first = kSeparators[Below(3)];
            const char second = Below(10) == 0 ? kSeparators[Below(3)] : first;
            const std::uint32_t widths[] = {1 + Below(4), 1 + Below(4), 1 + Below(5)};
            text += Below(2) == 0 ? Digits(widths[0]) : std::to_string(Below(40));
            text += first;
            text += Below(2) == 0 ? Digits(widths[1]) : std::to_string(Below(14));
            text += second;
            text += Below(2) == 0 ? Digits(widths[2]) : std::to_string(1890 + Below(150));
        }
        if (Below(2) == 0) {
            text += Below(4) == 0 ? 'T' : ' ';
            text += Two(Below(26)) + ":" + Two(Below(62));
            if (Below(2) == 0) {
                text += ":" + Two(Below(62));
                if (Below(2) == 0) {
                    text += "." + Digits(Below(12));
                }
            }
        }
        return text;
    }

    // A date of a fixed shape, day or year first, with numbers near the
    // calendar's edges, sometimes followed by a time of day or more.
    std::string ShapedDate() {
        static constexpr char kSeparators[] = {'.', '/', '-'};
        const char separator = kSeparators[Below(3)];
        const std::string day = Two(Below(33));
        const std::string month = Two(Below(14));
        const std::uint32_t years[] = {1899, 1900, 1904, 2000, 2016, 2100, 9999, 0, 1};
        std::string year = std::to_string(Below(3) == 0 ? Below(10000) : years[Below(9)]);
        year = std::string(4 - year.size(), '0') + year;
        std::string text = Below(2) == 0 ? day + separator + month + separator + year
                                         : year + separator + month + separator + day;
        switch (Below(6)) {
            case 0:
                text += (Below(2) == 0 ? " " : "T") + Two(Below(25)) + ":" + Two(Below(61));
                break;
            case 1:
                text += Digits(1 + Below(2));
                break;
            default:
                break;
        }
        return text;
    }

    std::string Two(std::uint32_t value) { return (value < 10 ? "0" : "") + std::to_string(value); }

    // One character changed, added or taken away.
    std::string Mutate(std::string text) {
        static constexpr std::string_view kCharacters = "0123456789.,-/ T:'\"x";
        const std::size_t at = text.empty() ? 0 : Below(static_cast<std::uint32_t>(text.size()));
        const char c = kCharacters[Below(kCharacters.size())];
        switch (Below(3)) {
            case 0:
                text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c);
                break;
            case 1:
                if (!text.empty()) {
                    text[at] = c;
                }
                break;
            default:
                if (!text.empty()) {
                    text.erase(at, 1);
                }
                break;
        }
        return text;
    }

    std::mt19937 random_;
};

// False, with a failure that names the field and both readings, when they differ.
bool ExpectSameReading(const Config& config, std::string_view field) {
    const Reading expected = Read<ReferenceSide>(config, field);
    const Reading actual = Read<EngineSide>(config, field);
    if (actual == expected) {
        return true;
    }
    ADD_FAILURE() << "field \"" << field << "\" separator '" << config.decimalSeparator
                  << "' dateMode " << config.dateMode << " numeric \"" << config.numericChars
                  << "\" boolean \"" << config.booleanChars << "\"\n  expected "
                  << Describe(expected) << "\n  actual   " << Describe(actual);
    return false;
}

TEST(ValueClassifierDifferential, EdgeFieldsReadAsTheReferenceReadsThem) {
    for (const std::string& field : EdgeFields()) {
        for (const Config& config : Configs()) {
            (void)ExpectSameReading(config, field);
        }
    }
}

// The fast paths' shapes, each read with the settings that change their
// reading: the decimal separator and numeric set for numbers, the order for
// dates.
TEST(ValueClassifierDifferential, NumberAndDateShapesReadAsTheReferenceReadsThem) {
    struct Case {
        const char* name;
        void (*add)(std::vector<std::string>*);
        std::vector<Config> configs;
    };
    const Case cases[] = {
        {"numbers",
         AddNumberShapes,
         {{'\0', 0, {}, {}},
          {'.', 0, {}, {}},
          {',', 0, {}, {}},
          {'\0', 0, "123456789.,-", {}},
          {',', 0, "0123456789,-", {}}}},
        {"dates",
         AddDateShapes,
         {{'\0', 0, {}, {}},
          {'\0', 1, {}, {}},
          {'\0', 2, {}, {}},
          {'\0', 3, {}, {}},
          {'\0', 4, {}, {}},
          {'.', 13, {}, {}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> fields;
        c.add(&fields);
        int failures = 0;  // a few differences tell enough
        for (const std::string& field : fields) {
            for (const Config& config : c.configs) {
                failures += ExpectSameReading(config, field) ? 0 : 1;
            }
            if (failures >= 20) {
                break;
            }
        }
    }
}

TEST(ValueClassifierDifferential, GeneratedFieldsReadAsTheReferenceReadsThem) {
    FieldGenerator generator(20261207);
    const std::vector<Config>& configs = Configs();
    int failures = 0;  // a few differences tell enough
    for (int i = 0; i < 100000 && failures < 20; ++i) {
        const std::string field = generator.Next();
        const Config& config = configs[static_cast<std::size_t>(i) % configs.size()];
        failures += ExpectSameReading(config, field) ? 0 : 1;
    }
}

// One settings record across many fields: the first existing date fixes an
// automatic order for the rest, on both sides at the same field.
TEST(ValueClassifierDifferential, AutomaticDateOrderMovesAtTheSameField) {
    FieldGenerator generator(7);
    for (int run = 0; run < 200; ++run) {
        SCOPED_TRACE(testing::Message() << "run " << run);
        const Config config{'\0', 0, {}, {}};
        auto expected = SettingsFor(config);
        auto actual = SettingsFor(config);
        for (int i = 0; i < 50; ++i) {
            const std::string field = generator.Next();
            SCOPED_TRACE(field);
            ASSERT_EQ(engine::ClassifyField(actual.get(), nullptr, field),
                      reference::ClassifyField(expected.get(), nullptr, field));
            ASSERT_EQ(actual->dateMode, expected->dateMode);
        }
    }
}

}  // namespace
