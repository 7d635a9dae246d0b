// SPDX-License-Identifier: MIT
// How many characters a number shows in General, which fitted column widths
// are measured by: at most 11, a minus sign aside, after rounding to 15
// significant digits, in the fixed or the exponent form General picks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "workbook/column_widths.h"

namespace {

TEST(NumberDisplay, GeneralShowsWhatARoundingTo15DigitsGives) {
    struct Case {
        double value;
        int characters;
        const char* shown;  // what General shows, for the reader
    };
    const Case cases[] = {
        {0, 1, "0"},
        {-0.0, 1, "0"},
        {42, 2, "42"},
        {-42, 3, "-42"},
        {12345678901.0, 11, "12345678901"},
        {999999999999999.0, 11, "999999999999999, cut"},
        {1e15, 5, "1E+15"},
        {0.1 + 0.2, 3, "0.3"},
        {-(0.1 + 0.2), 4, "-0.3"},
        {1234567.5, 9, "1234567.5"},
        {4999.99, 7, "4999.99"},
        {2.675, 5, "2.675"},
        {9.9999999999999995, 2, "10"},
        {9.999999999999995, 11, "9.99999999999999, cut"},
        {0.5, 3, "0.5"},
        {0.0001, 6, "0.0001"},
        {1e-4 * 3, 6, "0.0003"},
        {0.000123456789, 11, "0.000123456789, cut"},
        {0.00001, 5, "1E-05"},
        {-1e-300, 7, "-1E-300"},
        {1.0 / 3, 11, "0.333333333333333, cut"},
        {123456789.12345, 11, "123456789.12345, cut"},
        {1e10 + 0.5, 11, "10000000000.5, cut"},
        {123456789.00000001, 9, "123456789"},
        {9999999999.999998, 11, "10000000000"},
        {std::numeric_limits<double>::infinity(), 11, "(never written)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(workbook::NumberDisplayCharacters(c.value, 0), c.characters);
    }
    // Dates and date-times show their format at its widest, whatever the number.
    EXPECT_EQ(workbook::NumberDisplayCharacters(45000, 14), 10);
    EXPECT_EQ(workbook::NumberDisplayCharacters(45000.5, 22), 16);
}

}  // namespace
