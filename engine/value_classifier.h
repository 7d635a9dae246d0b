// SPDX-License-Identifier: MIT
// Value classification: whether a field becomes a text, number, logical or
// date cell, and the value it gets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/settings.h"

namespace workbook {
class Book;
}

namespace engine {

// Type letters.
inline constexpr char kCharacterType = 'c';
inline constexpr char kNumericType = 'n';
inline constexpr char kLogicalType = 'l';
inline constexpr char kDateType = 'd';

// The kind of a field by its own text, the first that holds: "" is 'c'; one
// character (a whole UTF-8 character) of booleanChars is 'l'; a text that
// DateValue reads as a date is 'd'; a text of numericChars that NumberValue reads is 'n';
// anything else is 'c'. May fix an automatic dateMode (through DateValue).
// `book` chooses the date system and may be null (1900 system).
char ClassifyField(ConversionSettings* settings, const workbook::Book* book,
                   std::string_view field);

// A field's kind with the value the run writes for it, read in one pass.
struct FieldValue {
    char letter = kCharacterType;  // ClassifyField's letter
    double value = 0.0;            // 'd': DateValue's; 'n': NumberValue's when hasNumber
    bool hasTime = false;          // 'd': the date has a time of day
    bool hasNumber = false;        // 'n': NumberValue reads it (false below the smallest double)
    // 'c': a date's shape, but no date in the order dateMode fixes; it may
    // be one in another order (DateOrdersOf tells).
    bool undatedDate = false;
};

// ClassifyField's letter, its side effect on dateMode included, and the
// value of a date or number as DateValue and NumberValue (with the settings'
// decimalSeparator) give it.
FieldValue ClassifyFieldValue(ConversionSettings* settings, const workbook::Book* book,
                              std::string_view field);

// The serial date number of a field in the settings' date order, or nothing
// when it is not a date (0 is a date: the first day of the 1904 system): after optional blanks,
// three runs of digits separated by two "." (else "/", else "-") with at most three characters
// between the separators; dateMode 4 reads eight digits YYYYMMDD, optionally after a quote. The
// date may be followed by " " or "T" and a time of day (hh:mm, hh:mm:ss, hh:mm:ss.fff), which is
// added to the number and sets *hasTime; anything else after it means the text is no date (a
// version such as 2020.12.07-1). Days and times that do not exist are no dates. An automatic
// dateMode (0 or any value not 1-4, 11-13) becomes 11, 12 or 13 on the first existing date, by its
// first number: above 31 year first, 13 to 31 day first, else month first.
std::optional<double> DateValue(ConversionSettings* settings, const workbook::Book* book,
                                std::string_view field, bool* hasTime = nullptr);

// Date orders, as bits of DateOrdersOf's answer.
inline constexpr unsigned kMonthFirst = 1;  // month, day, year (dateMode 1, 11)
inline constexpr unsigned kDayFirst = 2;    // day, month, year (dateMode 2, 12)
inline constexpr unsigned kYearFirst = 4;   // year, month, day (dateMode 3, 13)

// The orders of day, month and year in which a field with separators is a
// date, by DateValue's rules, as kMonthFirst | kDayFirst | kYearFirst; 0
// when it is a date in none. Changes nothing. 03.01.2024 gives
// kMonthFirst | kDayFirst; 15.02.2024 only kDayFirst.
unsigned DateOrdersOf(const workbook::Book* book, std::string_view field);

// The letter of the first type-override entry for `column` (its leading
// integer; entries without "=" never match), or `defaultLetter` when there is
// none or slot 0 is empty; '\0' for an entry with no letter after "=".
char LookupTypeOverride(const ConversionSettings* settings, std::int32_t column,
                        char defaultLetter);

// The type-override table as a per-column lookup for the conversion run:
// the same answers as LookupTypeOverride without walking the slots for every
// field. Rebuild it whenever the table changes.
class TypeOverrideIndex {
public:
    void Build(const ConversionSettings* settings);
    char Lookup(std::int32_t column, char defaultLetter) const {
        if (column < 0 || static_cast<std::size_t>(column) >= letters_.size() ||
            letters_[static_cast<std::size_t>(column)] < 0) {
            return defaultLetter;
        }
        return static_cast<char>(letters_[static_cast<std::size_t>(column)]);
    }
    // True when an entry names `column`.
    bool Has(std::int32_t column) const {
        return column >= 0 && static_cast<std::size_t>(column) < letters_.size() &&
               letters_[static_cast<std::size_t>(column)] >= 0;
    }

private:
    std::vector<int> letters_;  // by column: the entry's letter (0-255), or -1 for none
};

// Copies `text` into `dst` (at least text.size() + 1 bytes; a shorter buffer
// gets what fits) with every "," made "."; terminates. Gives the copy. Not
// the input of NumberValue, which needs the separators as written.
std::string_view DecimalCommaToPoint(std::string_view text, std::span<char> dst);

// Reads a field's own text as a well-formed number, to the nearest double:
// an optional "-", digits, at most one decimal separator followed by
// digits, optional grouping of thousands by the other separator. With
// `decimalSeparator` '\0' a lone separator is decimal (1,234 is 1.234),
// one repeated groups (1.234.567), and with both the last is decimal
// (1.234,56 and 1,234.56 are 1234.56). With '.' or ',' that one is the
// decimal separator and the other only groups (1,234 is 1234 with '.').
// False (and *value untouched) for anything else, for leading zeros (007),
// for integers of more than 15 digits, which a number cell would lose, and
// for longer decimals whose nearest double, printed with as many
// significant digits, shows other digits (12345678901234567.0).
[[nodiscard]] bool NumberValue(std::string_view text, double* value, char decimalSeparator = '\0');

// The value of a logical cell: false for an empty field and for one whose
// first character is N, n, F, f, 0 or the Cyrillic Н, н; true otherwise.
bool BooleanValue(std::string_view field);

}  // namespace engine
