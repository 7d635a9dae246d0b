// SPDX-License-Identifier: MIT
// Serial date numbers of the 1900 and 1904 date systems.
#include "workbook/book.h"

namespace workbook {
namespace {

constexpr bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
constexpr long long DaysFromEpoch(long long year, long long month, long long day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

bool DateSerial(const Book* book, int year, int month, int day, int hour, int minute, int second,
                int millisecond, double* serial) {
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month)) {
        return false;
    }
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999) {
        return false;
    }
    const long long days = DaysFromEpoch(year, month, day);
    long long count = 0;
    if (book != nullptr && book->date1904()) {
        // Day 0 is 1 January 1904; earlier days have no serial number.
        constexpr long long kFirstDay1904 = DaysFromEpoch(1904, 1, 1);
        count = days - kFirstDay1904;
        if (count < 0) {
            return false;
        }
    } else {
        // Day 1 is 1 January 1900. The 1900 date system counts a 29 February
        // 1900 that never happened, so from 1 March 1900 on every serial is one
        // more than the plain day count.
        constexpr long long kDayZero1900 = DaysFromEpoch(1899, 12, 31);
        count = days - kDayZero1900;
        if (count >= 60) {
            ++count;
        }
    }
    // Most dates carry no time; their fraction is 0 without two divisions.
    if ((hour | minute | second | millisecond) == 0) {
        *serial = static_cast<double>(count);
        return true;
    }
    const double fraction =
        ((hour * 60.0 + minute) * 60.0 + second + millisecond / 1000.0) / 86400.0;
    *serial = static_cast<double>(count) + fraction;
    return true;
}

}  // namespace workbook
