// SPDX-License-Identifier: MIT
// How wide a cell's value shows, in characters of the default font, and the
// column width that fits it. Both formats give widths in those characters.
#pragma once

#include <string_view>

namespace workbook {

// The width a column has when the sheet gives it none (Calibri 11 in .xlsx,
// Arial 10 in .xls, both 8.43 characters).
inline constexpr double kDefaultColumnWidth = 8.43;
// A fitted column is never wider than this, so a long text leaves room for
// the columns beside it.
inline constexpr double kMaxFittedColumnWidth = 80.0;
// Room on either side of the longest value, so it does not touch the grid.
inline constexpr double kFittedColumnMargin = 2.0;

// Characters a text displays: one per code point, two for East Asian wide
// and full-width ones. Capped at 65535.
int DisplayCharacters(std::string_view text);

// Characters a number displays in its built-in format: General shows at most
// 11 (a minus sign aside), rounded to 15 significant digits; the short date
// (14) shows m/d/yyyy and the date-time (22) m/d/yyyy h:mm at their widest.
int NumberDisplayCharacters(double value, int numFormat);

// TRUE or FALSE.
int BoolDisplayCharacters(bool value);

// The width of a column whose longest value displays `characters`
// characters, or 0 when the default width shows it.
double FittedColumnWidth(int characters);

}  // namespace workbook
