// SPDX-License-Identifier: MIT
#include "engine/value_classifier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/settings.h"
#include "workbook/workbook.h"

namespace {

using engine::ConversionSettings;

constexpr double kNoValue = -1.0;  // the row checks no value

std::unique_ptr<ConversionSettings> DefaultSettings() {
    auto settings = std::make_unique<ConversionSettings>();
    engine::SetDefaultSettings(settings.get());
    return settings;
}

// Classifies `field` and checks the letter and, for 'n' and 'd', the value
// the run would write.
void ExpectClassified(ConversionSettings* settings, std::string_view field, char letter,
                      double value) {
    SCOPED_TRACE(std::string("field \"") + std::string(field) + "\"");
    ASSERT_EQ(engine::ClassifyField(settings, nullptr, field), letter);
    if (letter == 'n') {
        double number = kNoValue;
        ASSERT_TRUE(engine::NumberValue(field, &number));
        EXPECT_EQ(number, value);
        EXPECT_EQ(std::signbit(number), std::signbit(value));  // no "-0" cell
    } else if (letter == 'd') {
        const std::int32_t mode = settings->dateMode;
        EXPECT_EQ(engine::DateValue(settings, nullptr, field), value);
        EXPECT_EQ(settings->dateMode, mode) << "the second reading must not move the order";
    } else if (letter == 'c') {
        // A column forced to numbers writes such a field as its text.
        double number = kNoValue;
        EXPECT_FALSE(engine::NumberValue(field, &number));
    }
}

struct Row {
    std::string_view field;
    std::int32_t modeBefore;
    char letter;
    double value;
    std::int32_t modeAfter;
};

TEST(ValueClassifier, ClassifiesOneFieldOnAFreshRecord) {
    const std::string hugeDecimal = "1" + std::string(300, '0') + ".5";
    const Row rows[] = {
        {"", 0, 'c', 0, 0},
        {"Y", 0, 'l', 0, 0},
        {"y", 0, 'l', 0, 0},
        {"T", 0, 'l', 0, 0},
        {"t", 0, 'l', 0, 0},
        {"N", 0, 'l', 0, 0},
        {"n", 0, 'l', 0, 0},
        {"F", 0, 'l', 0, 0},
        {"f", 0, 'l', 0, 0},
        {"YES", 0, 'c', 0, 0},
        {"No", 0, 'c', 0, 0},
        {"0", 0, 'n', 0, 0},
        {"1", 0, 'n', 1, 0},
        {"-0", 0, 'n', 0, 0},
        {"1.5", 0, 'n', 1.5, 0},
        {"1,5", 0, 'n', 1.5, 0},
        {"0.5", 0, 'n', 0.5, 0},
        {"-0.5", 0, 'n', -0.5, 0},
        {"0,5", 0, 'n', 0.5, 0},
        {".5", 0, 'n', 0.5, 0},
        {"1.234,56", 0, 'n', 1234.56, 0},
        {"1,234.56", 0, 'n', 1234.56, 0},
        {"-1.234.567,25", 0, 'n', -1234567.25, 0},
        {"1,234,567", 0, 'n', 1234567, 0},
        {"1,234", 0, 'n', 1.234, 0},
        {"1.234", 0, 'n', 1.234, 0},
        {"1.234.567", 0, 'n', 1234567, 0},  // a non-existent date first: must not fix the order
        {"123456789012345", 0, 'n', 123456789012345.0, 0},
        {"12345678901234.5", 0, 'n', 12345678901234.5, 0},
        {"1.500000000000000000", 0, 'n', 1.5, 0},  // a fixed-scale export: zeros carry nothing
        {"0.000000000000000001", 0, 'n', 1e-18, 0},
        // Decimals as programs print doubles: up to 17 digits, which the
        // nearest double shows again.
        {"0.30000000000000004", 0, 'n', 0.30000000000000004, 0},
        {"3521418059.923445", 0, 'n', 3521418059.923445, 0},
        {"-0.10000000000000001", 0, 'n', -0.1, 0},
        {"1,234,567.123456789", 0, 'n', 1234567.123456789, 0},
        {hugeDecimal, 0, 'c', 0, 0},
        // Longer decimals whose double shows other digits stay text.
        {"12345678901234567.0", 0, 'c', 0, 0},
        {"9999999999999999.5", 0, 'c', 0, 0},
        {"1234567890.12345678", 0, 'c', 0, 0},
        {"-0,1234567890123456789", 0, 'c', 0, 0},
        {"1.234.567,123456789012345678", 0, 'c', 0, 0},
        // Not well-formed, or a number cell would lose digits.
        {"-", 0, 'c', 0, 0},
        {",", 0, 'c', 0, 0},
        {"1-2", 0, 'c', 0, 0},
        {"--5", 0, 'c', 0, 0},
        {"5.", 0, 'c', 0, 0},
        {"192.168.0.1", 0, 'c', 0, 0},
        {"8-800-555-35-35", 0, 'c', 0, 0},
        {"1,2,3", 0, 'c', 0, 0},
        {"12,34,567", 0, 'c', 0, 0},
        {"1234,567.8", 0, 'c', 0, 0},
        {"1.234,567,8", 0, 'c', 0, 0},
        {"1.2,3.456,7", 0, 'c', 0, 0},
        {"1,234.56.7", 0, 'c', 0, 0},
        {",123,456", 0, 'c', 0, 0},
        {"4111111111111111", 0, 'c', 0, 0},
        {"4,111,111,111,111,111", 0, 'c', 0, 0},
        {"-4111111111111111", 0, 'c', 0, 0},
        {"10000000000000000", 0, 'c', 0, 0},
        {"007", 0, 'c', 0, 0},
        {"0012", 0, 'c', 0, 0},
        {"00.5", 0, 'c', 0, 0},
        {"0,123.5", 0, 'c', 0, 0},
        {" 5", 0, 'c', 0, 0},
        {"+5", 0, 'c', 0, 0},
        {"1e5", 0, 'c', 0, 0},
        {"1.1234.2016", 0, 'c', 0, 0},
        {"13.0003.2016", 0, 'c', 0, 0},
        {"2016.03-13", 0, 'c', 0, 0},
        {"0.0.0", 0, 'c', 0, 0},
        {"1.0.2016", 0, 'c', 0, 0},
        // Dates, automatic order.
        {" 1.2.2016", 0, 'd', 42371, 11},
        {"01.02.2016 10:30", 0, 'd', 42371.4375, 11},
        {"2024-03-05 14:22:10", 0, 'd', 45356 + 51730.0 / 86400, 13},
        {"2024-03-05T14:22:10", 0, 'd', 45356 + 51730.0 / 86400, 13},
        {"2024-03-05T14:22:10.250", 0, 'd', 45356 + 51730.25 / 86400, 13},
        {"2024-03-05 00:00", 0, 'd', 45356, 13},
        // A date followed by anything but a time of day is no date.
        {"2020.12.07-0-1", 0, 'c', 0, 0},
        {"2024-03-05 14:22:10Z", 0, 'c', 0, 0},
        {"2024-03-05 24:00", 0, 'c', 0, 0},
        {"2024-03-05 14:60", 0, 'c', 0, 0},
        {"2024-03-05 1:30", 0, 'c', 0, 0},
        {"2024-03-05 ", 0, 'c', 0, 0},
        {"2024-03-05x", 0, 'c', 0, 0},
        {"1x.2.2016", 0, 'c', 0, 0},
        {"1.2x.2016", 0, 'c', 0, 0},
        {"2016-03-13", 0, 'd', 42442, 13},
        {"2016/03/13", 0, 'd', 42442, 13},
        {"13/03/2016", 0, 'd', 42442, 12},
        {"12.03.2016", 0, 'd', 42707, 11},
        {"29.02.2016", 0, 'd', 42429, 12},
        {"13.003.2016", 0, 'd', 42442, 12},
        {"13.03.2016", 7, 'd', 42442, 12},
        {"29.02.2015", 0, 'c', 0, 0},
        {"31.04.2016", 0, 'c', 0, 0},
        {"31.12.1899", 0, 'c', 0, 0},
        {"1.1.10000", 0, 'c', 0, 0},
        // Fixed orders.
        {"13.03.2016", 1, 'c', 0, 1},
        {"13.03.2016", 2, 'd', 42442, 2},
        {"03.13.2016", 11, 'd', 42442, 11},
        {"2016.3.13", 3, 'd', 42442, 3},
        {"20160313", 4, 'd', 42442, 4},
        {"\"20160313", 4, 'd', 42442, 4},
        {"'20160313 10:30", 4, 'd', 42442.4375, 4},
        {"20160313T10:30:00", 4, 'd', 42442.4375, 4},
        {"20160313-1", 4, 'c', 0, 4},
        {"201603131", 4, 'n', 201603131, 4},
        {"2016031", 4, 'n', 2016031, 4},
        {"12345678", 4, 'n', 12345678, 4},
        {"2016-03-13", 4, 'c', 0, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "dateMode " << row.modeBefore);
        auto settings = DefaultSettings();
        settings->dateMode = row.modeBefore;
        ExpectClassified(settings.get(), row.field, row.letter, row.value);
        EXPECT_EQ(settings->dateMode, row.modeAfter);
    }
}

TEST(ValueClassifier, FirstExistingDateFixesTheOrderForLaterFields) {
    const std::vector<std::vector<Row>> sequences = {
        {{"2016-03-13", 0, 'd', 42442, 13}, {"05/06/2016", 13, 'c', 0, 13}},
        {{"13.03.2016", 0, 'd', 42442, 12}, {"25.12.2016", 12, 'd', 42729, 12}},
        {{"12.03.2016", 0, 'd', 42707, 11}, {"25.12.2016", 11, 'c', 0, 11}},
        {{"10.20.30", 0, 'c', 0, 0}, {"1.0.2016", 0, 'c', 0, 0}, {"13.03.2016", 0, 'd', 42442, 12}},
    };
    for (const auto& sequence : sequences) {
        SCOPED_TRACE(testing::Message() << "sequence from " << sequence.front().field);
        auto settings = DefaultSettings();
        for (const Row& row : sequence) {
            ASSERT_EQ(settings->dateMode, row.modeBefore);
            ExpectClassified(settings.get(), row.field, row.letter, row.value);
            EXPECT_EQ(settings->dateMode, row.modeAfter);
        }
    }
}

TEST(ValueClassifier, DateOrdersTellWhichReadingsExist) {
    constexpr unsigned kMonth = engine::kMonthFirst;
    constexpr unsigned kDay = engine::kDayFirst;
    constexpr unsigned kYear = engine::kYearFirst;
    const std::pair<std::string_view, unsigned> rows[] = {
        {"03.01.2024", kMonth | kDay},
        {"12.12.2024", kMonth | kDay},
        {"15.02.2024", kDay},
        {"02.15.2024", kMonth},
        {"2024-01-03", kYear},
        {"31.02.2024", 0},
        {"1.234.567", 0},
        {"03.01.2024 10:30", kMonth | kDay},
        {"03.01.2024x", 0},
        {"5", 0},
    };
    for (const auto& [field, orders] : rows) {
        SCOPED_TRACE(field);
        EXPECT_EQ(engine::DateOrdersOf(nullptr, field), orders);
    }
}

TEST(ValueClassifier, UndatedDateMarksDateShapesTheFixedOrderRefuses) {
    struct MisfitRow {
        std::string_view field;
        std::int32_t dateMode;
        bool misfit;
    };
    const MisfitRow rows[] = {
        {"15.02.2024", 11, true},  {"15.02.2024", 1, true},  {"5.15.2024", 2, true},
        {"5/6/2016", 13, true},    {"2016-05-06", 12, true}, {"15.02.2024", 12, false},
        {"31.02.2024", 11, true},  {"1.234.567", 11, false}, {"15.02.2024", 0, false},
        {"15.02.2024x", 1, false}, {"20240215", 4, false},
    };
    for (const MisfitRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.field << " dateMode " << row.dateMode);
        auto settings = DefaultSettings();
        settings->dateMode = row.dateMode;
        const engine::FieldValue read =
            engine::ClassifyFieldValue(settings.get(), nullptr, row.field);
        EXPECT_EQ(read.undatedDate, row.misfit);
        if (row.misfit) {
            EXPECT_EQ(read.letter, 'c');
        }
    }
}

TEST(ValueClassifier, FirstDayOf1904SystemIsADate) {
    workbook::BookPtr book(workbook::CreateBook(workbook::BookKind::kXlsx));
    ASSERT_TRUE(book);
    ASSERT_TRUE(workbook::LoadBook(book.get(),
                                   std::string(QUENDLE_CORPUS_DIR) + "/xlsx/date_1904_02.xlsx"));
    const std::pair<std::string_view, double> rows[] = {
        {"1904-01-01", 0.0}, {"1904-01-02", 1.0}, {"1904-01-01 06:00", 0.25}};
    for (const auto& [field, serial] : rows) {
        SCOPED_TRACE(field);
        auto settings = DefaultSettings();
        const engine::FieldValue read =
            engine::ClassifyFieldValue(settings.get(), book.get(), field);
        EXPECT_EQ(read.letter, 'd');
        EXPECT_EQ(read.value, serial);
        auto again = DefaultSettings();
        EXPECT_EQ(engine::ClassifyField(again.get(), book.get(), field), 'd');
        EXPECT_EQ(engine::DateValue(again.get(), book.get(), field), serial);
    }
    auto settings = DefaultSettings();
    EXPECT_EQ(engine::DateValue(settings.get(), book.get(), "1903-12-31"), std::nullopt);
}

TEST(ValueClassifier, CharacterSetsCompareWholeUtf8Characters) {
    struct SetRow {
        std::string_view booleanChars;
        std::string_view numericChars;
        std::string_view field;
        char letter;
    };
    const SetRow rows[] = {
        {"ДдНн", "0123456789,.-", "Д", 'l'},
        {"ДдНн", "0123456789,.-", "н", 'l'},
        {"ДдНн", "0123456789,.-", "Y", 'c'},
        {"ДдНн", "0123456789,.-", "ДД", 'c'},
        {"ДдНн", "0123456789,.-", "Ж", 'c'},      // same lead byte as Д
        {"ДдНн", "0123456789,.-", "\xD0", 'c'},   // a lone lead byte of Д
        {"ДдНн", "0123456789,.-", "\x94", 'c'},   // Д's second byte
        {"Д\xD0", "0123456789,.-", "\xD0", 'l'},  // malformed set, malformed field alike
        {"01", "0123456789,.-", "0", 'l'},
        {"", "0123456789,.-", "Y", 'c'},
        {"YyTtNnFf", "", "5", 'c'},
        {"YyTtNnFf", "0123456789", "1.5", 'c'},
        {"YyTtNnFf", "0123456789", "-1", 'c'},
        {"YyTtNnFf", "0123456789·", "15", 'n'},
    };
    for (const SetRow& row : rows) {
        SCOPED_TRACE(testing::Message() << "BOOLEAN=" << row.booleanChars << " NUMERIC="
                                        << row.numericChars << " field " << row.field);
        auto settings = DefaultSettings();
        engine::CopyText(settings->booleanChars, row.booleanChars);
        engine::CopyText(settings->numericChars, row.numericChars);
        EXPECT_EQ(engine::ClassifyField(settings.get(), nullptr, row.field), row.letter);
    }
}

TEST(ValueClassifier, BooleanValueIsFalseOnlyForNoWords) {
    const std::pair<std::string_view, bool> rows[] = {
        {"Y", true},   {"y", true},  {"T", true},   {"t", true},  {"1", true},  {"Д", true},
        {"Yes", true}, {"N", false}, {"n", false},  {"F", false}, {"f", false}, {"0", false},
        {"Н", false},  {"н", false}, {"No", false}, {"", false},
    };
    for (const auto& [field, value] : rows) {
        SCOPED_TRACE(field);
        EXPECT_EQ(engine::BooleanValue(field), value);
    }
}

TEST(ValueClassifier, NamedDecimalSeparatorMakesTheOtherOneGroupThousands) {
    struct DecimalRow {
        std::string_view text;
        char separator;
        char letter;
        double value;
    };
    const DecimalRow rows[] = {
        {"1.234", '\0', 'n', 1.234},
        {"1,234", '\0', 'n', 1.234},
        {"1.234", '.', 'n', 1.234},
        {"1.234", ',', 'n', 1234},
        {"1,234", '.', 'n', 1234},
        {"1,234", ',', 'n', 1.234},
        {"1,234.56", '.', 'n', 1234.56},
        {"1,234.56", ',', 'c', 0},
        {"1.234,56", ',', 'n', 1234.56},
        {"1.234,56", '.', 'c', 0},
        {"1.234.567", ',', 'n', 1234567},
        {"1.234.567", '.', 'c', 0},
        {"1,234,567", '.', 'n', 1234567},
        {"1,234,567", ',', 'c', 0},
        {"-12,5", ',', 'n', -12.5},
        {"12.5", ',', 'c', 0},
        {"1,23", '.', 'c', 0},
        {"0,5", '.', 'c', 0},
        {".5", '.', 'n', 0.5},
        {",5", '.', 'c', 0},
        {"1.234,5.6", ',', 'c', 0},
        {"12345678901234567", ',', 'c', 0},
    };
    for (const DecimalRow& row : rows) {
        SCOPED_TRACE(testing::Message() << "separator '" << row.separator << "'");
        auto settings = DefaultSettings();
        settings->decimalSeparator = row.separator;
        SCOPED_TRACE(std::string("field \"") + std::string(row.text) + "\"");
        ASSERT_EQ(engine::ClassifyField(settings.get(), nullptr, row.text), row.letter);
        double number = kNoValue;
        EXPECT_EQ(engine::NumberValue(row.text, &number, row.separator), row.letter == 'n');
        EXPECT_EQ(number, row.letter == 'n' ? row.value : kNoValue);
    }
}

TEST(ValueClassifier, TimeOfDayIsReportedOnlyWhenWritten) {
    const std::pair<std::string_view, bool> rows[] = {
        {"2024-03-05", false}, {"2024-03-05 00:00", true},  {"05.03.2024 14:22:10", true},
        {"20240305", false},   {"2024-03-05 25:00", false},
    };
    for (const auto& [field, hasTime] : rows) {
        SCOPED_TRACE(field);
        auto settings = DefaultSettings();
        if (field == "20240305") {
            settings->dateMode = 4;
        }
        bool reported = !hasTime;
        (void)engine::DateValue(settings.get(), nullptr, field, &reported);
        EXPECT_EQ(reported, hasTime);
    }
}

TEST(ValueClassifier, NumberValueLeavesTheValueAloneForNonNumbers) {
    // The run's comma-to-point copy of 1.234,56 is no number: the field's own
    // text is what NumberValue reads.
    const std::string belowTheSmallestDouble = "0." + std::string(400, '0') + "1";
    for (const std::string_view text :
         {std::string_view("1.234.56"), std::string_view(""), std::string_view("1 234"),
          std::string_view(belowTheSmallestDouble)}) {
        SCOPED_TRACE(text);
        double value = kNoValue;
        EXPECT_FALSE(engine::NumberValue(text, &value));
        EXPECT_EQ(value, kNoValue);
    }
}

TEST(ValueClassifier, DecimalCommaToPointReplacesEveryCommaAndTerminates) {
    char wide[16];
    EXPECT_EQ(engine::DecimalCommaToPoint("1,234,5", wide), "1.234.5");
    EXPECT_EQ(wide[7], '\0');
    char narrow[4];
    EXPECT_EQ(engine::DecimalCommaToPoint("1,2345", narrow), "1.2");
    EXPECT_EQ(narrow[3], '\0');
}

TEST(ValueClassifier, TypeOverrideTakesTheFirstEntryForTheColumn) {
    struct OverrideRow {
        std::vector<std::pair<std::size_t, std::string_view>> slots;
        std::int32_t column;
        char expected;
    };
    const OverrideRow rows[] = {
        {{{0, "2=N"}}, 2, 'N'},
        {{{0, "2=N"}}, 3, 'x'},
        {{{1, "2=n"}}, 2, 'x'},  // slot 0 empty: no table
        {{{0, "2="}}, 2, '\0'},
        {{{0, "2=n"}, {5, "2=d"}}, 2, 'n'},
        {{{0, " 2=n"}}, 2, 'n'},
        {{{0, "x=n"}}, 0, 'n'},
        {{{0, "2= n"}}, 2, ' '},
        {{{0, "2l=d"}}, 2, 'd'},
        {{{0, "2n"}, {1, "2=d"}}, 2, 'd'},  // no "=": skipped
        {{{0, "1=c"}, {engine::kTypeOverrideSlots - 1, "3=l"}}, 3, 'l'},
    };
    for (const OverrideRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.slots.front().second << " column " << row.column);
        auto settings = DefaultSettings();
        for (const auto& [slot, text] : row.slots) {
            settings->typeOverrides[slot] = std::make_unique<char[]>(text.size() + 1);
            std::memcpy(settings->typeOverrides[slot].get(), text.data(), text.size());
        }
        EXPECT_EQ(engine::LookupTypeOverride(settings.get(), row.column, 'x'), row.expected);
        // The run's index must give the same answer as the slot walk.
        engine::TypeOverrideIndex index;
        index.Build(settings.get());
        EXPECT_EQ(index.Lookup(row.column, 'x'), row.expected);
    }
}

}  // namespace
