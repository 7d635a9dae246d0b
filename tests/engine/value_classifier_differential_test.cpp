// SPDX-License-Identifier: MIT
// The classifier against its rules, written out independently below: the
// fast classifier must give the letter, value, time-of-day flag and date
// order they give for every field, including generated ones built to sit
// on the rules' edges. Numbers are read by Python as well, so that a fault
// the C library shared with the classifier would show.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/settings.h"
#include "engine/value_classifier.h"
#include "test_support.h"
#include "workbook/workbook.h"

namespace {

// The rules written out again, as plainly as they can be put and without
// the classifier's code: shapes as regular expressions, values from strtod
// and printf, days from std::chrono's calendar.
namespace oracle {
using engine::ConversionSettings;
using engine::kCharacterType;
using engine::kDateType;
using engine::kLogicalType;
using engine::kNumericType;
using engine::TextOf;

// Bytes of the UTF-8 character at `pos`: a lead byte C0-DF takes one
// continuation byte, E0-EF two, F0-F7 three; anything else, or a sequence
// cut short or broken, counts as one byte.
std::size_t CharacterBytes(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const std::size_t length = lead >= 0xF8   ? 1
                               : lead >= 0xF0 ? 4
                               : lead >= 0xE0 ? 3
                               : lead >= 0xC0 ? 2
                                              : 1;
    if (pos + length > text.size()) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return length;
}

bool IsBoolean(std::string_view field, std::string_view set) {
    if (field.empty() || CharacterBytes(field, 0) != field.size()) {
        return false;
    }
    for (std::size_t pos = 0; pos < set.size(); pos += CharacterBytes(set, pos)) {
        if (set.substr(pos, CharacterBytes(set, pos)) == field) {
            return true;
        }
    }
    return false;
}

// A number's shape, by the decimal separator named ('\0': none named).
// Ungrouped integers are 0 or start with 1-9; grouped ones start with one
// to three digits, 1-9 first, then groups of three.
bool NumberShape(const std::string& text, char decimalSeparator, std::string* integer,
                 std::string* fraction) {
    using Shapes = std::vector<std::pair<std::regex, char>>;  // each pattern and its grouping
    static const auto kShapes = [] {
        const std::string plain = "(0|[1-9][0-9]*)";
        const auto grouped = [](char g) {
            return std::string("([1-9][0-9]{0,2}(?:\\") + g + "[0-9]{3})+)";
        };
        const auto either = [](char g) {
            return std::string("(0|[1-9][0-9]*|[1-9][0-9]{0,2}(?:\\") + g + "[0-9]{3})+)";
        };
        std::array<Shapes, 3> all;  // none named, '.', ','
        for (const char d : {'.', ','}) {
            const char g = d == '.' ? ',' : '.';
            all[d == '.' ? 1 : 2].emplace_back("-?" + either(g) + "?(?:\\" + d + "([0-9]+))?", g);
        }
        // A lone separator is decimal; one repeated groups; with both, the
        // last one is decimal and the other groups.
        Shapes& none = all[0];
        none.emplace_back("-?" + plain, '\0');
        none.emplace_back("-?" + plain + "?[.,]([0-9]+)", '\0');
        none.emplace_back("-?([1-9][0-9]{0,2}(?:\\.[0-9]{3}){2,})", '.');
        none.emplace_back("-?([1-9][0-9]{0,2}(?:,[0-9]{3}){2,})", ',');
        none.emplace_back("-?" + grouped(',') + "\\.([0-9]+)", ',');
        none.emplace_back("-?" + grouped('.') + ",([0-9]+)", '.');
        return all;
    }();
    if (text.find_first_not_of("0123456789.,-") != std::string::npos) {
        return false;  // spares the patterns most text
    }
    const Shapes& shapes = kShapes[decimalSeparator == '.' ? 1 : decimalSeparator == ',' ? 2 : 0];
    for (const auto& [shape, grouping] : shapes) {
        std::smatch match;
        if (!std::regex_match(text, match, shape)) {
            continue;
        }
        // Group 1 is the integer part, the last group the fraction.
        *integer = match[1].str();
        *fraction = match.size() > 2 ? match[match.size() - 1].str() : std::string();
        if (integer->empty() && fraction->empty()) {
            return false;  // "-" or nothing
        }
        integer->erase(
            std::remove(integer->begin(), integer->end(), grouping == '\0' ? 'x' : grouping),
            integer->end());
        return true;
    }
    return false;
}

enum class Number { kNone, kNumber, kTooSmall };  // kTooSmall: a number without a value

// A number by the rules: the shape, at most 15 digits in an integer, a
// decimal that printf shows again with as many significant digits (an
// integer part's trailing zeros among them: 82243704416327330.0 is text, its
// nearest double being ...328), and the value from strtod; one too small for
// a double is a number without a value.
// The classifier reads no more than 308 integer and 400 fraction digits
// (beyond them a decimal is past the largest double or below the smallest
// one); a longer decimal is text.
Number ReadNumber(std::string_view text, char decimalSeparator, double* value) {
    std::string integer;
    std::string fraction;
    if (!NumberShape(std::string(text), decimalSeparator, &integer, &fraction)) {
        return Number::kNone;
    }
    // The digits the text gives: from the first that is not 0 to the units
    // or, past them, to the fraction's last that is not 0.
    const std::size_t fractionDigits =
        std::min(fraction.find_last_not_of('0') + 1, fraction.size());
    const std::string all = integer + fraction.substr(0, fractionDigits);
    const std::size_t first = std::min(all.find_first_not_of('0'), all.size());
    const std::string significant = all.substr(first);
    if ((fraction.empty() && significant.size() > 15) || fractionDigits > 400 ||
        integer.size() - std::min(integer.find_first_not_of('0'), integer.size()) > 308) {
        return Number::kNone;
    }
    const std::string written = std::string(text[0] == '-' ? "-" : "") +
                                (integer.empty() ? "0" : integer) + "." +
                                (fraction.empty() ? "0" : fraction);
    errno = 0;
    const double read = std::strtod(written.c_str(), nullptr);
    // strtod says ERANGE for subnormal numbers too, which have a value.
    if (errno == ERANGE && (read == 0.0 || std::isinf(read))) {
        return significant.size() > 15 ? Number::kNone : Number::kTooSmall;
    }
    if (significant.size() > 15) {
        char printed[1024];
        std::snprintf(printed, sizeof printed, "%.*e", static_cast<int>(significant.size() - 1),
                      std::fabs(read));
        const char* e = std::strchr(printed, 'e');
        std::string shown(static_cast<const char*>(printed), e);
        shown.erase(std::remove(shown.begin(), shown.end(), '.'), shown.end());
        // The power of ten of the first significant digit, written and printed.
        const long power = static_cast<long>(integer.size()) - static_cast<long>(first) - 1;
        if (shown != significant || std::atol(e + 1) != power) {
            return Number::kNone;
        }
    }
    *value = read == 0.0 ? 0.0 : read;  // never "-0"
    return Number::kNumber;
}

bool NumberValue(std::string_view text, double* value, char decimalSeparator) {
    return ReadNumber(text, decimalSeparator, value) == Number::kNumber;
}

// A run of digits as the classifier takes it: any length, leading zeros
// ignored; a run too long for any calendar reads as a huge number.
std::int64_t RunValue(const std::string& digits) {
    const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size());
    const std::string significant = digits.substr(first);
    return significant.size() > 9 ? 1000000000 : significant.empty() ? 0 : std::stoll(significant);
}

// The serial number of a day, or nothing for no such day. The 1900 system
// counts days from 31 December 1899, one more from 1 March 1900 on for the
// 29 February 1900 it counts; the 1904 system counts them from 1 January
// 1904, which is day 0. Years run to 9999.
std::optional<double> Serial(std::int64_t year, std::int64_t month, std::int64_t day,
                             bool system1904) {
    if (year < (system1904 ? 1904 : 1900) || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > 31) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(year)),
                                           std::chrono::month(static_cast<unsigned>(month)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    if (system1904) {
        return static_cast<double>(
            (std::chrono::sys_days(date) - std::chrono::sys_days(std::chrono::year(1904) / 1 / 1))
                .count());
    }
    const auto days =
        (std::chrono::sys_days(date) - std::chrono::sys_days(std::chrono::year(1899) / 12 / 31))
            .count();
    return static_cast<double>(days >= 60 ? days + 1 : days);
}

// A time of day after a date: nothing, or " " or "T" and hh:mm, :ss, and
// a fraction of the second rounded to milliseconds (never to 1000).
bool TimeOfDay(const std::string& text, double* fraction, bool* given) {
    *fraction = 0;
    *given = false;
    if (text.empty()) {
        return true;
    }
    static const std::regex kTime("[ T]([0-9]{2}):([0-9]{2})(?::([0-9]{2})(?:\\.([0-9]+))?)?");
    std::smatch match;
    if (!std::regex_match(text, match, kTime)) {
        return false;
    }
    const int hour = std::stoi(match[1]);
    const int minute = std::stoi(match[2]);
    const int second = match[3].matched ? std::stoi(match[3]) : 0;
    if (hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    int millisecond = 0;
    if (match[4].matched) {
        const std::string digits = match[4].str() + "000";
        millisecond = std::stoi(digits.substr(0, 3));
        if (match[4].length() > 3 && match[4].str()[3] >= '5') {
            millisecond = std::min(millisecond + 1, 999);
        }
    }
    *given = true;
    if ((hour | minute | second | millisecond) != 0) {
        *fraction = ((hour * 60.0 + minute) * 60.0 + second + millisecond / 1000.0) / 86400.0;
    }
    return true;
}

// DateValue by the rules, in the 1900 system or with `system1904` the 1904 one.
std::optional<double> DateValue(ConversionSettings* settings, bool system1904,
                                std::string_view view, bool* hasTime = nullptr) {
    const std::string field(view);
    if (hasTime != nullptr) {
        *hasTime = false;
    }
    if (field.find_first_not_of("0123456789./- \tT:\"'") != std::string::npos) {
        return std::nullopt;  // spares the patterns most text
    }
    std::int64_t numbers[3] = {0, 0, 0};
    std::string rest;
    int order = 0;
    const std::int32_t mode = settings->dateMode;
    if (mode == 4) {
        static const std::regex kCompact("[\"']?([0-9]{4})([0-9]{2})([0-9]{2})(.*)");
        std::smatch match;
        if (!std::regex_match(field, match, kCompact)) {
            return std::nullopt;
        }
        for (int i = 0; i < 3; ++i) {
            numbers[i] = RunValue(match[i + 1]);
        }
        rest = match[4];
        order = 3;
    } else {
        static const std::regex kDate("[ \\t]*([0-9]+)([./-])([0-9]{1,3})\\2([0-9]+)(.*)");
        std::smatch match;
        if (!std::regex_match(field, match, kDate)) {
            return std::nullopt;
        }
        numbers[0] = RunValue(match[1]);
        numbers[1] = RunValue(match[3]);
        numbers[2] = RunValue(match[4]);
        rest = match[5];
        order = mode == 1 || mode == 11   ? 1
                : mode == 2 || mode == 12 ? 2
                : mode == 3 || mode == 13 ? 3
                                          : 0;
    }
    double fraction = 0;
    bool given = false;
    if (!TimeOfDay(rest, &fraction, &given)) {
        return std::nullopt;
    }
    const bool automatic = order == 0;
    if (automatic) {
        order = numbers[0] > 31 ? 3 : numbers[0] >= 13 ? 2 : 1;
    }
    const std::optional<double> serial =
        order == 1   ? Serial(numbers[2], numbers[0], numbers[1], system1904)
        : order == 2 ? Serial(numbers[2], numbers[1], numbers[0], system1904)
                     : Serial(numbers[0], numbers[1], numbers[2], system1904);
    if (!serial) {
        return std::nullopt;
    }
    if (automatic) {
        settings->dateMode = 10 + order;
    }
    if (hasTime != nullptr) {
        *hasTime = given;
    }
    return *serial + fraction;
}

char ClassifyField(ConversionSettings* settings, bool system1904, std::string_view field) {
    if (field.empty()) {
        return kCharacterType;
    }
    if (IsBoolean(field, TextOf(settings->booleanChars))) {
        return kLogicalType;
    }
    if (oracle::DateValue(settings, system1904, field)) {
        return kDateType;
    }
    double value = 0;
    const std::string_view set = TextOf(settings->numericChars);
    const bool allowed = std::all_of(field.begin(), field.end(), [set](char c) {
        return set.find(c) != std::string_view::npos;
    });
    return allowed && ReadNumber(field, settings->decimalSeparator, &value) != Number::kNone
               ? kNumericType
               : kCharacterType;
}

bool BooleanValue(std::string_view field) {
    if (field.empty()) {
        return false;
    }
    const std::string_view first = field.substr(0, CharacterBytes(field, 0));
    for (const std::string_view no : {"N", "n", "F", "f", "0", "\u041D", "\u043D"}) {
        if (first == no) {
            return false;
        }
    }
    return true;
}

}  // namespace oracle

using engine::ConversionSettings;

struct Config {
    char decimalSeparator;
    std::int32_t dateMode;
    std::string_view numericChars;  // empty: the default
    std::string_view booleanChars;  // empty: the default
    bool system1904 = false;        // dates in a book of the 1904 system
};

// A book of the 1904 date system, loaded once; null if it cannot be (the
// tests that need it then fail).
const workbook::Book* Book1904() {
    static const workbook::BookPtr book = [] {
        workbook::BookPtr loaded(workbook::CreateBook(workbook::BookKind::kXlsx));
        if (loaded == nullptr || !workbook::LoadBook(loaded.get(), std::string(QUENDLE_CORPUS_DIR) +
                                                                       "/xlsx/date_1904_02.xlsx")) {
            ADD_FAILURE() << "cannot load the 1904 corpus book";
            return workbook::BookPtr();
        }
        return loaded;
    }();
    return book.get();
}

// Everything the run reads from a field, as one side computes it.
struct Reading {
    char letter = 0;
    std::int32_t modeAfterClassify = 0;
    bool isNumber = false;
    std::uint64_t numberBits = 0;
    bool isDate = false;
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
    reading.letter = Side::Classify(settings.get(), config, field);
    reading.modeAfterClassify = settings->dateMode;
    double number = -1.0;
    reading.isNumber = Side::Number(field, &number, config.decimalSeparator);
    reading.numberBits = Bits(number);
    const std::optional<double> date = Side::Date(settings.get(), config, field, &reading.hasTime);
    reading.isDate = date.has_value();
    reading.dateBits = Bits(date.value_or(0.0));
    reading.modeAfterDate = settings->dateMode;
    reading.boolean = Side::Boolean(field);
    auto fresh = SettingsFor(config);
    const engine::FieldValue value = Side::ClassifyValue(fresh.get(), config, field);
    reading.runLetter = value.letter;
    reading.runValueBits = Bits(value.value);
    reading.runHasTime = value.hasTime;
    reading.runHasNumber = value.hasNumber;
    return reading;
}

struct EngineSide {
    static const workbook::Book* BookOf(const Config& config) {
        return config.system1904 ? Book1904() : nullptr;
    }
    static char Classify(ConversionSettings* settings, const Config& config,
                         std::string_view field) {
        return engine::ClassifyField(settings, BookOf(config), field);
    }
    static bool Number(std::string_view text, double* value, char separator) {
        return engine::NumberValue(text, value, separator);
    }
    static std::optional<double> Date(ConversionSettings* settings, const Config& config,
                                      std::string_view field, bool* hasTime) {
        return engine::DateValue(settings, BookOf(config), field, hasTime);
    }
    static bool Boolean(std::string_view field) { return engine::BooleanValue(field); }
    static engine::FieldValue ClassifyValue(ConversionSettings* settings, const Config& config,
                                            std::string_view field) {
        return engine::ClassifyFieldValue(settings, BookOf(config), field);
    }
};

struct OracleSide {
    static char Classify(ConversionSettings* settings, const Config& config,
                         std::string_view field) {
        return oracle::ClassifyField(settings, config.system1904, field);
    }
    static bool Number(std::string_view text, double* value, char separator) {
        return oracle::NumberValue(text, value, separator);
    }
    static std::optional<double> Date(ConversionSettings* settings, const Config& config,
                                      std::string_view field, bool* hasTime) {
        return oracle::DateValue(settings, config.system1904, field, hasTime);
    }
    static bool Boolean(std::string_view field) { return oracle::BooleanValue(field); }
    // The run's reading before: classify, then read the value as that type.
    static engine::FieldValue ClassifyValue(ConversionSettings* settings, const Config& config,
                                            std::string_view field) {
        engine::FieldValue value;
        value.letter = oracle::ClassifyField(settings, config.system1904, field);
        if (value.letter == engine::kDateType) {
            value.value =
                oracle::DateValue(settings, config.system1904, field, &value.hasTime).value_or(0.0);
        } else if (value.letter == engine::kNumericType) {
            value.hasNumber = oracle::NumberValue(field, &value.value, settings->decimalSeparator);
        }
        return value;
    }
};

std::string Describe(const Reading& r) {
    return std::string("letter ") + r.letter + " mode " + std::to_string(r.modeAfterClassify) +
           "/" + std::to_string(r.modeAfterDate) + " number " + std::to_string(r.isNumber) + ":" +
           std::to_string(r.numberBits) + " date " + std::to_string(r.isDate) + ":" +
           std::to_string(r.dateBits) + " time " + std::to_string(r.hasTime) + " boolean " +
           std::to_string(r.boolean) + " run " + r.runLetter + ":" +
           std::to_string(r.runValueBits) + " time " + std::to_string(r.runHasTime) + " number " +
           std::to_string(r.runHasNumber);
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
        // Dates of the 1904 system, in every order.
        for (const std::int32_t mode : {0, 1, 2, 3, 4, 12}) {
            all.push_back({'\0', mode, {}, {}, true});
        }
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
            "82243704416327330.00000000000",
            "82243704416327330.0",
            "8224370441632733.0",
            "822437044163273300.0",
            "1000000000000000000.5",
            "12345678901234560.0",
            "1234567890123450000.0",
            "123456789012345000",
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
            "31.12.1903",
            "1904-01-01",
            "1903-12-31",
            "29.2.1904",
            "19040101",
            "19031231",
            "1.1.1904 00:00:00.0004",
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
    const Reading expected = Read<OracleSide>(config, field);
    const Reading actual = Read<EngineSide>(config, field);
    if (actual == expected) {
        return true;
    }
    ADD_FAILURE() << "field \"" << field << "\" separator '" << config.decimalSeparator
                  << "' dateMode " << config.dateMode << " numeric \"" << config.numericChars
                  << "\" boolean \"" << config.booleanChars << "\""
                  << (config.system1904 ? " 1904 system" : "") << "\n  expected "
                  << Describe(expected) << "\n  actual   " << Describe(actual);
    return false;
}

TEST(ValueClassifierDifferential, EdgeFieldsReadAsTheRulesSay) {
    for (const std::string& field : EdgeFields()) {
        for (const Config& config : Configs()) {
            (void)ExpectSameReading(config, field);
        }
    }
}

// The fast paths' shapes, each read with the settings that change their
// reading: the decimal separator and numeric set for numbers, the order for
// dates.
TEST(ValueClassifierDifferential, NumberAndDateShapesReadAsTheRulesSay) {
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
          {'.', 13, {}, {}},
          {'\0', 0, {}, {}, true},
          {'\0', 2, {}, {}, true}}},
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

TEST(ValueClassifierDifferential, GeneratedFieldsReadAsTheRulesSay) {
    FieldGenerator generator(20261207);
    const std::vector<Config>& configs = Configs();
    int failures = 0;  // a few differences tell enough
    for (int i = 0; i < 100000 && failures < 20; ++i) {
        const std::string field = generator.Next();
        const Config& config = configs[static_cast<std::size_t>(i) % configs.size()];
        failures += ExpectSameReading(config, field) ? 0 : 1;
    }
}

// Generated numbers in every shape, each as the engine reads it and as
// tests/tools/decimal_numbers.py reads it with Python's float and decimal
// modules: the same double, or both say it stays text or lies below the
// smallest double. The shapes are the oracle's; the values and the
// long-decimal rule come from outside the C library.
TEST(ValueClassifierDifferential, GeneratedNumbersReadAsPythonReadsThem) {
    struct Number {
        std::string field;
        char separator;
    };
    std::vector<Number> numbers;
    std::string lines;
    const auto add = [&](const std::string& field, char separator) {
        std::string integer;
        std::string fraction;
        if (oracle::NumberShape(field, separator, &integer, &fraction)) {
            numbers.push_back({field, separator});
            lines += (field[0] == '-' ? "-" : "") + integer;
            lines += (fraction.empty() ? "" : "." + fraction) + "\n";
        }
    };
    // The edge fields and number shapes with every separator, then generated fields.
    std::vector<std::string> fields = EdgeFields();
    AddNumberShapes(&fields);
    for (const std::string& field : fields) {
        for (const char separator : {'\0', '.', ','}) {
            add(field, separator);
        }
    }
    FieldGenerator generator(4111);
    for (int i = 0; i < 200000 && numbers.size() < 30000; ++i) {
        add(generator.Next(), "\0.,"[i % 3]);
    }
    ASSERT_GT(numbers.size(), 10000u);
    testing_support::TempDir dir;
    const std::string path = dir.File("numbers.txt");
    ASSERT_TRUE(testing_support::WriteWholeFile(path, lines));
    const testing_support::CommandResult python =
        testing_support::RunTool("decimal_numbers.py", testing_support::ShellQuote(path));
    ASSERT_EQ(python.exitCode, 0) << python.output;
    std::vector<std::string> verdicts;
    for (std::size_t at = 0, end; (end = python.output.find('\n', at)) != std::string::npos;
         at = end + 1) {
        verdicts.push_back(python.output.substr(at, end - at));
    }
    ASSERT_EQ(verdicts.size(), numbers.size());
    int failures = 0;                  // a few differences tell enough
    std::size_t kinds[3] = {0, 0, 0};  // text, tiny, valued: each must occur
    for (std::size_t i = 0; i < numbers.size() && failures < 20; ++i) {
        const Number& number = numbers[i];
        const std::string& verdict = verdicts[i];
        double value = 0.0;
        const bool read = engine::NumberValue(number.field, &value, number.separator);
        const bool valued = verdict != "text" && verdict != "tiny";
        const bool same = valued ? read && std::to_string(Bits(value)) == verdict : !read;
        kinds[verdict == "text" ? 0 : verdict == "tiny" ? 1 : 2] += 1;
        // Text and tiny differ in the letter: a tiny number is still a number.
        auto settings = SettingsFor({number.separator, 3, {}, {}});
        const engine::FieldValue field =
            engine::ClassifyFieldValue(settings.get(), nullptr, number.field);
        const bool date = field.letter == engine::kDateType;
        const bool letterOk =
            date || (verdict == "text" ? field.letter == engine::kCharacterType
                                       : field.letter == engine::kNumericType &&
                                             field.hasNumber == (verdict != "tiny"));
        if (!same || !letterOk) {
            ++failures;
            ADD_FAILURE() << "field \"" << number.field << "\" separator '" << number.separator
                          << "': Python says " << verdict << ", the engine "
                          << (read ? std::to_string(Bits(value)) : "no value") << " letter "
                          << field.letter << " hasNumber " << field.hasNumber;
        }
    }
    EXPECT_GT(kinds[0], 100u);
    EXPECT_GT(kinds[1], 0u);
    EXPECT_GT(kinds[2], 1000u);
}

// One settings record across many fields: the first existing date fixes an
// automatic order for the rest, on both sides at the same field.
TEST(ValueClassifierDifferential, AutomaticDateOrderMovesAtTheSameField) {
    FieldGenerator generator(7);
    for (int run = 0; run < 200; ++run) {
        SCOPED_TRACE(testing::Message() << "run " << run);
        const Config config{'\0', 0, {}, {}, run % 2 == 1};
        auto expected = SettingsFor(config);
        auto actual = SettingsFor(config);
        for (int i = 0; i < 50; ++i) {
            const std::string field = generator.Next();
            SCOPED_TRACE(field);
            ASSERT_EQ(EngineSide::Classify(actual.get(), config, field),
                      OracleSide::Classify(expected.get(), config, field));
            ASSERT_EQ(actual->dateMode, expected->dateMode);
        }
    }
}

}  // namespace
