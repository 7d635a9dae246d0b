// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "workbook/book.h"
#include "workbook/workbook.h"

namespace {

using workbook::DatePack;

// A book that counts dates from 1904, as a loaded workbook may; nothing else
// of it is used.
class Book1904 : public workbook::Book {
public:
    Book1904() : Book(workbook::BookKind::kXlsx) { set_date1904(true); }
    bool Load(const std::string&, std::string&) override { return false; }
    int SheetCount() const override { return 0; }
    workbook::Sheet* GetSheet(int) override { return nullptr; }
    bool DeleteSheet(int, std::string&) override { return false; }
    workbook::Sheet* AddSheet(std::string_view, std::string&) override { return nullptr; }
    workbook::Sheet* ReplaceSheet(int, std::string_view, std::string&) override { return nullptr; }
    bool Save(const std::string&, std::string&) override { return false; }
};

struct Day {
    int year;
    int month;
    int day;
    double serial;
};

TEST(DatePack, KnownSerialsOf1900System) {
    const Day days[] = {
        {1900, 1, 1, 1},
        {1900, 2, 28, 59},
        {1900, 3, 1, 61},
        {2000, 2, 29, 36585},
        {2016, 3, 13, 42442},
        {9999, 12, 31, 2958465},
        // Days that do not exist.
        {1900, 2, 29, 0},
        {2015, 2, 29, 0},
        {2100, 2, 29, 0},
        {2016, 4, 31, 0},
        {2016, 13, 1, 0},
        {2016, 0, 1, 0},
        {2016, 1, 0, 0},
        {2016, 1, 32, 0},
        {1899, 12, 31, 0},
        {10000, 1, 1, 0},
        {-2016, 3, 13, 0},
        {2016, -3, 13, 0},
    };
    for (const Day& d : days) {
        SCOPED_TRACE(testing::Message() << d.year << "-" << d.month << "-" << d.day);
        EXPECT_EQ(DatePack(nullptr, d.year, d.month, d.day, 0, 0, 0, 0), d.serial);
    }
}

TEST(DatePack, TimeOfDayIsTheFraction) {
    EXPECT_EQ(DatePack(nullptr, 2016, 3, 13, 12, 0, 0, 0), 42442.5);
    EXPECT_EQ(DatePack(nullptr, 2016, 3, 13, 18, 0, 0, 0), 42442.75);
    EXPECT_EQ(DatePack(nullptr, 2016, 3, 13, 24, 0, 0, 0), 0);
    EXPECT_EQ(DatePack(nullptr, 2016, 3, 13, 0, 60, 0, 0), 0);
}

// Walks the calendar day by day with its own month lengths and compares every
// serial in both systems (the 1904 one starts at 0 on 1 January 1904, 1462
// days after the 1900 one), and checks that the day after each month's last
// is refused.
TEST(DatePack, EveryDayFrom1900To9999CountsOnByOne) {
    const Book1904 book1904;
    double serial = 0;
    for (int year = 1900; year <= 9999; ++year) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        const int lengths[12] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= lengths[month - 1]; ++day) {
                // 1900 counts a 29 February that never happened.
                serial += (year == 1900 && month == 3 && day == 1) ? 2 : 1;
                const double packed = DatePack(nullptr, year, month, day, 0, 0, 0, 0);
                const double packed1904 = DatePack(&book1904, year, month, day, 0, 0, 0, 0);
                if (packed != serial || packed1904 != (year < 1904 ? 0 : serial - 1462)) {
                    FAIL() << year << "-" << month << "-" << day << ": " << packed << ", "
                           << packed1904 << " (1904) instead of " << serial;
                }
            }
            ASSERT_EQ(DatePack(nullptr, year, month, lengths[month - 1] + 1, 0, 0, 0, 0), 0)
                << year << "-" << month;
        }
    }
    EXPECT_EQ(serial, 2958465);
}

}  // namespace
